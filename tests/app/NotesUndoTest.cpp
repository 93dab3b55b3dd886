#include "TestSupport.h"
#include "library/LibraryStore.h"
#include "library/views/MacSidebar.h"
#include "library/views/RowsTableModel.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"
#include "library/views/TableurView.h"
#include "organizer/WorkspaceStore.h"
#include "ui/CapsuleButton.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

namespace {

QStringList cells(const RowsTableModel& model)
{
    QStringList result;
    for (int r = 0; r < model.rowCount(); ++r) result.push_back(model.rowAt(r).photoNumber + "/" + model.rowAt(r).assignedNumber);
    return result;
}

// Triggers the context action of that title on a day or spreadsheet row of the sidebar.
void chooseInMenu(MacSidebar& sidebar, const QUuid& id, const QString& title)
{
    std::unique_ptr<QMenu> menu(sidebar.contextMenu(id));
    for (QAction* action : menu->actions())
        if (action->text() == title) return action->trigger();
    ADD_FAILURE() << "no action " << title.toStdString();
}

QMessageBox* openQuestion(QWidget& parent)
{
    for (QMessageBox* box : parent.findChildren<QMessageBox*>())
        if (box->isVisible()) return box;
    return nullptr;
}

QPushButton* buttonNamed(QMessageBox& box, const QString& text)
{
    for (QAbstractButton* button : box.buttons())
        if (button->text() == text) return qobject_cast<QPushButton*>(button);
    return nullptr;
}

// The Tableur section shown as in the window, one spreadsheet selected.
struct Tableur : ::testing::Test {
    TempDataDir data;
    LibraryStore store;
    TableurView tableur{store};
    QUuid day;
    QUuid vitesse;

    void SetUp() override
    {
        tableur.resize(1180, 760);
        tableur.show();
        QApplication::setActiveWindow(&tableur);
        tableur.restoreSelection();
        day = store.addDay("Samedi").id;
        tableur.sidebar()->select(day, std::nullopt);
        tableur.createSpreadsheet("Vitesse", day);
        vitesse = *tableur.sidebar()->selectedSpreadsheetID();
    }
    RowsTableView& table() { return *tableur.spreadsheetPane()->table(); }
    RowsTableModel& model() { return *tableur.spreadsheetPane()->model(); }
    // The first key opens the cell's editor, which takes the others.
    void typeCell(const QString& text)
    {
        QTest::keyClicks(&table(), text.left(1));
        QTest::keyClicks(QApplication::focusWidget(), text.mid(1));
    }
    void typeRow(const char* photo, const char* assigned)
    {
        typeCell(photo);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        typeCell(assigned);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }
    void press(QWidget* target, const QKeySequence& keys)
    {
        QTest::keySequence(target, keys);
        QApplication::processEvents();
    }
};

} // namespace

TEST_F(Tableur, CtrlZInTheTableUndoesTypingPasteAndClearsAndTheRedoKeysBringThemBack)
{
    typeRow("0412", "12");
    typeRow("0420", "15");
    const QStringList typed = cells(model());
    ASSERT_EQ(typed, (QStringList{"0412/12", "0420/15", "/"}));

    // A cut of the two rows' numbers clears them in one step.
    table().moveTo(0, RowsTableModel::photoNumberColumn);
    table().selectionModel()->select(QItemSelection(model().index(0, 0), model().index(1, 1)), QItemSelectionModel::Select);
    press(&table(), QKeySequence::Cut);
    EXPECT_EQ(cells(model()), (QStringList{"/", "/", "/"}));
    press(&table(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(cells(model()), typed);

    // A pasted block of two lines past the end, then undone and redone with both redo keys.
    table().moveTo(2, RowsTableModel::photoNumberColumn);
    QApplication::clipboard()->setText("0431\t20\n0440\t22\n");
    press(&table(), QKeySequence::Paste);
    const QStringList pasted = cells(model());
    EXPECT_EQ(pasted.size(), 5);
    press(&table(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(cells(model()), typed);
    press(&table(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    EXPECT_EQ(cells(model()), pasted);
    press(&table(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    press(&table(), QKeySequence(Qt::CTRL | Qt::Key_Y));
    EXPECT_EQ(cells(model()), pasted);

    // A deleted row comes back where it was; the sidebar takes Ctrl+Z too.
    table().moveTo(1, RowsTableModel::photoNumberColumn);
    table().deleteRowAction()->trigger();
    EXPECT_EQ(cells(model()).size(), 4);
    tableur.sidebar()->tree()->setFocus();
    press(tableur.sidebar()->tree(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(cells(model()), pasted);
    EXPECT_EQ(table().currentIndex().row(), 1) << "the row brought back is shown";
}

TEST_F(Tableur, ADeletedSpreadsheetComesBackFromTheBannerWithItsRowsAndSettings)
{
    typeRow("0412", "12");
    const QUuid sheet = *tableur.sidebar()->selectedSpreadsheetID();
    const SpreadsheetRecord before = *store.snapshot().spreadsheet(sheet);
    // Its settings in the spreadsheet workspace: folders, programme day and event, a hand-typed
    // name and the done mark.
    QTemporaryDir folders;
    WorkspaceStore workspace;
    workspace.storeFolder(folders.path(), WorkspaceStore::FolderKind::source, sheet);
    workspace.selectDay("Samedi", sheet);
    workspace.selectEvent("Samedi|Vitesse", sheet);
    workspace.setManualRider(sheet, "12", QStringLiteral("Dupont"), QStringLiteral("Jean"));
    workspace.setCompleted(true, sheet);
    const SpreadsheetMacSettings settings = workspace.settings(sheet);
    tableur.sidebar()->setDoneMarks({[&](const QUuid& id) { return workspace.settings(id).isCompleted; },
                                     [&](const QUuid& id, bool done) { workspace.setCompleted(done, id); }});

    chooseInMenu(*tableur.sidebar(), sheet, "Supprimer");
    EXPECT_FALSE(store.snapshot().spreadsheet(sheet));
    EXPECT_EQ(tableur.deletionBannerText(), "Tableur « Vitesse » supprimé.");
    EXPECT_EQ(tableur.sidebar()->selectedDayID(), day);

    QTest::mouseClick(tableur.deletionBannerUndo(), Qt::LeftButton);
    ASSERT_TRUE(store.snapshot().spreadsheet(sheet));
    EXPECT_EQ(store.snapshot().spreadsheet(sheet)->rows, before.rows);
    EXPECT_EQ(store.snapshot().spreadsheet(sheet)->createdAt, before.createdAt);
    EXPECT_EQ(tableur.sidebar()->selectedSpreadsheetID(), sheet);
    EXPECT_TRUE(tableur.sidebar()->tree()->currentItem()->data(0, MacSidebar::DoneRole).toBool());
    EXPECT_EQ(WorkspaceStore().settings(sheet), settings);
    EXPECT_TRUE(tableur.deletionBannerText().isEmpty());

    // Undone by Ctrl+Z instead, the banner goes: it has nothing left to undo.
    chooseInMenu(*tableur.sidebar(), sheet, "Supprimer");
    EXPECT_FALSE(tableur.deletionBannerText().isEmpty());
    tableur.undo();
    EXPECT_TRUE(store.snapshot().spreadsheet(sheet));
    EXPECT_TRUE(tableur.deletionBannerText().isEmpty());

    // With another spreadsheet in the day, that one is shown in its place, not « Créez un tableur »;
    // a deleted day gives way to the next day's spreadsheet.
    tableur.createSpreadsheet("Grand Prix", day);
    const QUuid grandPrix = *tableur.sidebar()->selectedSpreadsheetID();
    chooseInMenu(*tableur.sidebar(), grandPrix, "Supprimer");
    EXPECT_EQ(tableur.sidebar()->selectedSpreadsheetID(), sheet);
    EXPECT_EQ(tableur.spreadsheetPane()->spreadsheetID(), sheet);
    EXPECT_TRUE(tableur.spreadsheetPane()->isVisible());
    const QUuid sunday = store.addDay("Dimanche").id;
    tableur.createSpreadsheet("Finale", sunday);
    const QUuid finale = *tableur.sidebar()->selectedSpreadsheetID();
    tableur.sidebar()->select(day, sheet);
    store.deleteDay(day);
    EXPECT_EQ(tableur.sidebar()->selectedSpreadsheetID(), finale);
    EXPECT_EQ(tableur.spreadsheetPane()->spreadsheetID(), finale);
}

TEST_F(Tableur, DeletingADayThatHoldsRowsAsksFirst)
{
    EXPECT_EQ(TableurView::deleteDayQuestion("Samedi", 1), "Supprimer le jour « Samedi » et son tableur ?");
    // A day with blank spreadsheets only goes at once.
    chooseInMenu(*tableur.sidebar(), day, "Supprimer le jour");
    EXPECT_FALSE(openQuestion(tableur));
    EXPECT_FALSE(store.snapshot().day(day));
    EXPECT_EQ(tableur.deletionBannerText(), "Jour « Samedi » supprimé.");
    tableur.undo();
    ASSERT_TRUE(store.snapshot().day(day));

    tableur.sidebar()->select(day, vitesse);
    table().moveTo(0, RowsTableModel::photoNumberColumn);
    typeRow("0412", "12");
    tableur.createSpreadsheet("Grand Prix", day);
    chooseInMenu(*tableur.sidebar(), day, "Supprimer le jour");
    QMessageBox* question = openQuestion(tableur);
    ASSERT_TRUE(question);
    EXPECT_EQ(question->text(), "Supprimer le jour « Samedi » et ses 2 tableurs ?");
    QTest::mouseClick(buttonNamed(*question, "Annuler"), Qt::LeftButton);
    EXPECT_TRUE(store.snapshot().day(day));

    const LibrarySnapshot full = store.snapshot();
    chooseInMenu(*tableur.sidebar(), day, "Supprimer le jour");
    question = openQuestion(tableur);
    ASSERT_TRUE(question);
    QTest::mouseClick(buttonNamed(*question, "Supprimer"), Qt::LeftButton);
    EXPECT_FALSE(store.snapshot().day(day));
    EXPECT_TRUE(store.snapshot().spreadsheets.isEmpty());
    EXPECT_EQ(tableur.deletionBannerText(), "Jour « Samedi » supprimé.");
    QTest::mouseClick(tableur.deletionBannerUndo(), Qt::LeftButton);
    EXPECT_EQ(store.snapshot().days, full.days);
    ASSERT_EQ(store.snapshot().spreadsheets.size(), 2);
    for (const SpreadsheetRecord& sheet : full.spreadsheets) EXPECT_EQ(store.snapshot().spreadsheet(sheet.id)->rows, sheet.rows);
    EXPECT_EQ(tableur.sidebar()->selectedDayID(), day);
}

TEST_F(Tableur, LongTitlesGiveWayInTheMiddleAndTheSidebarButtonsStayWhole)
{
    const QString title = "Grand Prix Pro Élite 1m45 barème A au chrono — deuxième manche";
    const QUuid sheet = store.addSpreadsheet(day, title).id;
    store.addDay("Dimanche après-midi, journée des jeunes chevaux");
    for (const QSize size : {QSize(1280, 720), QSize(1180, 760)}) {
        tableur.resize(size);
        QApplication::processEvents();
        const QString shown = tableur.sidebar()->shownTitle(sheet);
        EXPECT_TRUE(shown.contains(u'…')) << shown.toStdString();
        EXPECT_TRUE(shown.startsWith("Grand")) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith("manche")) << shown.toStdString();
        for (QAbstractButton* button : tableur.sidebar()->findChildren<QAbstractButton*>()) {
            if (!button->isVisibleTo(tableur.sidebar())) continue;
            EXPECT_GE(button->width(), button->sizeHint().width()) << button->text().toStdString();
            const QRect inSidebar(button->mapTo(tableur.sidebar(), QPoint(0, 0)), button->size());
            EXPECT_TRUE(tableur.sidebar()->rect().contains(inSidebar)) << button->text().toStdString();
        }
    }
    const QList<QTreeWidgetItem*> items = tableur.sidebar()->tree()->findItems(title, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items.first()->toolTip(0), title);
    EXPECT_EQ(tableur.sidebar()->shownTitle(vitesse), "Vitesse")
        << "a short title is shown whole";
}
