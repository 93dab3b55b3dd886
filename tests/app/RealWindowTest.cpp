// The window on a real X display with a window manager, driven by real keys and clicks at a
// person's pace (see RealWindow.h): nothing typed is lost while the notes change under the
// cursor, and the first window fits a 1280 × 720 laptop, title bar included.
#include "RealWindow.h"
#include "TestSupport.h"
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "programme/ProgrammeDocument.h"
#include "editing/CropEditorModel.h"
#include "editing/PhotoComposer.h"
#include "library/views/MacSidebar.h"
#include "library/views/RowsTableModel.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"
#include "library/views/TableurView.h"
#include "orders/views/OrdersCropEditor.h"
#include "orders/views/OrdersView.h"
#include "organizer/SpreadsheetWorkspaceModel.h"
#include "organizer/views/SpreadsheetWorkspaceView.h"
#include "base/UserDefaults.h"
#include "organizer/WorkspaceStore.h"
#include "reception/ReceptionController.h"
#include "reception/views/ReceptionPanel.h"
#include "ui/CapsuleButton.h"

#include <QAbstractButton>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDockWidget>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>
#include <ostream>
#include <vips/vips8>

using namespace tavrin;
using namespace tavrin::test;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList& l, std::ostream* os) { *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']'; }

// Waits for a condition while the window works; a failure stops the test.
#define WAIT_FOR(condition, ms) ASSERT_TRUE(QTest::qWaitFor([&] { return bool(condition); }, ms)) << #condition

namespace {

// What tavrin-cli prints, read as JSON.
QJsonObject cli(const QString& dataDir, const QStringList& arguments)
{
    QProcess process;
    process.start(binDir() + QStringLiteral("/tavrin-cli"), QStringList{QStringLiteral("--data-dir"), dataDir} + arguments);
    EXPECT_TRUE(process.waitForFinished(30000)) << arguments.join(u' ').toStdString();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(process.readAllStandardOutput()).object();
}

// The rows of a spreadsheet as "n° photo=n° attribué", blank ones left out.
QStringList storedRows(const QJsonObject& library, const QUuid& sheet)
{
    QStringList rows;
    for (const QJsonValue& s : library.value(QStringLiteral("spreadsheets")).toArray())
        if (QUuid(s[QStringLiteral("id")].toString()) == sheet)
            for (const QJsonValue& r : s[QStringLiteral("rows")].toArray()) {
                const QString photo = r[QStringLiteral("photoNumber")].toString(), assigned = r[QStringLiteral("assignedNumber")].toString();
                if (!photo.isEmpty() || !assigned.isEmpty()) rows.push_back(photo + u'=' + assigned);
            }
    return rows;
}

QAbstractButton* buttonTitled(QWidget& root, const QString& text)
{
    for (QAbstractButton* button : root.findChildren<QAbstractButton*>())
        if (button->text() == text && button->isVisible()) return button;
    return nullptr;
}

void writePhoto(const QString& path, std::vector<double> colour)
{
    PhotoComposer::ensureVips();
    QDir().mkpath(QFileInfo(path).absolutePath());
    vips::VImage::black(600, 400, vips::VImage::option()->set("bands", 3))
        .new_from_image(colour)
        .cast(VIPS_FORMAT_UCHAR)
        .write_to_file(QFile::encodeName(path).constData());
}

struct Launched {
    explicit Launched(const QString& dataDir) : launches(dataDir), app(launches), window(app) { window.show(); }
    SingleInstance launches;
    TavrinApp app;
    MacRootView window;
};

} // namespace

// A person types four columns of six rows at 40 ms a key, numbers the programme does not know
// followed by the rider's names, while the window follows the photos arriving on the card and
// another program adds rows and merges a phone's library into the same data folder. Every key
// ends in its cell: the stored notes hold each typed text letter for letter, and every row the
// other program brought as well.
TEST(RealWindow, EveryKeyTypedLandsInItsCellWhileRowsArriveAndPhotosAreFollowed)
{
    TempDataDir data;
    QTemporaryDir folders;
    const QString source = folders.filePath(QStringLiteral("Carte SD")), destination = folders.filePath(QStringLiteral("Clients"));
    QDir().mkpath(destination);
    for (int n = 1; n <= 12; ++n) writePhoto(source + QStringLiteral("/DSC_%1.JPG").arg(n, 4, 10, QLatin1Char('0')), {40.0 + 15 * n, 90, 160});

    Launched launched(data.path());
    MacRootView& window = launched.window;
    LibraryStore& library = launched.app.libraryStore;
    WorkspaceStore& workspace = launched.app.workspaceStore;
    const DayRecord day = library.addDay(QStringLiteral("Samedi"));
    const QUuid sheet = library.addSpreadsheet(day.id, QStringLiteral("Vitesse")).id;
    library.updateRow(sheet, library.snapshot().spreadsheet(sheet)->rows.last().id, QStringLiteral("0001"), QStringLiteral("12"));
    workspace.adoptProgramme(ProgrammeDocument{
        QStringLiteral("programme.xlsx"),
        {{QStringLiteral("Samedi"),
          {{QStringLiteral("Samedi|Vitesse"),
            QStringLiteral("Vitesse"),
            {{QStringLiteral("12"), QStringLiteral("Jean"), QStringLiteral("Dupont"), 1},
             {QStringLiteral("15"), QStringLiteral("Léa"), QStringLiteral("Martin"), 2}}}}}}});
    workspace.selectDay(QStringLiteral("Samedi"), sheet);
    workspace.selectEvent(QStringLiteral("Samedi|Vitesse"), sheet);
    workspace.storeFolder(source, WorkspaceStore::FolderKind::source, sheet);
    workspace.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet);
    ASSERT_TRUE(realwindow::waitForWindow(window));

    // The spreadsheet chosen in the sidebar, the following switched on, the blank row clicked.
    QTreeWidget* tree = window.tableur()->sidebar()->tree();
    QTreeWidgetItem* item = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        if ((*it)->data(0, MacSidebar::IDRole).toUuid() == sheet) item = *it;
    ASSERT_NE(item, nullptr);
    ASSERT_TRUE(realwindow::click(tree->viewport(), tree->visualItemRect(item).center()));
    SpreadsheetWorkspaceView& screen = *window.workspace();
    WAIT_FOR(screen.model()->spreadsheetID() == sheet, 10000);
    WAIT_FOR(screen.followButton()->isEnabled(), 10000);
    ASSERT_TRUE(realwindow::click(screen.followButton()));
    WAIT_FOR(screen.model()->isFollowing(), 10000);
    EXPECT_TRUE(screen.followButton()->isChecked());
    EXPECT_EQ(screen.followButton()->text(), QStringLiteral("Arrêter le suivi"));
    RowsTableView& table = *window.tableur()->spreadsheetPane()->table();
    RowsTableModel& rows = *window.tableur()->spreadsheetPane()->model();
    const QModelIndex blank = rows.index(rows.rowCount() - 1, RowsTableModel::photoNumberColumn);
    ASSERT_TRUE(realwindow::click(table.viewport(), table.visualRect(blank).center()));
    WAIT_FOR(table.currentIndex() == blank, 10000);

    // Meanwhile, every 250 ms: rows added by another program, a phone's library merged, a photo
    // landing on the card.
    int step = 0, added = 0, merged = 0, photos = 12;
    QStringList othersRows;
    QProcess other;
    QTimer meanwhile;
    meanwhile.setInterval(250);
    QObject::connect(&meanwhile, &QTimer::timeout, [&] {
        if (other.state() != QProcess::NotRunning) return;
        const QString cliPath = binDir() + QStringLiteral("/tavrin-cli");
        switch (step++ % 3) {
        case 0: {
            ++added;
            const QString line = QStringLiteral("%1\t%2").arg(500 + added, 4, 10, QLatin1Char('0')).arg(400 + added);
            othersRows.push_back(QString(line).replace(u'\t', u'='));
            other.start(cliPath, {QStringLiteral("--data-dir"), data.path(), QStringLiteral("library"), QStringLiteral("add-rows"),
                                  QStringLiteral("--spreadsheet"), sheet.toString(QUuid::WithoutBraces).toUpper()});
            other.write(line.toUtf8() + '\n');
            other.closeWriteChannel();
            break;
        }
        case 1: {
            LibrarySnapshot phone = LibrarySnapshot::empty();
            phone.days = {*library.snapshot().day(day.id)};
            SpreadsheetRecord phoneSheet = *library.snapshot().spreadsheet(sheet);
            ++merged;
            const RowRecord row{QUuid::createUuid(), QStringLiteral("%1").arg(600 + merged, 4, 10, QLatin1Char('0')),
                                QString::number(700 + merged)};
            phoneSheet.rows = {row};
            phone.spreadsheets = {phoneSheet};
            othersRows.push_back(row.photoNumber + u'=' + row.assignedNumber);
            const QString file = folders.filePath(QStringLiteral("phone-%1.json").arg(merged));
            writeFile(file, encodeLibrary(phone));
            other.start(cliPath, {QStringLiteral("--data-dir"), data.path(), QStringLiteral("library"), QStringLiteral("merge"), file});
            break;
        }
        default:
            ++photos;
            writePhoto(source + QStringLiteral("/DSC_%1.JPG").arg(photos, 4, 10, QLatin1Char('0')), {200, 80, 40});
        }
    });
    meanwhile.start();

    // N° photo, Tab, n° attribué, Tab, Nom, Tab, Prénom, Enter; a row after another.
    const QList<QStringList> typed{
        {"0020", "301", "DUPONT", "Jean"},    {"0030", "302", "MARTIN", "Lea"}, {"0040", "15", "LEFEVRE", "Heloise"},
        {"0050", "303", "ROUSSEL", "Nathan"}, {"0060", "304 HC", "DUPRE", "Zoe"}, {"0070", "305", "MARTIN", "Jean-Pierre"},
    };
    QString keys;
    for (const QStringList& row : typed) keys += row.join(u'\t') + u'\n';
    ASSERT_TRUE(realwindow::type(keys, 40));
    meanwhile.stop();
    WAIT_FOR(other.state() == QProcess::NotRunning, 30000);
    EXPECT_GE(added, 2);
    EXPECT_GE(merged, 2);
    // The window takes in the last writes of the other program.
    QTest::qWait(1000);
    EXPECT_FALSE(qobject_cast<QLineEdit*>(QApplication::focusWidget())) << "no editor left open";
    EXPECT_EQ(table.currentIndex(), rows.index(rows.rowCount() - 1, RowsTableModel::photoNumberColumn));

    ASSERT_TRUE(realwindow::click(screen.followButton()));
    WAIT_FOR(!screen.model()->isFollowing(), 10000);
    EXPECT_EQ(screen.followButton()->text(), QStringLiteral("Suivre l’arrivée des photos"));
    EXPECT_FALSE(QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty()) << "the following copied photos";

    // Letter for letter, as the stored files hold them.
    const QString sheetName = sheet.toString(QUuid::WithoutBraces).toUpper();
    const QStringList stored = storedRows(cli(data.path(), {QStringLiteral("library"), QStringLiteral("show")}), sheet);
    QStringList expected{QStringLiteral("0001=12")};
    for (const QStringList& row : typed) expected.push_back(row[0] + u'=' + row[1]);
    QStringList typedInOrder;
    for (const QString& row : stored)
        if (expected.contains(row)) typedInOrder.push_back(row);
    EXPECT_EQ(typedInOrder, expected);
    QStringList all = expected + othersRows, sortedStored = stored;
    all.sort();
    sortedStored.sort();
    EXPECT_EQ(sortedStored, all);
    const QJsonObject riders =
        cli(data.path(), {QStringLiteral("workspace"), QStringLiteral("set"), QStringLiteral("--spreadsheet"), sheetName})
            .value(QStringLiteral("manualRiders"))
            .toObject();
    for (const QStringList& row : typed) {
        const QJsonObject rider = riders.value(row[1].split(u' ').first()).toObject();
        EXPECT_EQ(rider.value(QStringLiteral("lastName")).toString(), row[2]) << row[1].toStdString();
        EXPECT_EQ(rider.value(QStringLiteral("firstName")).toString(), row[3]) << row[1].toStdString();
    }
}

// The first start on a 1280 × 720 laptop: the window, its title bar included, lies within the
// screen's available area, and the buttons at the foot of every section can be seen and clicked.
TEST(RealWindow, TheFirstWindowFitsALaptopScreenTitleBarIncluded)
{
    TempDataDir data;
    const QString order = data.file(QStringLiteral("Commandes/0142 DUPONT Jean"));
    for (int n = 0; n < 2; ++n) writePhoto(order + QStringLiteral("/IMPRESSION A5/DSC_04%1.JPG").arg(10 + n), {200, 60.0 + 40 * n, 40});
    {
        OrdersStore earlier;
        earlier.storeRoot(data.file(QStringLiteral("Commandes")));
        earlier.selectFolder(order);
    }
    Launched launched(data.path());
    MacRootView& window = launched.window;
    const QUuid day = launched.app.libraryStore.addDay(QStringLiteral("Samedi 14 juin")).id;
    const QUuid sheet = launched.app.libraryStore.addSpreadsheet(day, QStringLiteral("Épreuve 4 · Grand Prix 1,35 m")).id;
    window.tableur()->sidebar()->select(day, sheet);
    ASSERT_TRUE(realwindow::waitForWindow(window));
    const QRect available = window.screen()->availableGeometry();
    ASSERT_EQ(available.size(), QSize(1280, 720));
    WAIT_FOR(available.contains(window.frameGeometry()), 5000);
    EXPECT_GT(window.frameGeometry().height(), window.height()) << "framed by the window manager";

    // Seen whole and within the screen, not hidden under another widget's edge.
    const auto seen = [&](const QString& text) {
        QAbstractButton* button = buttonTitled(window, text);
        if (!button) return QStringLiteral("« %1 » absent").arg(text);
        const QRect onScreen(button->mapToGlobal(QPoint()), button->size());
        if (!available.contains(onScreen) || button->visibleRegion().boundingRect().size() != button->size())
            return QStringLiteral("« %1 » coupé (%2,%3 %4×%5)")
                .arg(text)
                .arg(onScreen.x())
                .arg(onScreen.y())
                .arg(onScreen.width())
                .arg(onScreen.height());
        return QString();
    };
    QStringList cut;
    for (const QString& text : {QStringLiteral("Choisir un appareil"), QStringLiteral("Organiser les photos"),
                                QStringLiteral("Suivre l’arrivée des photos"), QStringLiteral("Relancer la synchro")})
        cut.push_back(seen(text));

    window.setSection(MacWorkspaceSection::paniers);
    QTest::qWait(200);
    cut.push_back(seen(QStringLiteral("Créer les dossiers")));

    window.setSection(MacWorkspaceSection::commandes);
    auto* orders = qobject_cast<OrdersView*>(window.sectionPage(MacWorkspaceSection::commandes));
    ASSERT_TRUE(orders && orders->isBuilt());
    const QList<OrderMedia> files = OrdersScreen::allFiles(orders->store().sections());
    ASSERT_FALSE(files.isEmpty());
    orders->findChild<OrdersCropEditor*>()->openCrop(files[0].url);
    WAIT_FOR(buttonTitled(window, CropEditorModel::validateText()), 15000);
    QTest::qWait(200);
    cut.push_back(seen(CropEditorModel::validateText()));
    cut.push_back(seen(QStringLiteral("Partager par QR code")));
    cut.removeAll(QString());
    EXPECT_EQ(cut, QStringList());
    EXPECT_TRUE(available.contains(window.frameGeometry()));
}

int main(int argc, char** argv) { return realwindow::run(argc, argv); }

// The photographer marks the class with one click at the sidebar's foot, opens the « Réception »
// panel from the top bar and starts it with the mouse; a camera sends a photo and the panel names
// the camera while the photo lands in the class's folder. The panel fits the laptop's screen.
TEST(RealWindow, TheReceptionPanelIsStartedWithTheMouseAndNamesTheCameraThatSent)
{
    TempDataDir data;
    UserDefaults::standard().setString(QStringLiteral("reception.ftpPort"), QStringLiteral("0"));
    const QString source = data.file(QStringLiteral("Vitesse"));
    QDir().mkpath(source);
    Launched launched(data.path());
    MacRootView& window = launched.window;
    const QUuid day = launched.app.libraryStore.addDay(QStringLiteral("Samedi 14 juin")).id;
    const QUuid sheet = launched.app.libraryStore.addSpreadsheet(day, QStringLiteral("Vitesse")).id;
    launched.app.workspaceStore.storeFolder(source, WorkspaceStore::FolderKind::source, sheet);
    window.tableur()->sidebar()->select(day, sheet);
    ASSERT_TRUE(realwindow::waitForWindow(window));

    ASSERT_TRUE(realwindow::click(window.currentClassButton()));
    WAIT_FOR(launched.app.workspaceStore.shotAt(QDateTime::currentDateTimeUtc()) == sheet, 5000);
    EXPECT_FALSE(window.currentClassButton()->isEnabled());

    ReceptionController& reception = *window.reception();
    reception.setRootFolder(data.file(QStringLiteral("Réception")));
    ASSERT_TRUE(realwindow::click(window.findChild<CapsuleButton*>(QStringLiteral("receptionToggle"))));
    WAIT_FOR(window.receptionDock()->isVisible(), 5000);
    auto* panel = window.findChild<ReceptionPanel*>();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(realwindow::click(panel->startButton()));
    WAIT_FOR(reception.isRunning(), 10000);
    const QRegularExpression settings(QStringLiteral("^Adresse \\S+ · port (\\d+) · identifiant tavrin · mot de passe (\\d{4}) · dossier /$"));
    const QRegularExpressionMatch typed = settings.match(panel->settingsLabel()->text());
    ASSERT_TRUE(typed.hasMatch()) << panel->settingsLabel()->text().toStdString();
    EXPECT_NE(typed.captured(1), QStringLiteral("0"));

    const QString photo = data.file(QStringLiteral("DSC_0042.JPG"));
    writePhoto(photo, {120, 90, 60});
    QProcess curl;
    curl.start(QStringLiteral("curl"), {QStringLiteral("-sS"), QStringLiteral("-T"), photo,
                                        QStringLiteral("ftp://tavrin:%1@127.0.0.1:%2/").arg(typed.captured(2), typed.captured(1))});
    WAIT_FOR(curl.state() == QProcess::NotRunning, 20000);
    EXPECT_EQ(curl.exitCode(), 0) << curl.readAllStandardError().toStdString();
    WAIT_FOR(panel->camerasLabel()->text().startsWith(QStringLiteral("Appareil 127.0.0.1 — 1 photo · dernière DSC_0042")), 10000);
    WAIT_FOR(QFileInfo::exists(source + QStringLiteral("/DSC_0042.JPG")), 5000);
    EXPECT_EQ(panel->backupLabel()->text(), QStringLiteral("1 photo · aucun dossier de sauvegarde"));

    const QRect available = window.screen()->availableGeometry();
    const QRect dock(window.receptionDock()->mapToGlobal(QPoint()), window.receptionDock()->size());
    EXPECT_TRUE(available.contains(dock)) << dock.x() << ',' << dock.y() << ' ' << dock.width() << "×" << dock.height();
    ASSERT_TRUE(realwindow::click(panel->startButton()));
    WAIT_FOR(!reception.isRunning(), 10000);
}
