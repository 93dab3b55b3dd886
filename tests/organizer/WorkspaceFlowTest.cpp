#include "KeyTyping.h"
#include "OrganizerTestSupport.h"
#include "app/MacRootView.h"
#include "app/SingleInstance.h"
#include "app/TavrinApp.h"
#include "library/views/MacSidebar.h"
#include "library/views/RowsTableModel.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"
#include "library/views/TableurView.h"
#include "organizer/RiderFoldersModel.h"
#include "organizer/SpreadsheetWorkspaceModel.h"
#include "organizer/views/OrganizerDialogs.h"
#include "organizer/views/OrganizerHistoryView.h"
#include "organizer/views/RiderFoldersView.h"
#include "organizer/views/SpreadsheetWorkspaceView.h"
#include "ui/CapsuleButton.h"
#include "ui/UndoBanner.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace tavrin;
using namespace tavrin::test;

namespace {

void choose(CapsuleMenu* menu, const QString& text)
{
    for (QAction* action : menu->menu()->actions())
        if (action->text() == text) return action->trigger();
    ADD_FAILURE() << "no choice " << text.toStdString();
}

QTreeWidgetItem* sidebarItem(MacSidebar& sidebar, const QUuid& id)
{
    for (QTreeWidgetItemIterator it(sidebar.tree()); *it; ++it)
        if ((*it)->data(0, MacSidebar::IDRole).toUuid() == id) return *it;
    return nullptr;
}

// The window on a data folder of its own, showing a new spreadsheet of the day « Samedi ».
struct WindowOnASpreadsheet {
    TempDataDir data;
    SingleInstance launches{data.path()};
    TavrinApp app{launches};
    MacRootView window{app};
    DayRecord day;
    SpreadsheetRecord sheet;

    explicit WindowOnASpreadsheet(const QString& title)
    {
        window.show();
        QApplication::setActiveWindow(&window);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
        day = app.libraryStore.addDay(QStringLiteral("Samedi"));
        sheet = app.libraryStore.addSpreadsheet(day.id, title);
        window.tableur()->sidebar()->select(day.id, sheet.id);
    }
};

} // namespace

TEST(WorkspaceFlow, ImportChooseTypeRunAndSeeTheHistoryAndTheDoneMark)
{
    QTemporaryDir folders;
    const QString source = folders.filePath("Carte SD"), destination = folders.filePath("Clients");
    touch(source, {"DSC_0099.JPG", "DSC_0100.JPG", "DSC_0101.JPG", "DSC_0150.JPG", "DSC_0151.JPG", "DSC_0152.JPG", "DSC_0200.JPG"});
    QDir().mkpath(destination);
    QStringList opened;
    OrganizerDialogs::hooks() = {
        [] { return fixture("programme/weekend.xlsx"); },
        [&](const QString& title) { return title == u"Dossier des photos" ? source : destination; },
        [&](const QString& folder) { opened.push_back(folder); },
        {},
    };

    WindowOnASpreadsheet shown(QStringLiteral("Vitesse 1,10 m"));
    MacRootView& window = shown.window;
    const SpreadsheetRecord& sheet = shown.sheet;
    SpreadsheetWorkspaceView& workspace = *window.workspace();
    SpreadsheetWorkspaceModel& model = *workspace.model();
    ASSERT_EQ(model.spreadsheetID(), sheet.id);

    // Ctrl+O on the Tableur section imports into the workspace.
    window.findChild<QAction*>("tavrinImportProgramme")->trigger();
    EXPECT_EQ(workspace.programmeButton()->text(), "weekend.xlsx");
    EXPECT_EQ(workspace.summaryLabel()->text(), "Choisissez le jour, puis l’épreuve pour afficher les cavaliers.");
    choose(workspace.dayMenu(), "Samedi");
    choose(workspace.eventMenu(), "Epreuve 10 - Vitesse (1,10 m)");
    QTest::mouseClick(workspace.sourceButton(), Qt::LeftButton);
    QTest::mouseClick(workspace.destinationButton(), Qt::LeftButton);
    EXPECT_FALSE(workspace.runButton()->isEnabled());

    RowsTableView& table = *window.tableur()->spreadsheetPane()->table();
    table.moveTo(0, RowsTableModel::photoNumberColumn);
    table.setFocus();
    type(window, "0100\t101\n0150\t103 HC\n0200\t999\n");
    QTRY_COMPARE(model.groups().size(), 3);
    RowsTableModel& rows = *window.tableur()->spreadsheetPane()->model();
    EXPECT_EQ(rows.index(0, workspace.lastNameColumn()).data().toString(), "DUPONT");
    EXPECT_EQ(rows.index(1, workspace.photosColumn()).data().toString(), "3 fichiers · 0150 → avant 0200");
    EXPECT_EQ(rows.index(2, workspace.statusColumn()).data(Qt::ToolTipRole).toString(), "Pas de correspondance dans le programme");
    EXPECT_EQ(workspace.summaryLabel()->text(), "4 cavaliers dans l’épreuve · 2 correspondances · 1 sans nom");

    // The third rider is not in the programme: his name is typed in the table.
    table.moveTo(2, workspace.lastNameColumn());
    type(window, "Blanc\tEva\n");
    EXPECT_TRUE(rows.index(2, workspace.statusColumn()).data(Qt::ToolTipRole).isNull());
    EXPECT_EQ(rows.index(2, workspace.firstNameColumn()).data().toString(), "Eva");

    ASSERT_TRUE(workspace.runButton()->isEnabled());
    QSignalSpy finished(&model, &SpreadsheetWorkspaceModel::runFinished);
    QTest::mouseClick(workspace.runButton(), Qt::LeftButton);
    ASSERT_TRUE(finished.wait(10000));
    EXPECT_EQ(workspace.reportLabel()->text(), "3 dossiers · 6 photos copiées");
    EXPECT_EQ(tree(destination), QStringList({"BLANC EVA/DSC_0200.JPG", "DUPONT JEAN/DSC_0100.JPG", "DUPONT JEAN/DSC_0101.JPG",
                                              "MARTIN JEAN-PIERRE/DSC_0150.JPG", "MARTIN JEAN-PIERRE/DSC_0151.JPG",
                                              "MARTIN JEAN-PIERRE/DSC_0152.JPG"}));
    EXPECT_EQ(opened, QStringList({destination}));
    const QStringList history = workspace.historyView()->shownLines();
    EXPECT_TRUE(history.contains("Vitesse 1,10 m"));
    EXPECT_TRUE(history.contains("3 dossiers · 6 photos copiées"));
    EXPECT_TRUE(history.contains("DUPONT JEAN — 2 photos"));
    EXPECT_EQ(rows.index(0, workspace.statusColumn()).data(Qt::ToolTipRole).toString(), "Ligne complète, photos transférées");
    QTreeWidgetItem* item = sidebarItem(*window.tableur()->sidebar(), sheet.id);
    ASSERT_NE(item, nullptr);
    EXPECT_TRUE(item->data(0, MacSidebar::DoneRole).toBool());

    // With "Paniers" shown, the same command imports into the rider folders.
    window.findChild<QAction*>("tavrinShowPaniers")->trigger();
    window.findChild<QAction*>("tavrinImportProgramme")->trigger();
    RiderFoldersView& paniers = *window.riderFolders();
    EXPECT_EQ(paniers.riders()->count(), 9);
    QTest::mouseClick(paniers.destinationButton(), Qt::LeftButton);
    QTest::mouseClick(paniers.createButton(), Qt::LeftButton);
    // Said once.
    EXPECT_EQ(paniers.reportLabel()->text().split(u'\n').filter("créés"), QStringList({"7 dossiers NOM PRENOM créés"}));
    OrganizerDialogs::hooks() = {};
}

TEST(WorkspaceFlow, FollowingCopiesRowsAsTheirPhotosArriveAndStoppingWritesOneHistoryEntry)
{
    constexpr int patience = 60000;
    QTemporaryDir folders;
    const QString source = folders.filePath("Carte SD"), destination = folders.filePath("Clients");
    QDir().mkpath(source);
    QDir().mkpath(destination);

    WindowOnASpreadsheet shown(QStringLiteral("Vitesse"));
    MacRootView& window = shown.window;
    TavrinApp& app = shown.app;
    const SpreadsheetRecord& sheet = shown.sheet;
    const SpreadsheetRecord other = app.libraryStore.addSpreadsheet(shown.day.id, QStringLiteral("Grand Prix"));
    SpreadsheetWorkspaceView& workspace = *window.workspace();
    SpreadsheetWorkspaceModel& model = *workspace.model();
    ASSERT_EQ(model.spreadsheetID(), sheet.id);
    EXPECT_EQ(workspace.followButton()->text(), "Suivre l’arrivée des photos");
    EXPECT_FALSE(workspace.followButton()->isEnabled());

    WorkspaceStore& store = app.workspaceStore;
    chooseVitesse(store, sheet.id, source);
    EXPECT_FALSE(workspace.followButton()->isEnabled());
    store.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet.id);
    QTRY_VERIFY(workspace.followButton()->isEnabled());
    const auto type = [&](const QString& photo, const QString& assigned) {
        const QUuid last = app.libraryStore.snapshot().spreadsheet(sheet.id)->rows.last().id;
        app.libraryStore.updateRow(sheet.id, last, photo, assigned);
    };
    type("0001", "12");

    QTest::mouseClick(workspace.followButton(), Qt::LeftButton);
    ASSERT_TRUE(model.isFollowing());
    EXPECT_TRUE(workspace.followButton()->isChecked());
    EXPECT_EQ(workspace.followButton()->text(), "Arrêter le suivi");
    // A run beside the following would copy the same photos twice; the folders stay as chosen.
    EXPECT_FALSE(workspace.runButton()->isEnabled());
    EXPECT_FALSE(workspace.sourceButton()->isEnabled());
    EXPECT_TRUE(workspace.followStatusLabel()->text().startsWith("Suivi : "));

    writeFile(source + "/0001.jpg", "un");
    writeFile(source + "/0002.jpg", "deux");
    writeFile(source + "/0010.jpg", "dix");
    // The next row closes the first range.
    type("0010", "15");
    QTRY_COMPARE_WITH_TIMEOUT(tree(destination), QStringList({"DUPONT JEAN/0001.jpg", "DUPONT JEAN/0002.jpg"}), patience);
    RowsTableModel& rows = *window.tableur()->spreadsheetPane()->model();
    QTRY_VERIFY_WITH_TIMEOUT(rows.index(0, workspace.statusColumn()).data(Qt::ToolTipRole).toString().contains("photos transférées"), patience);
    EXPECT_FALSE(rows.index(1, workspace.statusColumn()).data(Qt::ToolTipRole).toString().contains("photos transférées"));
    QTRY_VERIFY_WITH_TIMEOUT(workspace.followStatusLabel()->text().startsWith("Suivi : 1 dossier · 2 photos copiées · dernière copie il y a "),
                             patience);
    EXPECT_TRUE(store.actionHistory().isEmpty());

    // Switching off copies the open range and writes one entry.
    QTest::mouseClick(workspace.followButton(), Qt::LeftButton);
    EXPECT_FALSE(model.isFollowing());
    EXPECT_FALSE(workspace.followButton()->isChecked());
    EXPECT_EQ(workspace.followButton()->text(), "Suivre l’arrivée des photos");
    EXPECT_FALSE(workspace.followStatusLabel()->isVisible());
    EXPECT_EQ(tree(destination), QStringList({"DUPONT JEAN/0001.jpg", "DUPONT JEAN/0002.jpg", "MARTIN LÉA/0010.jpg"}));
    EXPECT_EQ(store.actionHistory().size(), 1);
    QTRY_VERIFY(workspace.historyView()->shownLines().contains("2 dossiers · 3 photos copiées"));
    QTRY_VERIFY(rows.index(1, workspace.statusColumn()).data(Qt::ToolTipRole).toString().contains("photos transférées"));
    QTRY_VERIFY(workspace.runButton()->isEnabled());

    // Showing another spreadsheet stops the following too, with its own entry.
    QTest::mouseClick(workspace.followButton(), Qt::LeftButton);
    ASSERT_TRUE(model.isFollowing());
    writeFile(source + "/0011.jpg", "onze");
    window.tableur()->sidebar()->select(shown.day.id, other.id);
    QTRY_COMPARE(model.spreadsheetID(), other.id);
    EXPECT_FALSE(model.isFollowing());
    EXPECT_TRUE(QFile::exists(destination + "/MARTIN LÉA/0011.jpg"));
    EXPECT_EQ(store.actionHistory().size(), 2);
}

TEST(WorkspaceFlow, FollowingShowsAFailedCopyOnItsRow)
{
    QTemporaryDir folders;
    const QString source = folders.filePath("Carte SD"), destination = folders.filePath("Clients");
    QDir().mkpath(source);
    // A file where the rider's folder should go: the copies cannot be made.
    writeFile(destination + "/DUPONT JEAN", "occupé");

    WindowOnASpreadsheet shown(QStringLiteral("Vitesse"));
    MacRootView& window = shown.window;
    TavrinApp& app = shown.app;
    const SpreadsheetRecord& sheet = shown.sheet;
    SpreadsheetWorkspaceView& workspace = *window.workspace();
    WorkspaceStore& store = app.workspaceStore;
    chooseVitesse(store, sheet.id, source);
    store.storeFolder(destination, WorkspaceStore::FolderKind::destination, sheet.id);
    writeFile(source + "/0001.jpg", "un");
    writeFile(source + "/0010.jpg", "dix");
    for (const auto& [photo, assigned] : {std::pair{"0001", "12"}, std::pair{"0010", "15"}}) {
        const QUuid last = app.libraryStore.snapshot().spreadsheet(sheet.id)->rows.last().id;
        app.libraryStore.updateRow(sheet.id, last, photo, assigned);
    }
    QTRY_VERIFY(workspace.followButton()->isEnabled());

    QTest::mouseClick(workspace.followButton(), Qt::LeftButton);
    ASSERT_TRUE(workspace.model()->isFollowing());
    RowsTableModel& rows = *window.tableur()->spreadsheetPane()->model();
    const QUuid first = app.libraryStore.snapshot().spreadsheet(sheet.id)->rows.first().id;
    QTRY_VERIFY_WITH_TIMEOUT(!workspace.model()->preview(first)->copyFailure.isEmpty(), 60000);
    const QString failure = workspace.model()->preview(first)->copyFailure;
    EXPECT_TRUE(rows.index(0, workspace.statusColumn()).data(Qt::ToolTipRole).toString().contains(failure));

    // Stopping keeps the failure beside its row and in the history's entry.
    QTest::mouseClick(workspace.followButton(), Qt::LeftButton);
    EXPECT_EQ(workspace.model()->preview(first)->copyFailure, failure);
    EXPECT_EQ(store.actionHistory().size(), 1);
    EXPECT_FALSE(rows.index(0, workspace.statusColumn()).data(Qt::ToolTipRole).toString().contains("photos transférées"));
}

TEST(WorkspaceFlow, AReplacedProgrammeComesBackWithCtrlZOrItsBannerInBothScreens)
{
    QString file = fixture("programme/weekend.xlsx");
    QStringList asked;
    OrganizerDialogs::hooks() = {[&] { return file; }, {}, {}, [&](const QString& question) {
                                     asked.push_back(question);
                                     return true;
                                 }};
    WindowOnASpreadsheet shown(QStringLiteral("Vitesse 1,10 m"));
    MacRootView& window = shown.window;
    SpreadsheetWorkspaceView& workspace = *window.workspace();
    QAction* import = window.findChild<QAction*>("tavrinImportProgramme");
    import->trigger();
    choose(workspace.dayMenu(), "Samedi");
    choose(workspace.eventMenu(), "Epreuve 10 - Vitesse (1,10 m)");
    RowsTableView& table = *window.tableur()->spreadsheetPane()->table();
    table.moveTo(0, RowsTableModel::photoNumberColumn);
    table.setFocus();
    type(window, "0100\t101\n");
    RowsTableModel& rows = *window.tableur()->spreadsheetPane()->model();
    QTRY_COMPARE(rows.index(0, workspace.lastNameColumn()).data().toString(), "DUPONT");

    // An invoice-like list of other riders: asked first, then replaced with its banner.
    file = fixture("programme/numbers-only.pdf");
    import->trigger();
    EXPECT_EQ(asked, QStringList{"Remplacer le programme ? 1 ligne qui trouve son cavalier n’en trouverait plus."});
    EXPECT_EQ(workspace.programmeButton()->text(), "numbers-only.pdf");
    EXPECT_EQ(workspace.programmeBanner()->text(), "Programme remplacé par « numbers-only.pdf » (4 cavaliers).");
    // Ctrl+Z in the table takes the programme back, not the row typed before it.
    table.setFocus();
    QTest::keyClick(&table, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(workspace.programmeButton()->text(), "weekend.xlsx");
    EXPECT_EQ(workspace.programmeBanner()->text(), QString());
    EXPECT_EQ(rows.index(0, RowsTableModel::photoNumberColumn).data().toString(), "0100");
    QTRY_COMPARE(rows.index(0, workspace.lastNameColumn()).data().toString(), "DUPONT");

    // The same in « Paniers », with the banner's « Annuler » this time.
    window.findChild<QAction*>("tavrinShowPaniers")->trigger();
    RiderFoldersView& paniers = *window.riderFolders();
    file = fixture("programme/weekend.xlsx");
    import->trigger();
    file = fixture("programme/numbers-only.pdf");
    import->trigger();
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(paniers.programmeBanner()->text(), "Programme remplacé par « numbers-only.pdf » (4 cavaliers).");
    EXPECT_EQ(paniers.riders()->count(), 4);
    QTest::mouseClick(paniers.programmeBanner()->undoButton(), Qt::LeftButton);
    EXPECT_EQ(paniers.riders()->count(), 9);
    EXPECT_EQ(paniers.programmeBanner()->text(), QString());
    // Ctrl+Z there too.
    import->trigger();
    paniers.setFocus();
    QTest::keyClick(&paniers, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(paniers.riders()->count(), 9);
    OrganizerDialogs::hooks() = {};
}
