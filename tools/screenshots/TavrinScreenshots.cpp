// Renders the main states of the window, on the offscreen platform, to PNG files:
//   tavrin-screenshots OUTPUT_FOLDER
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "base/AppSupport.h"
#include "base/TavrinJSON.h"
#include "base/UserDefaults.h"
#include "editing/PhotoComposer.h"
#include "editing/views/PhotoCropEditorView.h"
#include "organizer/PhotoOrganizer.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimeZone>
#include <QTimer>

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

bool render(const QString& path, const std::function<void(TavrinApp&, const QString&)>& prepare, QSize size = {1180, 760})
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
    QEventLoop settle;
    QTimer::singleShot(100, &settle, &QEventLoop::quit);
    settle.exec();
    const bool saved = window.grab().save(path);
    window.close();
    UserDefaults::resetStandard();
    return saved;
}

// A jump as libvips draws it: a sky fading to the horizon, the arena's sand, a red and white
// pole on two wings, and a watermark band with a darker strip.
void makeCropPhotos(const QString& photo, const QString& watermark)
{
    using vips::VImage;
    PhotoComposer::ensureVips();
    const int w = 1800, h = 1200;
    const VImage xy = VImage::xyz(w, h);
    const VImage x = xy[0], y = xy[1];
    const VImage t = y / double(h);
    const VImage ground = y > h * 0.62;
    const VImage sky = (t * 90 + 120).bandjoin(t * 70 + 165).bandjoin(VImage::black(w, h) + 235);
    const VImage sand = (VImage::black(w, h) + 196 - t * 40).bandjoin(VImage::black(w, h) + 160 - t * 40)
                            .bandjoin(VImage::black(w, h) + 112 - t * 30);
    VImage picture = ground.ifthenelse(sand, sky);
    const VImage pole = (y > h * 0.50) & (y < h * 0.53) & (x > w * 0.22) & (x < w * 0.78);
    const VImage stripe = ((x / 90).cast(VIPS_FORMAT_INT) % 2) == 0;
    picture = pole.ifthenelse(stripe.ifthenelse(std::vector<double>{205, 32, 38}, std::vector<double>{245, 245, 245}),
                              picture);
    const VImage wings = (y > h * 0.36) & (y < h * 0.66) &
                         (((x > w * 0.18) & (x < w * 0.22)) | ((x > w * 0.78) & (x < w * 0.82)));
    picture = wings.ifthenelse(std::vector<double>{40, 92, 160}, picture);
    picture.cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(photo.toUtf8().constData(), VImage::option()->set("Q", 92));

    const int mw = 1000, mh = 130;
    const VImage my = VImage::xyz(mw, mh)[1];
    const VImage band = VImage::black(mw, mh) + 255;
    const VImage alpha = (my > mh * 0.55).ifthenelse(170, 95);
    band.bandjoin(band).bandjoin(band).bandjoin(alpha)
        .cast(VIPS_FORMAT_UCHAR)
        .copy(VImage::option()->set("interpretation", VIPS_INTERPRETATION_sRGB))
        .write_to_file(watermark.toUtf8().constData());
}

// The crop editor alone on a photo framed in A4, turned a little, with its watermark.
bool renderCropEditor(const QString& path)
{
    QTemporaryDir folder;
    AppSupport::setDataDirectoryOverride(folder.path());
    UserDefaults::resetStandard();
    Theme::apply(AppearancePreference::light);
    const QString photo = folder.filePath(QStringLiteral("DSC_0158.jpg"));
    const QString watermark = folder.filePath(QStringLiteral("filigrane.png"));
    makeCropPhotos(photo, watermark);

    PhotoCropEditorView view;
    view.resize(560, 900);
    view.show();
    CropEditorModel& model = view.model();
    const auto settle = [&model] {
        QEventLoop loop;
        for (int i = 0; i < 400 && (model.isLoading() || model.jobsInFlight() > 0 || model.hasPendingPersist()); ++i) {
            QTimer::singleShot(25, &loop, &QEventLoop::quit);
            loop.exec();
        }
    };
    view.open(photo, watermark);
    settle();
    if (model.preview().isNull()) return false;
    model.setFormat(PrintFormat::a4);
    model.beginGesture(CropHandle::ofEdge(CropEdge::bottomRight), QSizeF(0, 0));
    model.applyGesture(QPointF(-150, -150), 1);
    model.finishGesture();
    model.beginGesture(CropHandle::rotate(), QSizeF(200, 0));
    model.applyGesture(QPointF(0, 10), 1);
    model.finishGesture();
    model.setIncludeWatermark(true);
    PhotoRetouchSettings preset;
    preset.contrast = 12;
    preset.vibrance = 18;
    view.setPreset(preset);
    settle();
    QEventLoop paint;
    QTimer::singleShot(100, &paint, &QEventLoop::quit);
    paint.exec();
    const bool saved = view.grab().save(path);
    view.onClose = nullptr;
    view.close();
    UserDefaults::resetStandard();
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
    for (const auto& [name, prepare, size] : states) {
        if (!render(out.filePath(name), prepare, size)) {
            std::fprintf(stderr, "Impossible d’écrire %s\n", qPrintable(out.filePath(name)));
            ++failures;
        }
    }
    if (!renderCropEditor(out.filePath(QStringLiteral("recadrage.png")))) {
        std::fprintf(stderr, "Impossible d’écrire %s\n", qPrintable(out.filePath(QStringLiteral("recadrage.png"))));
        ++failures;
    }
    return failures == 0 ? 0 : 1;
}
