#include "TestSupport.h"
#include "library/LibraryJournal.h"
#include "library/LibraryStore.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace tavrin;
using tavrin::test::TempDataDir;

namespace {

// A window's store: it follows the folder and journals whatever the size of the file.
struct JournalingStore {
    JournalingStore()
    {
        LibraryStore::setJournalFromSize(0);
        store.followDiskChanges();
    }
    ~JournalingStore() { LibraryStore::setJournalFromSize(256 * 1024); }
    LibraryStore store;
};

LibrarySnapshot fileOnDisk(const TempDataDir& data) { return decodeLibrary(test::readFile(data.file("library.json"))); }

bool waitUntil(const std::function<bool()>& condition)
{
    QDeadlineTimer deadline(10000);
    while (!condition() && !deadline.hasExpired()) QTest::qWait(20);
    return condition();
}

// The library as another program reads it: the file, then the journal's lines.
LibrarySnapshot readBack() { return LibraryStore().snapshot(); }

} // namespace

// Every kind of edit goes to the journal, not the file; read back it is the library in memory;
// compacted, the file holds exactly what a whole write would have.
TEST(LibraryJournal, EditsJournalledReadBackAndCompactedAsAWholeWrite)
{
    TempDataDir data;
    JournalingStore window;
    LibraryStore& store = window.store;
    const DayRecord day = store.addDay(QStringLiteral("Samedi"));
    const SpreadsheetRecord first = store.addSpreadsheet(day.id, QStringLiteral("Grand Prix"));
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(store.journalPath()); }));
    const QByteArray compactedOnce = test::readFile(data.file("library.json"));

    const SpreadsheetRecord second = store.addSpreadsheet(day.id, QStringLiteral("Amateurs"));
    store.updateRow(first.id, first.rows.first().id, QStringLiteral("0042"), QStringLiteral("17"));
    store.insertRows(first.id, {{QUuid(), {QStringLiteral("0043"), QStringLiteral("18")}}});
    store.renameSpreadsheet(second.id, QStringLiteral("Pros"));
    store.renameDay(day.id, QStringLiteral("Dimanche"));
    store.deleteSpreadsheet(second.id);
    ASSERT_TRUE(store.undo()); // the deletion, back through a line of its own
    store.updateRow(first.id, first.rows.first().id, QStringLiteral("0044"), std::nullopt);
    ASSERT_TRUE(store.undo());

    ASSERT_TRUE(QFile::exists(store.journalPath()));
    EXPECT_EQ(test::readFile(data.file("library.json")), compactedOnce) << "edits append, they do not rewrite";
    EXPECT_EQ(readBack(), store.snapshot());
    EXPECT_EQ(readBack().spreadsheet(second.id)->title, "Pros");
    EXPECT_EQ(readBack().spreadsheet(first.id)->rows.first().photoNumber, "0042");

    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(store.journalPath()); })) << "compacted within a second";
    EXPECT_EQ(test::readFile(data.file("library.json")), encodeLibrary(store.snapshot()));
    EXPECT_FALSE(QFile::exists(data.file("library.json.compacting")));
    // A line that would misplace spreadsheets is not written: the whole file is.
    LibrarySnapshot reordered = store.snapshot();
    std::swap(reordered.spreadsheets[0], reordered.spreadsheets[1]);
    bool expressible = true;
    EXPECT_TRUE(LibraryJournal::line(store.snapshot(), reordered, &expressible).isEmpty());
    EXPECT_FALSE(expressible);
}

// A crash mid-append leaves a torn last line: it is skipped, what came before and after stays.
TEST(LibraryJournal, TornLineIsSkippedAndTheNextAppendStartsAfreshLine)
{
    TempDataDir data;
    QUuid sheetID;
    QUuid rowID;
    {
        JournalingStore window;
        LibraryStore& store = window.store;
        const SpreadsheetRecord sheet = store.addSpreadsheet(store.addDay(QStringLiteral("Samedi")).id, QStringLiteral("T"));
        ASSERT_TRUE(waitUntil([&] { return !QFile::exists(store.journalPath()); }));
        sheetID = sheet.id;
        rowID = sheet.rows.first().id;
        store.updateRow(sheetID, rowID, QStringLiteral("0001"), QStringLiteral("1"));
        const QByteArray journal = test::readFile(store.journalPath());
        ASSERT_TRUE(journal.endsWith('\n'));
        // Half of a later line, as a kill in the middle of write() leaves it.
        LibraryJournal::append(store.journalPath(), journal.left(journal.size() / 2));
        test::writeFile(store.journalPath(), test::readFile(store.journalPath()).chopped(1));
    }
    EXPECT_EQ(readBack().spreadsheet(sheetID)->rows.first().photoNumber, "0001");
    JournalingStore window;
    window.store.updateRow(sheetID, rowID, QStringLiteral("0002"), std::nullopt);
    EXPECT_EQ(readBack().spreadsheet(sheetID)->rows.first().photoNumber, "0002");
    EXPECT_EQ(fileOnDisk(data).spreadsheet(sheetID)->rows.first().photoNumber, "0002")
        << "a journal found at start is folded into the file by the first write";
}

// Another program's writes while the journal holds edits: a file written by a program that
// knows nothing of the journal, and a command line that folds the journal in.
TEST(LibraryJournal, OthersWritesAreTakenInWithTheJournalledEdits)
{
    TempDataDir data;
    JournalingStore window;
    LibraryStore& store = window.store;
    const SpreadsheetRecord sheet = store.addSpreadsheet(store.addDay(QStringLiteral("Samedi")).id, QStringLiteral("T"));
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(store.journalPath()); }));
    store.updateRow(sheet.id, sheet.rows.first().id, QStringLiteral("0042"), QStringLiteral("17"));
    ASSERT_TRUE(QFile::exists(store.journalPath()));

    // A foreign program adds a day to the file as it finds it.
    LibrarySnapshot theirs = fileOnDisk(data);
    const DayRecord foreign{QUuid::createUuid(), QStringLiteral("Lundi"), theirs.updatedAt, 5};
    theirs.days.push_back(foreign);
    test::writeFile(data.file("library.json"), encodeLibrary(theirs));
    EXPECT_TRUE(store.reloadIfChanged());
    EXPECT_TRUE(store.snapshot().day(foreign.id));
    EXPECT_EQ(store.snapshot().spreadsheet(sheet.id)->rows.first().photoNumber, "0042");
    EXPECT_FALSE(QFile::exists(store.journalPath()));
    EXPECT_EQ(fileOnDisk(data), store.snapshot());

    // The command line writes while the window's last edit is only in the journal.
    store.updateRow(sheet.id, sheet.rows.first().id, std::nullopt, QStringLiteral("18"));
    {
        LibraryStore cli;
        cli.addDay(QStringLiteral("Mardi"));
    }
    EXPECT_FALSE(QFile::exists(store.journalPath())) << "the whole write folds the journal in";
    EXPECT_EQ(fileOnDisk(data).spreadsheet(sheet.id)->rows.first().assignedNumber, "18");
    EXPECT_TRUE(store.reloadIfChanged());
    EXPECT_EQ(store.snapshot().days.size(), 3);
    // Undo still reaches the window's edit after the merge.
    ASSERT_TRUE(store.undo());
    EXPECT_EQ(readBack().spreadsheet(sheet.id)->rows.first().assignedNumber, "17");
    EXPECT_EQ(readBack().days.size(), 3);
}

// A phone's library merged into the window's: what changed goes to the journal, read back and
// folded it is what a whole write gives, and the same library sent again writes nothing at all.
TEST(LibraryJournal, PhoneLibraryJournalsWhatChangedAndNothingWhenUnchanged)
{
    TempDataDir data;
    JournalingStore window;
    LibraryStore& store = window.store;
    const DayRecord day = store.addDay(QStringLiteral("Samedi"));
    QList<SpreadsheetRecord> sheets;
    for (int s = 0; s < 20; ++s) {
        sheets.push_back(store.addSpreadsheet(day.id, QStringLiteral("Épreuve %1").arg(s)));
        store.updateRow(sheets[s].id, sheets[s].rows.first().id, QString::number(100 + s), QStringLiteral("1"));
    }
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(store.journalPath()); }));
    LibrarySnapshot phone = store.snapshot();
    const QByteArray file = test::readFile(data.file("library.json"));
    QSignalSpy changes(&store, &LibraryStore::snapshotChanged);

    store.replaceFromRemote(phone);
    EXPECT_FALSE(QFile::exists(store.journalPath()));
    EXPECT_EQ(test::readFile(data.file("library.json")), file);
    EXPECT_EQ(changes.count(), 0) << "nothing to show again either";

    SpreadsheetRecord& typed = phone.spreadsheets[7];
    typed.rows.first().assignedNumber = QStringLiteral("42");
    store.replaceFromRemote(phone);
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.first().first().toUuid(), typed.id) << "the one spreadsheet changed is named";
    ASSERT_TRUE(QFile::exists(store.journalPath()));
    EXPECT_EQ(test::readFile(data.file("library.json")), file) << "appended, not rewritten";
    EXPECT_EQ(readBack(), store.snapshot());
    EXPECT_EQ(store.snapshot().spreadsheet(typed.id)->rows.first().assignedNumber, "42");
    ASSERT_TRUE(waitUntil([&] { return !QFile::exists(store.journalPath()); }));
    EXPECT_EQ(test::readFile(data.file("library.json")), encodeLibrary(store.snapshot()));
}
