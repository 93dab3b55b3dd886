#include "TestSupport.h"
#include "base/TavrinJSON.h"
#include "base/TavrinTheme.h"
#include "base/UserDefaults.h"
#include "library/LibraryStore.h"

#include <QDir>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

namespace {

LibrarySnapshot onDisk(const TempDataDir& data) { return decodeLibrary(test::readFile(data.file("library.json"))); }
PersistedUIState uiOnDisk(const TempDataDir& data)
{
    return persistedUIStateFromJson(TavrinJSON::decodeObject(test::readFile(data.file("ui-state.json"))));
}
QDateTime at(int hour) { return QDateTime(QDate(2026, 12, 4), QTime(hour, 0), Qt::UTC); }

} // namespace

TEST(LibraryStoreLoading, MissingOrCorruptFilesGiveDefaultsAndCorruptOnesAreKept)
{
    TempDataDir data;
    {
        LibraryStore store;
        EXPECT_TRUE(store.snapshot().days.isEmpty());
        EXPECT_EQ(store.snapshot().version, 1);
        EXPECT_FALSE(QFile::exists(data.file("library.json"))) << "loading writes nothing";
    }
    test::writeFile(data.file("library.json"), "{\"days\": [");
    test::writeFile(data.file("ui-state.json"), "garbage");
    LibraryStore store;
    EXPECT_TRUE(store.snapshot().days.isEmpty());
    EXPECT_EQ(store.uiState(), PersistedUIState{});
    store.addDay(QStringLiteral("Samedi"));
    EXPECT_EQ(onDisk(data).days.size(), 1);
    const QStringList aside = QDir(data.path()).entryList({"library.json.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::readFile(data.file(aside.first())), "{\"days\": [");
}

TEST(LibraryStoreDays, NamesSortIndexesRenameAndDelete)
{
    TempDataDir data;
    LibraryStore store;
    int changes = 0;
    store.onChange = [&] { ++changes; };

    const DayRecord first = store.addDay(QStringLiteral("  \n"));
    EXPECT_EQ(first.name, TavrinTheme::defaultDayName(first.createdAt));
    EXPECT_TRUE(first.name.at(0).isUpper());
    EXPECT_EQ(first.sortIndex, 0);
    store.renameDay(first.id, QStringLiteral("  Dimanche "));
    const DayRecord second = store.addDay(QStringLiteral("Lundi"));
    EXPECT_EQ(second.sortIndex, 1);
    EXPECT_EQ(onDisk(data).day(first.id)->name, "Dimanche");

    const QByteArray before = test::readFile(data.file("library.json"));
    store.renameDay(QUuid::createUuid(), QStringLiteral("personne"));
    EXPECT_EQ(test::readFile(data.file("library.json")), before) << "an unknown day writes nothing";

    const SpreadsheetRecord sheet = store.addSpreadsheet(first.id, QStringLiteral("Épreuve"));
    store.deleteDay(first.id);
    EXPECT_FALSE(onDisk(data).spreadsheet(sheet.id)) << "a day takes its spreadsheets with it";
    EXPECT_EQ(changes, 5);
}

TEST(LibraryStoreSpreadsheets, CreationRenameAndSyncedListUpkeep)
{
    TempDataDir data;
    LibraryStore store;
    const DayRecord day = store.addDay(QStringLiteral("Samedi"));
    const SpreadsheetRecord sheet = store.addSpreadsheet(day.id, QStringLiteral("   "));
    EXPECT_EQ(sheet.title, "Nouveau tableur");
    ASSERT_EQ(sheet.rows.size(), 1);
    EXPECT_TRUE(sheet.rows.first().isBlank());
    EXPECT_TRUE(sheet.isOpen);

    const SpreadsheetRecord other = store.addSpreadsheet(day.id, QStringLiteral("Autre"));
    PersistedUIState state = store.uiState();
    state.syncedSpreadsheetIDs = {sheet.id, other.id, sheet.id};
    store.setUIState(state);
    store.renameSpreadsheet(sheet.id, QStringLiteral(" Grand Prix "));
    EXPECT_EQ(store.snapshot().spreadsheet(sheet.id)->title, "Grand Prix");
    EXPECT_EQ(uiOnDisk(data).syncedSpreadsheetIDs, QList<QUuid>{other.id}) << "an edited spreadsheet is no longer synced";

    store.deleteSpreadsheet(other.id);
    EXPECT_TRUE(store.uiState().syncedSpreadsheetIDs.isEmpty());
    EXPECT_FALSE(onDisk(data).spreadsheet(other.id));
}

TEST(LibraryStoreRows, TrailingBlankRowInsertAndDelete)
{
    TempDataDir data;
    LibraryStore store;
    const DayRecord day = store.addDay(QStringLiteral("Samedi"));
    const QUuid id = store.addSpreadsheet(day.id, QStringLiteral("T")).id;
    auto rows = [&] { return onDisk(data).spreadsheet(id)->rows; };

    const QUuid firstRow = rows().first().id;
    store.updateRow(id, firstRow, QStringLiteral("12"), std::nullopt);
    ASSERT_EQ(rows().size(), 2);
    EXPECT_EQ(rows()[0].photoNumber, "12");
    EXPECT_TRUE(rows()[1].isBlank()) << "typing into the blank row opens a new one";

    store.updateRow(id, firstRow, QStringLiteral(""), QStringLiteral(" 101 "));
    EXPECT_EQ(rows()[0].assignedNumber, " 101 ") << "numbers are stored as typed";
    store.updateRow(id, firstRow, QString(), QString());
    EXPECT_EQ(rows().size(), 2) << "clearing a row never removes one";

    const auto inserted = store.insertRow(id, rows().last().id, false);
    ASSERT_TRUE(inserted);
    EXPECT_EQ(rows().last().id, inserted->id) << "inserting after the last row appends";
    const auto above = store.insertRow(id, firstRow, true);
    EXPECT_EQ(rows().first().id, above->id);
    EXPECT_FALSE(store.insertRow(id, QUuid::createUuid(), true));
    EXPECT_FALSE(store.addRow(QUuid::createUuid()));

    for (const RowRecord& r : rows()) store.deleteRow(id, r.id);
    ASSERT_EQ(rows().size(), 1);
    EXPECT_TRUE(rows().first().isBlank());
    EXPECT_NE(rows().first().id, firstRow) << "the only row is replaced by a fresh blank row";
}

// Rows added by another program or by accepted proposals: placed where asked, the blank row
// someone may be typing into never filled by them, one step to undo.
TEST(LibraryStoreRows, InsertedRowsGoWhereAskedAndLeaveTheBlankRowAlone)
{
    TempDataDir data;
    LibraryStore store;
    const QUuid id = store.addSpreadsheet(store.addDay(QStringLiteral("Samedi")).id, QStringLiteral("T")).id;
    store.updateRow(id, onDisk(data).spreadsheet(id)->rows.first().id, QStringLiteral("0100"), QStringLiteral("12"));
    const QList<RowRecord> before = onDisk(data).spreadsheet(id)->rows;
    ASSERT_TRUE(before.last().isBlank());

    const QList<QUuid> made = store.insertRows(id, {{before.first().id, {QString("0050"), QString("7")}},
                                                    {QUuid(), {QString("0200"), QString("9")}},
                                                    {QUuid::createUuid(), {QString("0300"), std::nullopt}}});
    const QList<RowRecord> rows = onDisk(data).spreadsheet(id)->rows;
    QStringList shown;
    for (const RowRecord& r : rows) shown.push_back(r.photoNumber + u'=' + r.assignedNumber);
    EXPECT_EQ(shown, (QStringList{"0050=7", "0100=12", "0200=9", "0300=", "="}));
    ASSERT_EQ(made.size(), 3);
    EXPECT_EQ(made[1], rows[2].id);
    EXPECT_EQ(rows.last().id, before.last().id) << "the blank row stays the one being typed into";

    store.undo();
    EXPECT_EQ(onDisk(data).spreadsheet(id)->rows, before);
}

TEST(LibraryStoreSelection, WritesOnlyRealChangesAndAppearanceGoesToDefaults)
{
    TempDataDir data;
    LibraryStore store;
    QSignalSpy spy(&store, &LibraryStore::uiStateChanged);
    const QUuid day = QUuid::createUuid();
    store.updateUIState(day, std::nullopt);
    store.updateUIState(day, std::nullopt);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(uiOnDisk(data).selectedDayID, day);

    store.setAppearance(AppearancePreference::dark);
    UserDefaults::resetStandard();
    LibraryStore reopened;
    EXPECT_EQ(reopened.appearance(), AppearancePreference::dark);
    EXPECT_EQ(reopened.uiState().selectedDayID, day);
}

TEST(LibraryMerge, IncomingRowsWinAndNothingIsRemoved)
{
    const QUuid dayKept = QUuid::createUuid(), dayShared = QUuid::createUuid(), sheetID = QUuid::createUuid();
    const QUuid rowShared = QUuid::createUuid(), rowLocal = QUuid::createUuid(), rowIncoming = QUuid::createUuid();
    LibrarySnapshot local = LibrarySnapshot::empty();
    local.updatedAt = at(11);
    local.days = {{dayKept, "Gardé", at(7), 0}, {dayShared, "Ancien nom", at(7), 1}};
    local.spreadsheets = {{sheetID, dayShared, "Epreuve 1", at(8), at(10), true,
                           {{rowShared, "1", "10"}, {rowLocal, "5", "50"}, {QUuid::createUuid(), "", ""}}}};
    LibrarySnapshot incoming = LibrarySnapshot::empty();
    incoming.updatedAt = at(9);
    incoming.days = {{dayShared, "Nouveau nom", at(6), 4}};
    incoming.spreadsheets = {{sheetID, dayShared, "Epreuve 2", at(5), at(9), false,
                              {{rowIncoming, "3", "30"}, {rowShared, "1", "11"}, {QUuid::createUuid(), " ", ""}}}};

    const LibrarySnapshot result = LibraryStore::merged(local, incoming);
    EXPECT_EQ(result.days.size(), 2);
    EXPECT_EQ(result.day(dayShared)->name, "Nouveau nom") << "incoming days replace local ones";
    EXPECT_EQ(result.day(dayShared)->sortIndex, 4);
    const SpreadsheetRecord sheet = *result.spreadsheet(sheetID);
    EXPECT_EQ(sheet.title, "Epreuve 1") << "an older incoming title does not win";
    EXPECT_TRUE(sheet.isOpen);
    EXPECT_EQ(sheet.updatedAt, at(10));
    EXPECT_EQ(sheet.createdAt, at(8));
    ASSERT_EQ(sheet.rows.size(), 4);
    EXPECT_EQ(sheet.rows[0].id, rowIncoming);
    EXPECT_EQ(sheet.rows[1].assignedNumber, "11") << "incoming row content wins whatever the times";
    EXPECT_EQ(sheet.rows[2].id, rowLocal);
    EXPECT_TRUE(sheet.rows[3].isBlank());
    EXPECT_EQ(result.updatedAt, at(11));

    incoming.spreadsheets[0].updatedAt = at(12);
    const SpreadsheetRecord newer = *LibraryStore::merged(local, incoming).spreadsheet(sheetID);
    EXPECT_EQ(newer.title, "Epreuve 2");
    EXPECT_FALSE(newer.isOpen);
}

TEST(LibraryMerge, ReplaceFromRemoteKeepsFilledLibrariesAndNeverNotifies)
{
    TempDataDir data;
    LibraryStore store;
    int changes = 0;
    store.onChange = [&] { ++changes; };
    const DayRecord day = store.addDay(QStringLiteral("Samedi"));
    changes = 0;
    const QByteArray before = test::readFile(data.file("library.json"));
    store.replaceFromRemote(LibrarySnapshot::empty());
    EXPECT_EQ(test::readFile(data.file("library.json")), before) << "an empty phone never disturbs a filled desktop";

    store.deleteDay(day.id);
    changes = 0;
    LibrarySnapshot phone = LibrarySnapshot::empty();
    phone.days = {day};
    store.replaceFromRemote(phone);
    EXPECT_TRUE(onDisk(data).day(day.id)) << "a day deleted here comes back from a phone that has it";
    EXPECT_EQ(changes, 0);
}

TEST(LibraryThreeWayMerge, BothSidesChangesAreKeptRecordByRecord)
{
    const DayRecord samedi{QUuid::createUuid(), "Samedi", at(8), 0};
    const DayRecord dimanche{QUuid::createUuid(), "Dimanche", at(8), 1};
    const RowRecord r1{QUuid::createUuid(), "0001", "12"}, r2{QUuid::createUuid(), "0002", "13"};
    const RowRecord blank = RowRecord::blank();
    const SpreadsheetRecord gp{QUuid::createUuid(), samedi.id, "Grand Prix", at(8), at(8), true, {r1, r2, blank}};
    const SpreadsheetRecord club{QUuid::createUuid(), dimanche.id, "Club", at(8), at(8), true, {blank}};
    LibrarySnapshot base = LibrarySnapshot::empty();
    base.days = {samedi, dimanche};
    base.spreadsheets = {gp, club};

    // Here: row 1 retyped, a row added at the end, the Club spreadsheet removed.
    LibrarySnapshot ours = base;
    ours.spreadsheets[0].rows[0].photoNumber = "0101";
    ours.spreadsheets[0].rows[2] = {blank.id, "0003", "14"};
    ours.spreadsheets[0].rows.push_back(RowRecord::blank());
    ours.spreadsheets.removeAt(1);
    // There: row 2's number changed, the title changed, a row added at the end, a new day.
    LibrarySnapshot theirs = base;
    const DayRecord lundi{QUuid::createUuid(), "Lundi", at(9), 2};
    theirs.days.push_back(lundi);
    theirs.spreadsheets[0].title = "Grand Prix Pro";
    theirs.spreadsheets[0].rows[1].assignedNumber = "31";
    const RowRecord theirRow{QUuid::createUuid(), "0009", "40"};
    theirs.spreadsheets[0].rows.insert(2, theirRow);

    const LibrarySnapshot merged = LibraryStore::threeWayMerged(base, ours, theirs);
    QStringList days;
    for (const DayRecord& d : merged.days) days.push_back(d.name);
    EXPECT_EQ(days, (QStringList{"Samedi", "Dimanche", "Lundi"}));
    ASSERT_EQ(merged.spreadsheets.size(), 1) << "removed here and untouched there: removed";
    const SpreadsheetRecord& sheet = merged.spreadsheets.first();
    EXPECT_EQ(sheet.title, "Grand Prix Pro");
    QStringList rows;
    for (const RowRecord& r : sheet.rows) rows.push_back(r.photoNumber + '/' + r.assignedNumber);
    EXPECT_EQ(rows, (QStringList{"0101/12", "0002/31", "0009/40", "0003/14", "/"})) << rows.join(' ').toStdString();

    // A spreadsheet added to a day the other side removed brings the day back.
    LibrarySnapshot removedDay = base;
    removedDay.days.removeAt(1);
    removedDay.spreadsheets.removeAt(1);
    LibrarySnapshot addedSheet = base;
    addedSheet.spreadsheets.push_back({QUuid::createUuid(), dimanche.id, "Amateurs", at(9), at(9), true, {blank}});
    const LibrarySnapshot revived = LibraryStore::threeWayMerged(base, removedDay, addedSheet);
    ASSERT_EQ(revived.spreadsheets.size(), 2);
    EXPECT_EQ(revived.spreadsheets.last().title, "Amateurs");
    EXPECT_TRUE(revived.day(dimanche.id));
}

namespace {

// The blank row that ends each spreadsheet, whose identifier a merge draws anew, as one.
LibrarySnapshot withBlankEndsAlike(LibrarySnapshot library)
{
    for (SpreadsheetRecord& s : library.spreadsheets)
        if (!s.rows.isEmpty() && s.rows.last().isBlank()) s.rows.last().id = QUuid();
    return library;
}

RowRecord filled(int n) { return {QUuid::createUuid(), QString::number(1000 + n), QString::number(n % 90)}; }

} // namespace

// A season on the desktop and the phone's share of it, both edited since their last sync: the
// merge that looks only at the phone's spreadsheets gives the library the whole merge gives,
// and leaves every spreadsheet it gives back unchanged as it was, blank row included.
TEST(LibraryMerge, MergingIntoASeasonTouchesOnlyThePhonesSpreadsheets)
{
    LibrarySnapshot local = LibrarySnapshot::empty();
    local.updatedAt = at(10);
    for (int d = 0; d < 30; ++d) local.days.push_back({QUuid::createUuid(), QString("Jour %1").arg(d), at(7), d});
    for (int s = 0; s < 300; ++s) {
        SpreadsheetRecord sheet{QUuid::createUuid(), local.days[s % 30].id, QString("Épreuve %1").arg(s), at(8), at(9), true, {}};
        for (int r = 0; r < 6; ++r) sheet.rows.push_back(filled(s * 10 + r));
        sheet.rows.push_back(RowRecord::blank());
        local.spreadsheets.push_back(sheet);
    }
    // The phone holds 40 of them as last synced, and a day and a spreadsheet of its own.
    LibrarySnapshot phone = LibrarySnapshot::empty();
    phone.updatedAt = at(11);
    phone.days = {local.days[3], {QUuid::createUuid(), "Lundi", at(9), 31}};
    for (int s = 100; s < 140; ++s) {
        SpreadsheetRecord sheet = local.spreadsheets[s];
        sheet.rows.removeLast(); // a phone keeps no blank row
        phone.spreadsheets.push_back(sheet);
    }
    phone.spreadsheets.push_back({QUuid::createUuid(), phone.days[1].id, "Du téléphone", at(9), at(9), true, {filled(1)}});
    phone.days[0].name = "Renommé sur le téléphone";

    // Then each side edits: the phone retypes, adds, drops rows, renames later, moves a
    // spreadsheet and sends a blank row; the desktop retypes the same cells, adds its own rows,
    // renames later, deletes a spreadsheet the phone still has, and leaves a blank row inside.
    SpreadsheetRecord* p = phone.spreadsheets.data();
    p[0].rows[1].assignedNumber = "77";
    p[1].rows.push_back(filled(9001));
    p[2].rows.removeAt(2);
    p[3].title = "Plus récent";
    p[3].updatedAt = at(12);
    p[4].dayID = local.days[0].id;
    p[5].rows.insert(1, RowRecord::blank());
    p[6].rows.move(0, 3);
    SpreadsheetRecord* l = local.spreadsheets.data() + 100;
    l[0].rows[1].assignedNumber = "66";
    l[1].rows.insert(3, filled(9002));
    l[7].title = "Renommé ici";
    l[7].updatedAt = at(13);
    l[8].rows.insert(2, RowRecord::blank());
    l[9].rows.push_back(RowRecord::blank());
    local.spreadsheets.removeAt(110);

    const LibrarySnapshot whole = LibraryStore::merged(local, phone);
    LibrarySnapshot inPlace = local;
    QList<QUuid> touched;
    bool daysChanged = false;
    ASSERT_TRUE(LibraryStore::mergeInto(inPlace, phone, touched, daysChanged));
    EXPECT_EQ(withBlankEndsAlike(inPlace), withBlankEndsAlike(whole));
    EXPECT_TRUE(daysChanged);
    // Edited on either side, moved, brought back or new; the others stay as they were.
    EXPECT_EQ(touched.size(), 10);
    for (const SpreadsheetRecord& s : inPlace.spreadsheets) {
        if (!touched.contains(s.id)) {
            EXPECT_EQ(s, *local.spreadsheet(s.id)) << s.title.toStdString();
        }
    }

    // Sent again, the phone's own spreadsheet gets its blank row and trailing blank rows become
    // one; the third time nothing is left to change.
    LibrarySnapshot again = inPlace;
    LibraryStore::mergeInto(again, phone, touched, daysChanged);
    EXPECT_EQ(withBlankEndsAlike(again), withBlankEndsAlike(LibraryStore::merged(inPlace, phone)));
    const LibrarySnapshot settled = again;
    touched.clear();
    EXPECT_FALSE(LibraryStore::mergeInto(again, phone, touched, daysChanged));
    EXPECT_EQ(again, settled);
    EXPECT_TRUE(touched.isEmpty());
}
