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

} // namespace

TEST(WorkspaceFlow, ImportChooseTypeRunAndSeeTheHistoryAndTheDoneMark)
{
    TempDataDir data;
    QTemporaryDir folders;
    const QString source = folders.filePath("Carte SD"), destination = folders.filePath("Clients");
    touch(source, {"DSC_0099.JPG", "DSC_0100.JPG", "DSC_0101.JPG", "DSC_0150.JPG", "DSC_0151.JPG", "DSC_0152.JPG", "DSC_0200.JPG"});
    QDir().mkpath(destination);
    QStringList opened;
    OrganizerDialogs::hooks() = {
        [] { return fixture("programme/weekend.xlsx"); },
        [&](const QString& title) { return title == u"Dossier des photos" ? source : destination; },
        [&](const QString& folder) { opened.push_back(folder); },
    };

    SingleInstance launches(data.path());
    TavrinApp app(launches);
    MacRootView window(app);
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const DayRecord day = app.libraryStore.addDay(QStringLiteral("Samedi"));
    const SpreadsheetRecord sheet = app.libraryStore.addSpreadsheet(day.id, QStringLiteral("Vitesse 1,10 m"));
    window.tableur()->sidebar()->select(day.id, sheet.id);
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
    EXPECT_TRUE(paniers.reportLabel()->text().startsWith("7 dossiers vides créés"));
    OrganizerDialogs::hooks() = {};
}
