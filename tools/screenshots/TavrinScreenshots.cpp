// Renders the main states of the window, on the offscreen platform, to PNG files:
//   tavrin-screenshots OUTPUT_FOLDER
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "base/UserDefaults.h"
#include "orders/views/HandOverDialog.h"
#include "organizer/PhotoOrganizer.h"
#include "organizer/views/OrganizerDialogs.h"
#include "organizer/SpreadsheetWorkspaceModel.h"
#include "organizer/views/SpreadsheetWorkspaceView.h"
#include "ui/CapsuleButton.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimeZone>
#include <QTimer>

#include <vips/vips.h>

#include <cstdio>
#include <functional>

using namespace tavrin;

namespace {

// A competition weekend as the photographer would have typed it.
void fillLibrary(LibraryStore& store)
{
    const DayRecord saturday = store.addDay(QStringLiteral("Samedi 14 juin"));
    const DayRecord sunday = store.addDay(QStringLiteral("Dimanche 15 juin"));
    store.addSpreadsheet(saturday.id, QStringLiteral("Épreuve 1 · 1,05 m"));
    store.addSpreadsheet(saturday.id, QStringLiteral("Épreuve 2 · 1,15 m"));
    store.addSpreadsheet(sunday.id, QStringLiteral("Grand Prix 1,35 m"));
    const SpreadsheetRecord sheet = store.addSpreadsheet(sunday.id, QStringLiteral("Épreuve 4 · 1,20 m"));
    const QList<std::pair<const char*, const char*>> rows{
        {"0012", "104"}, {"0027", "87"}, {"0041", "112"}, {"0058", "9"},  {"0066", "131"}, {"0079", "56"},
        {"0093", "148"}, {"0105", "23"}, {"0118", "77"},  {"0131", "140"}, {"0146", "12"},
    };
    for (const auto& [photo, assigned] : rows) {
        const QUuid rowID = store.snapshot().spreadsheet(sheet.id)->rows.last().id;
        store.updateRow(sheet.id, rowID, QString::fromLatin1(photo), QString::fromLatin1(assigned));
    }
    store.updateUIState(sunday.id, sheet.id);
}

// The spreadsheet of fillLibrary organised at the end of its class: the programme with its day
// and event, the card's photos and the clients' folder, a first run done for the first riders,
// a rider missing from the programme and a number typed twice.
void fillWorkspace(TavrinApp& app, const QString& folder)
{
    LibraryStore& library = app.libraryStore;
    WorkspaceStore& workspace = app.workspaceStore;
    fillLibrary(library);
    const QUuid sheet = *library.uiState().selectedSpreadsheetID;
    library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows.last().id, QStringLiteral("0158"), QStringLiteral("87"));
    ProgrammeEvent event{QStringLiteral("Dimanche|Épreuve 4 · 1,20 m"), QStringLiteral("Épreuve 4 · 1,20 m"), {}};
    const QList<std::tuple<const char*, const char*, const char*>> riders{
        {"104", "DUPONT", "Jean"},   {"87", "MARTIN", "Léa"},     {"112", "DE LA TOUR", "Marie"}, {"9", "LEROY", "Élodie"},
        {"131", "BERNARD", "Luc"},   {"56", "MOREAU", "Chloé"},   {"148", "FONTAINE", "Léa"},     {"23", "GIRAUD", "Hugo"},
        {"77", "ROUSSEL", "Camille"}, {"140", "VAN DER BERG", "Anna"}};
    for (const auto& [number, last, first] : riders)
        event.people.push_back(ImportedPerson{QString::fromLatin1(number), QString::fromUtf8(first), QString::fromUtf8(last), 1});
    workspace.adoptProgramme(ProgrammeDocument{QStringLiteral("CSI Lamotte — programme.xlsx"), {{QStringLiteral("Dimanche"), {event}}}});
    workspace.selectDay(QStringLiteral("Dimanche"), sheet);
    workspace.selectEvent(event.id, sheet);
    const QString card = folder + QStringLiteral("/Carte SD"), clients = folder + QStringLiteral("/Clients");
    QDir().mkpath(card);
    for (int n = 10; n <= 170; ++n) QFile(card + QStringLiteral("/DSC_%1.JPG").arg(n, 4, 10, QLatin1Char('0'))).open(QIODevice::WriteOnly);
    workspace.storeFolder(card, WorkspaceStore::FolderKind::source, sheet);
    workspace.storeFolder(clients, WorkspaceStore::FolderKind::destination, sheet);
    const QList<PhotoGroup> done = PhotoOrganizer::plan(*library.snapshot().spreadsheet(sheet), event.people, card).first(4);
    workspace.rememberTransfers(done, sheet);
    workspace.recordOrganizer(PhotoOrganizer::execute(done, clients), sheet, QStringLiteral("Épreuve 4 · 1,20 m"));
}

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The next run after fillWorkspace, with a file standing where BERNARD LUC’s folder goes: the run
// does not start and says why.
void runIntoBlockedFolder(MacRootView& window, const QString& folder)
{
    QFile(folder + QStringLiteral("/Clients/BERNARD LUC")).open(QIODevice::WriteOnly);
    OrganizerDialogs::hooks().openFolder = [](const QString&) {};
    auto* workspace = window.findChild<SpreadsheetWorkspaceView*>();
    if (!workspace) return;
    workspace->runButton()->click();
    for (int i = 0; i < 50 && workspace->model()->isRunning(); ++i) settle(20);
}

bool render(const QString& path, const std::function<void(TavrinApp&, const QString&)>& prepare, QSize size = {1180, 760},
            const std::function<void(MacRootView&, const QString&)>& act = {})
{
    TavrinJSON::setSteppingClock(QDateTime(QDate(2025, 6, 15), QTime(16, 42), QTimeZone("Europe/Paris")));
    QTemporaryDir data;
    AppSupport::setDataDirectoryOverride(data.path());
    UserDefaults::resetStandard();
    SingleInstance instance(data.path());
    TavrinApp app(instance);
    prepare(app, data.path());
    MacRootView window(app);
    window.resize(size);
    window.show();
    settle(100);
    if (act) {
        act(window, data.path());
        settle(100);
    }
    const bool saved = window.grab().save(path);
    window.close();
    UserDefaults::resetStandard();
    return saved;
}

// "Partager par QR code" for three photos, on a fixed address, port and token so that the code
// is the same picture on every run.
bool renderHandOver(const QString& path)
{
    QTemporaryDir folder;
    QStringList photos;
    for (int n : {42, 43, 47}) {
        const QString photo = folder.filePath(QStringLiteral("DSC_%1.JPG").arg(n, 4, 10, QLatin1Char('0')));
        VipsImage* image = nullptr;
        if (vips_black(&image, 320, 214, "bands", 3, nullptr) != 0) return false;
        const bool written = vips_image_write_to_file(image, photo.toUtf8().constData(), nullptr) == 0;
        g_object_unref(image);
        if (!written) return false;
        photos.push_back(photo);
    }
    HandOverService::Options options;
    options.address = QHostAddress::LocalHost;
    options.port = 47913;
    options.token = "5F3A9C21D07B4E68A1C2F09B3D5E7A14";
    HandOverDialog dialog(photos, [](const QStringList&) {}, nullptr, options);
    dialog.show();
    settle(300);
    const bool saved = dialog.grab().save(path);
    dialog.close();
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The pictures are committed: regenerating them must give the same bytes on any machine, so
    // dates come from a stepping clock in a fixed time zone, and the sync status never depends on
    // whether this machine runs a DNS-SD daemon (no system bus: « Wi‑Fi local indisponible »).
    qputenv("TZ", "Europe/Paris");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/tavrin-screenshots");
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "Utilisation : tavrin-screenshots DOSSIER\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    const QSize large(1440, 860);
    const QList<std::tuple<QString, std::function<void(TavrinApp&, const QString&)>, QSize>> states{
        {QStringLiteral("tableur-empty.png"), [](TavrinApp&, const QString&) {}, {1180, 760}},
        {QStringLiteral("tableur-filled.png"), [](TavrinApp& app, const QString&) { fillLibrary(app.libraryStore); }, {1180, 760}},
        {QStringLiteral("tableur-dark.png"),
         [](TavrinApp& app, const QString&) {
             fillLibrary(app.libraryStore);
             app.libraryStore.setAppearance(AppearancePreference::dark);
         },
         {1180, 760}},
        {QStringLiteral("tableur-workspace.png"), fillWorkspace, large},
        {QStringLiteral("tableur-workspace-dark.png"),
         [](TavrinApp& app, const QString& folder) {
             fillWorkspace(app, folder);
             app.libraryStore.setAppearance(AppearancePreference::dark);
         },
         large},
        {QStringLiteral("paniers.png"),
         [](TavrinApp& app, const QString& folder) {
             UserDefaults::standard().setString(QStringLiteral("macWorkspaceSection"), QStringLiteral("paniers"));
             RiderFoldersStore& store = app.riderFoldersStore;
             store.adoptProgramme(ProgrammeDocument{
                 QStringLiteral("CSI Lamotte — programme.xlsx"),
                 {{QStringLiteral("Samedi"),
                   {{QStringLiteral("Samedi|GP"), QStringLiteral("Grand Prix"),
                     {ImportedPerson{QStringLiteral("101"), QStringLiteral("Jean"), QStringLiteral("DUPONT"), 1},
                      ImportedPerson{QStringLiteral("102"), QStringLiteral("Marie Anne"), QStringLiteral("DE LA TOUR"), 2},
                      ImportedPerson{QStringLiteral("103"), QStringLiteral("Jean-Pierre"), QStringLiteral("MARTIN"), 3},
                      ImportedPerson{QStringLiteral("104"), QStringLiteral("Élodie"), QStringLiteral("LEROY"), 4},
                      ImportedPerson{QStringLiteral("230"), QStringLiteral("Anna"), QStringLiteral("VAN DER BERG"), 5}}}}}}});
             QDir().mkpath(folder + QStringLiteral("/Paniers/Dupont Jean"));
             store.storeDestination(folder + QStringLiteral("/Paniers"));
         },
         {1180, 760}},
    };
    int failures = 0;
    const auto check = [&failures](bool saved, const QString& file) {
        if (saved) return;
        std::fprintf(stderr, "Impossible d’écrire %s\n", qPrintable(file));
        ++failures;
    };
    for (const auto& [name, prepare, size] : states) check(render(out.filePath(name), prepare, size), out.filePath(name));
    const QString blocked = out.filePath(QStringLiteral("erreur-copie.png"));
    check(render(blocked, fillWorkspace, large, runIntoBlockedFolder), blocked);
    const QString handOver = out.filePath(QStringLiteral("partage-qr.png"));
    check(renderHandOver(handOver), handOver);
    return failures == 0 ? 0 : 1;
}
