#include "TestSupport.h"
#include "library/LibraryStore.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

namespace {

// What a photographer sees of the library: days and spreadsheets with their rows, in order,
// without the dates of the writes.
struct Notes {
    QList<DayRecord> days;
    QList<std::tuple<QUuid, QUuid, QString, QList<RowRecord>>> spreadsheets;
    bool operator==(const Notes&) const = default;
};

Notes notes(const LibrarySnapshot& library)
{
    Notes n{library.days, {}};
    for (const SpreadsheetRecord& s : library.spreadsheets) n.spreadsheets.push_back({s.id, s.dayID, s.title, s.rows});
    return n;
}

Notes notes(const LibraryStore& store) { return notes(store.snapshot()); }

QList<RowRecord> rowsOf(const LibraryStore& store, const QUuid& sheet) { return store.snapshot().spreadsheet(sheet)->rows; }

RowRecord row(const QString& photo, const QString& assigned) { return RowRecord{QUuid::createUuid(), photo, assigned}; }

} // namespace

TEST(NotesHistory, EveryKindOfEditIsUndoneThenRedoneStepByStep)
{
    TempDataDir data;
    LibraryStore store;
    QList<Notes> states{notes(store)};
    auto done = [&] { states.push_back(notes(store)); };

    const QUuid day = store.addDay(QStringLiteral("Samedi")).id;
    done();
    const QUuid sheet = store.addSpreadsheet(day, QStringLiteral("Vitesse")).id;
    done();
    // Typing a cell: the row is written and a new blank row opens below, as one step.
    store.updateRow(sheet, rowsOf(store, sheet).first().id, QStringLiteral("0412"), std::nullopt);
    done();
    store.updateRow(sheet, rowsOf(store, sheet).first().id, std::nullopt, QStringLiteral("12"));
    done();
    // A paste of three lines adds rows past the end.
    store.updateRows(sheet, rowsOf(store, sheet).last().id,
                     {{QStringLiteral("0420"), QStringLiteral("15")}, {QStringLiteral("0431"), QStringLiteral("20")},
                      {QStringLiteral("0440"), QStringLiteral("22")}});
    done();
    // A block cleared (or cut) cell by cell is one step.
    {
        const LibraryStore::EditGroup group(store);
        store.updateRow(sheet, rowsOf(store, sheet)[1].id, QString(), std::nullopt);
        store.updateRow(sheet, rowsOf(store, sheet)[1].id, std::nullopt, QString());
        store.updateRow(sheet, rowsOf(store, sheet)[2].id, QString(), std::nullopt);
    }
    done();
    store.insertRow(sheet, rowsOf(store, sheet)[2].id, true);
    done();
    store.deleteRow(sheet, rowsOf(store, sheet)[3].id);
    done();
    store.renameDay(day, QStringLiteral("Dimanche"));
    done();
    store.renameSpreadsheet(sheet, QStringLiteral("Grand Prix"));
    done();
    // An edit that changes nothing is no step.
    store.renameSpreadsheet(sheet, QStringLiteral("Grand Prix"));
    store.renameDay(QUuid::createUuid(), QStringLiteral("x"));

    QSignalSpy history(&store, &LibraryStore::notesHistoryChanged);
    for (qsizetype i = states.size() - 2; i >= 0; --i) {
        ASSERT_TRUE(store.canUndo()) << i;
        store.undo();
        EXPECT_EQ(notes(store), states[i]) << "after undoing back to state " << i;
        EXPECT_EQ(notes(LibraryStore().snapshot()), states[i]) << "written at once";
    }
    EXPECT_FALSE(store.canUndo());
    EXPECT_FALSE(store.undo());
    for (qsizetype i = 1; i < states.size(); ++i) {
        ASSERT_TRUE(store.canRedo());
        store.redo();
        EXPECT_EQ(notes(store), states[i]) << "after redoing state " << i;
    }
    EXPECT_FALSE(store.canRedo());
    EXPECT_GE(history.count(), 2 * (states.size() - 1));

    // A new edit after an undo drops what could be redone.
    store.undo();
    EXPECT_TRUE(store.canRedo());
    store.updateRow(sheet, rowsOf(store, sheet).first().id, QStringLiteral("1"), std::nullopt);
    EXPECT_FALSE(store.canRedo());
}

TEST(NotesHistory, ADeletionUndoneBringsBackTheSameRecordsInTheirPlace)
{
    TempDataDir data;
    LibraryStore store;
    const DayRecord samedi = store.addDay(QStringLiteral("Samedi"));
    const DayRecord dimanche = store.addDay(QStringLiteral("Dimanche"));
    QList<QUuid> sheets;
    for (const char* title : {"Vitesse", "Grand Prix", "Amateur"}) {
        sheets.push_back(store.addSpreadsheet(samedi.id, QString::fromUtf8(title)).id);
        store.updateRows(sheets.last(), rowsOf(store, sheets.last()).first().id,
                         {{QStringLiteral("1"), QStringLiteral("12")}, {QStringLiteral("5"), QStringLiteral("15")}});
    }
    const QUuid lone = store.addSpreadsheet(dimanche.id, QStringLiteral("Seul")).id;
    PersistedUIState state = store.uiState();
    state.syncedSpreadsheetIDs = {sheets[1], lone};
    store.setUIState(state);
    const Notes full = notes(store);

    store.deleteSpreadsheet(sheets[1]);
    EXPECT_FALSE(store.snapshot().spreadsheet(sheets[1]));
    EXPECT_EQ(store.uiState().syncedSpreadsheetIDs, QList<QUuid>{lone});
    const std::optional<LibraryStore::NotesFocus> focus = store.undo();
    EXPECT_EQ(notes(store), full) << "same identifiers, rows and position";
    EXPECT_EQ(store.uiState().syncedSpreadsheetIDs, QList<QUuid>({lone, sheets[1]})) << "still in step with the phone";
    ASSERT_TRUE(focus);
    EXPECT_EQ(focus->spreadsheetID, sheets[1]);
    EXPECT_EQ(focus->dayID, samedi.id);

    // A whole day with its spreadsheets, its place among the days kept.
    store.deleteDay(samedi.id);
    EXPECT_EQ(store.snapshot().days, QList<DayRecord>{dimanche});
    EXPECT_EQ(store.snapshot().spreadsheets.size(), 1);
    store.undo();
    EXPECT_EQ(notes(store), full);
    EXPECT_EQ(store.snapshot().sortedDays().first(), samedi);

    // The banner undoes its own deletion even after other edits, which stay.
    store.deleteSpreadsheet(sheets[0]);
    const quint64 deletion = store.lastStepID();
    store.renameSpreadsheet(sheets[2], QStringLiteral("Amateur 2"));
    EXPECT_TRUE(store.undoStep(deletion));
    EXPECT_EQ(store.snapshot().spreadsheets[0].id, sheets[0]);
    EXPECT_EQ(store.snapshot().spreadsheet(sheets[2])->title, "Amateur 2");
    EXPECT_FALSE(store.undoStep(deletion)) << "a step is undone once";
}

TEST(NotesHistory, WhatPhonesAndOtherProgramsBroughtMeanwhileIsNotUndone)
{
    TempDataDir data;
    LibraryStore store;
    const QUuid day = store.addDay(QStringLiteral("Samedi")).id;
    const QUuid sheet = store.addSpreadsheet(day, QStringLiteral("Vitesse")).id;
    const QUuid typed = rowsOf(store, sheet).first().id;
    store.updateRow(sheet, typed, QStringLiteral("0412"), QStringLiteral("12"));
    const QUuid second = rowsOf(store, sheet).last().id;
    store.updateRow(sheet, second, QStringLiteral("0500"), QStringLiteral("30"));

    // A phone sends its library: a row of its own in the same spreadsheet, a spreadsheet of its
    // own, and a new value in the second row.
    LibrarySnapshot phone = store.snapshot();
    const RowRecord fromPhone = row(QStringLiteral("0600"), QStringLiteral("40"));
    phone.spreadsheets[0].rows = {rowsOf(store, sheet)[0], RowRecord{second, QStringLiteral("0501"), QStringLiteral("30")}, fromPhone};
    phone.spreadsheets[0].updatedAt = phone.spreadsheets[0].updatedAt.addSecs(60);
    SpreadsheetRecord phoneSheet{QUuid::createUuid(), day, QStringLiteral("Téléphone"), phone.updatedAt, phone.updatedAt, true, {row("1", "2")}};
    phone.spreadsheets.push_back(phoneSheet);
    store.replaceFromRemote(phone);
    EXPECT_TRUE(store.snapshot().spreadsheet(phoneSheet.id));

    // Undoing the second row's typing: the phone's later value in that very row stays.
    store.undo();
    EXPECT_EQ(store.snapshot().spreadsheet(sheet)->rows[1].photoNumber, "0501");
    // Undoing the first row's typing clears it and leaves the phone's row and spreadsheet.
    store.undo();
    const QList<RowRecord> rows = rowsOf(store, sheet);
    EXPECT_TRUE(std::find_if(rows.begin(), rows.end(), [&](const RowRecord& r) { return r.id == typed; })->isBlank());
    EXPECT_TRUE(rows.contains(fromPhone));
    EXPECT_EQ(store.snapshot().spreadsheet(phoneSheet.id)->rows.first().photoNumber, "1");

    // Another program writes library.json between a local edit and its undo.
    store.redo();
    LibraryStore other;
    other.updateRows(phoneSheet.id, other.snapshot().spreadsheet(phoneSheet.id)->rows.first().id,
                     {{QStringLiteral("7"), QStringLiteral("70")}});
    // This write takes in the other program's change; that change is no part of the step.
    store.renameDay(day, QStringLiteral("Dimanche"));
    EXPECT_EQ(store.snapshot().spreadsheet(phoneSheet.id)->rows.first().photoNumber, "7");
    store.undo();
    EXPECT_EQ(store.snapshot().day(day)->name, "Samedi");
    EXPECT_EQ(store.snapshot().spreadsheet(phoneSheet.id)->rows.first().photoNumber, "7");
    EXPECT_EQ(LibraryStore().snapshot().spreadsheet(phoneSheet.id)->rows.first().photoNumber, "7");
}
