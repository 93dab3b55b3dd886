#include "KeyTyping.h"
#include "TestSupport.h"
#include "library/LibraryStore.h"
#include "library/views/RowsTableModel.h"
#include "library/views/RowsTableView.h"
#include "library/views/SpreadsheetPane.h"

#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

namespace {

RowRecord row(const QString& photo, const QString& assigned) { return RowRecord{QUuid::createUuid(), photo, assigned}; }

QStringList photos(const RowsTableModel& model)
{
    QStringList result;
    for (int r = 0; r < model.rowCount(); ++r) result.push_back(model.rowAt(r).photoNumber);
    return result;
}

// A "Nom" column as a screen with a programme adds: names by assigned number, typed into `names`.
int appendNameColumn(RowsTableModel& model, QHash<QString, QString>& names)
{
    return model.appendColumn({"Nom",
                               [&names](const RowRecord& row, int role) -> QVariant {
                                   if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
                                   return names.value(row.assignedNumber);
                               },
                               [&names](const RowRecord& row, const QString& text) { names[row.assignedNumber] = text; }});
}

} // namespace

TEST(RowsTableModel, FollowsTheStoreRowByRowWithoutEverResetting)
{
    TempDataDir data;
    LibraryStore store;
    const QUuid day = store.addDay("Samedi").id;
    SpreadsheetRecord sheet = store.addSpreadsheet(day, "A");
    store.updateRow(sheet.id, sheet.rows[0].id, "10", "1");
    sheet = *store.snapshot().spreadsheet(sheet.id);
    store.updateRow(sheet.id, sheet.rows[1].id, "20", "2");
    sheet = *store.snapshot().spreadsheet(sheet.id);

    RowsTableModel model(store);
    model.setSpreadsheet(sheet.id);
    QSignalSpy resets(&model, &QAbstractItemModel::modelAboutToBeReset);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QPersistentModelIndex twenty = model.index(1, RowsTableModel::assignedNumberColumn);

    // Another spreadsheet's edits pass by.
    const SpreadsheetRecord other = store.addSpreadsheet(day, "B");
    store.updateRow(other.id, other.rows[0].id, "99", "");
    EXPECT_EQ(inserted.count(), 0);

    model.insertBlankRow(0, true);
    EXPECT_EQ(photos(model), (QStringList{"", "10", "20", ""}));
    EXPECT_EQ(twenty.row(), 2) << "the cell being edited moves with its row";

    // A phone sends the rows back in its own order, with one row of its own.
    LibrarySnapshot incoming = store.snapshot();
    SpreadsheetRecord& remote = incoming.spreadsheets[incoming.spreadsheets.indexOf(*store.snapshot().spreadsheet(sheet.id))];
    remote.updatedAt = remote.updatedAt.addSecs(60);
    remote.rows = {remote.rows[2], row("30", "3"), remote.rows[1]};
    store.replaceFromRemote(incoming);
    EXPECT_EQ(photos(model), (QStringList{"20", "30", "10", "", ""})) << "the row inserted to type into stays";
    EXPECT_EQ(twenty.row(), 0);
    EXPECT_EQ(twenty.data().toString(), "2");

    EXPECT_TRUE(model.setData(model.index(1, RowsTableModel::photoNumberColumn), "31"));
    EXPECT_EQ(store.snapshot().spreadsheet(sheet.id)->rows[1].photoNumber, "31");
    model.deleteRowAt(2);
    EXPECT_EQ(photos(model), (QStringList{"20", "31", "", ""}));
    EXPECT_EQ(resets.count(), 0);
}

TEST(RowsTableModel, OffersARowToTypeInWhenAReceivedSpreadsheetEndsWithoutOne)
{
    TempDataDir data;
    LibraryStore store;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const DayRecord day{QUuid::createUuid(), "Samedi", now, 0};
    const SpreadsheetRecord received{QUuid::createUuid(), day.id, "Reçu", now, now, true, {row("10", "1")}};
    store.mergeImported({1, TavrinTransferPackage::Kind::spreadsheet, day, {received}});

    RowsTableModel model(store);
    model.setSpreadsheet(received.id);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_TRUE(model.rowAt(1).id.isNull()) << "offered, not stored";
    EXPECT_EQ(store.snapshot().spreadsheet(received.id)->rows.size(), 1) << "showing a spreadsheet writes nothing";
    EXPECT_FALSE(model.canDelete(1));

    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QPersistentModelIndex offered = model.index(1, RowsTableModel::assignedNumberColumn);
    EXPECT_TRUE(model.setData(offered, "2"));
    const SpreadsheetRecord stored = *store.snapshot().spreadsheet(received.id);
    ASSERT_EQ(stored.rows.size(), 3);
    EXPECT_EQ(stored.rows[1].assignedNumber, "2");
    EXPECT_EQ(offered.row(), 1) << "the typed row stays where it was typed";
    EXPECT_EQ(model.rowAt(1).id, stored.rows[1].id);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_TRUE(model.canDelete(1));
    EXPECT_FALSE(model.canDelete(2));
}

TEST(RowsTableModel, AppendedColumnsReadTheRowTakeTheirOwnEditsAndAreSkippedByTabWhenReadOnly)
{
    TempDataDir data;
    LibraryStore store;
    SpreadsheetRecord sheet = store.addSpreadsheet(store.addDay("Samedi").id, "A");
    store.updateRow(sheet.id, sheet.rows[0].id, "10", "1");
    sheet = *store.snapshot().spreadsheet(sheet.id);
    RowsTableModel model(store);
    model.setSpreadsheet(sheet.id);

    // As a screen with a programme would: names by assigned number, a mark that only shows.
    QHash<QString, QString> names{{"1", "DUPONT"}};
    const int name = appendNameColumn(model, names);
    const int mark = model.appendColumn({"", [](const RowRecord&, int) { return QVariant(); }, {}});
    EXPECT_EQ(model.headerData(name, Qt::Horizontal).toString(), "Nom");
    EXPECT_EQ(model.index(0, name).data().toString(), "DUPONT");
    EXPECT_FALSE(model.flags(model.index(0, mark)) & Qt::ItemIsEditable);

    const LibrarySnapshot before = store.snapshot();
    EXPECT_TRUE(model.setData(model.index(0, name), "DURAND"));
    EXPECT_EQ(names["1"], "DURAND");
    EXPECT_EQ(store.snapshot().spreadsheet(sheet.id)->rows, before.spreadsheet(sheet.id)->rows) << "the library is untouched";

    // Only the rows named are announced.
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.refreshRows({model.rowAt(1).id}, name, mark);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), model.index(1, name));
    EXPECT_EQ(changed[0][1].toModelIndex(), model.index(1, mark));

    RowsTableView view(&model);
    view.show();
    view.moveTo(0, RowsTableModel::assignedNumberColumn);
    QTest::keyClick(&view, Qt::Key_Tab);
    EXPECT_EQ(view.currentIndex().column(), name);
    QTest::keyClick(&view, Qt::Key_Tab);
    EXPECT_EQ(view.currentIndex(), model.index(1, RowsTableModel::photoNumberColumn)) << "the mark column is skipped";
    QTest::keyClick(&view, Qt::Key_Backtab);
    EXPECT_EQ(view.currentIndex(), model.index(0, name));
}

TEST(RowsTableModel, PastedBlocksFillConsecutiveColumnsAddRowsForNumbersOnlyAndWriteOnce)
{
    TempDataDir data;
    LibraryStore store;
    SpreadsheetRecord sheet = store.addSpreadsheet(store.addDay("Samedi").id, "A");
    store.updateRow(sheet.id, sheet.rows[0].id, "10", "1");
    RowsTableModel model(store);
    model.setSpreadsheet(sheet.id);
    QHash<QString, QString> names;
    const int name = appendNameColumn(model, names);
    model.appendColumn({"", [](const RowRecord&, int) { return QVariant(); }, {}});

    // Photo, assigned, name and a cell for the read-only mark, from row 0 to two rows past the end.
    QSignalSpy writes(&store, &LibraryStore::snapshotChanged);
    EXPECT_EQ(model.paste(0, RowsTableModel::photoNumberColumn,
                          {{"11", "1", "DUPONT", "x"}, {"20", "2", "DURAND"}, {"30"}, {"40", "4"}}),
              4);
    EXPECT_EQ(writes.count(), 1) << "the numbers of the whole block in one write";
    EXPECT_EQ(photos(model), (QStringList{"11", "20", "30", "40", ""}));
    EXPECT_EQ(model.rowAt(3).assignedNumber, "4");
    EXPECT_EQ(names, (QHash<QString, QString>{{"1", "DUPONT"}, {"2", "DURAND"}}));
    EXPECT_EQ(store.snapshot().spreadsheet(sheet.id)->rows.size(), 5) << "one blank row still ends the spreadsheet";

    // Starting in the assigned column, the second cell goes to the names; shorter lines leave cells alone.
    EXPECT_EQ(model.paste(2, RowsTableModel::assignedNumberColumn, {{"3", "MARTIN"}, {"5"}}), 2);
    EXPECT_EQ(model.rowAt(2).photoNumber, "30");
    EXPECT_EQ(model.rowAt(3).assignedNumber, "5");
    EXPECT_EQ(names.value("3"), "MARTIN");

    // Names alone never add rows.
    const int rows = model.rowCount();
    EXPECT_EQ(model.paste(rows - 1, name, {{"A"}, {"B"}, {"C"}}), 1);
    EXPECT_EQ(model.rowCount(), rows);

    EXPECT_EQ(model.textOf({model.index(0, 0), model.index(0, 1), model.index(1, 1), model.index(1, name)}),
              "11\t1\t\n\t2\tDURAND");
}

// Whatever the table hears while a cell is being typed into (a new plan, a phone's library that
// drops the blank rows, another program's rows), the editor stays open with every key typed, and
// an editor left untouched never writes back a value changed meanwhile.
TEST(RowsTableModel, TypedTextStaysInItsCellWhateverTheTableHearsMeanwhile)
{
    TempDataDir data;
    LibraryStore store;
    SpreadsheetRecord sheet = store.addSpreadsheet(store.addDay("Samedi").id, "A");
    store.updateRow(sheet.id, sheet.rows[0].id, "10", "1");
    RowsTableModel model(store);
    model.setSpreadsheet(sheet.id);
    QHash<QString, QString> names;
    const int name = appendNameColumn(model, names);
    RowsTableView view(&model);
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    const auto editorText = [&] {
        auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        return editor ? editor->text() : QStringLiteral("(pas d’éditeur)");
    };
    const auto phoneSends = [&](const RowRecord& extra) {
        LibrarySnapshot incoming = store.snapshot();
        for (SpreadsheetRecord& s : incoming.spreadsheets)
            if (s.id == sheet.id) s.rows = {s.rows.first(), extra};
        store.replaceFromRemote(incoming);
    };

    // The blank row that ends the table; the row another program adds once it is stored goes
    // below it, and Enter leads past that row to the blank one, not into it.
    view.moveTo(1, RowsTableModel::photoNumberColumn);
    test::type(view, "0");
    model.refreshRows({model.rowAt(0).id, model.rowAt(1).id}, 0, name);
    phoneSends(row("30", "3"));
    EXPECT_EQ(editorText(), "0");
    test::type(view, "042\t");
    store.insertRows(sheet.id, {{QUuid(), {QString("40"), QString("4")}}});
    test::type(view, "5\tDUPONT\n");
    EXPECT_EQ(photos(model), (QStringList{"10", "30", "0042", "40", ""}));
    EXPECT_EQ(model.rowAt(2).assignedNumber, "5");
    EXPECT_EQ(model.rowAt(3).assignedNumber, "4");
    EXPECT_EQ(names.value("5"), "DUPONT");
    EXPECT_EQ(view.currentIndex(), model.index(4, RowsTableModel::photoNumberColumn));

    // A row inserted to type into, which a phone's library does not hold.
    const int inserted = model.insertBlankRow(0, false);
    const QUuid insertedID = model.rowAt(inserted).id;
    view.moveTo(inserted, RowsTableModel::photoNumberColumn);
    test::type(view, "1");
    phoneSends(row("50", "6"));
    EXPECT_EQ(editorText(), "1");
    test::type(view, "5\n");
    EXPECT_EQ(model.rowAt(model.rowOf(insertedID)).photoNumber, "15");

    // An editor opened on a cell and left as it is: the value the phone brought stays.
    view.moveTo(0, RowsTableModel::photoNumberColumn);
    view.edit(view.currentIndex());
    LibrarySnapshot incoming = store.snapshot();
    for (SpreadsheetRecord& s : incoming.spreadsheets)
        if (s.id == sheet.id) s.rows[0].photoNumber = "11";
    store.replaceFromRemote(incoming);
    EXPECT_EQ(editorText(), "11");
    test::type(view, "\n");
    EXPECT_EQ(model.rowAt(0).photoNumber, "11");

    // Another spreadsheet shown while a cell is typed (a file opened from the file manager): the
    // text is stored in its cell first.
    SpreadsheetPane pane(store);
    pane.setSpreadsheet(sheet.id);
    pane.show();
    QApplication::setActiveWindow(&pane);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&pane));
    pane.table()->moveTo(0, RowsTableModel::assignedNumberColumn);
    test::type(pane, "77");
    pane.setSpreadsheet(store.addSpreadsheet(store.snapshot().days.first().id, "B").id);
    EXPECT_EQ(store.snapshot().spreadsheet(sheet.id)->rows.first().assignedNumber, "77");
}
