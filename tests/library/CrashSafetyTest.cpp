#include "TestSupport.h"
#include "library/LibraryJournal.h"
#include "library/LibrarySnapshot.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

using namespace tavrin;

// A writer killed at any moment leaves a library.json that decodes: the old or the new library.
TEST(LibraryCrashSafety, SigkillDuringRewritesNeverLeavesAnUndecodableFile)
{
    QTemporaryDir dir;
    const QString libraryPath = dir.filePath("library.json");
    {
        LibrarySnapshot start = LibrarySnapshot::empty();
        const DayRecord day{QUuid::createUuid(), "Samedi", start.updatedAt, 0};
        SpreadsheetRecord sheet{QUuid::createUuid(), day.id, "Grand Prix", start.updatedAt, start.updatedAt, true, {}};
        for (int i = 0; i < 2000; ++i) sheet.rows.push_back(RowRecord::blank());
        start.days = {day};
        start.spreadsheets = {sheet};
        test::writeFile(libraryPath, encodeLibrary(start));
    }
    const QByteArray initial = test::readFile(libraryPath);
    auto* rng = QRandomGenerator::global();
    int rewritten = 0;
    for (int round = 0; round < 60; ++round) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVRIN_DATA_DIR", dir.path());
        child.setProcessEnvironment(env);
        child.start(test::binDir() + "/library_rewriter", {});
        ASSERT_TRUE(child.waitForStarted());
        QThread::usleep(rng->bounded(20000, 120000));
        child.kill(); // SIGKILL
        child.waitForFinished();
        ASSERT_TRUE(QFile::exists(libraryPath)) << "round " << round;
        const QByteArray data = test::readFile(libraryPath);
        LibrarySnapshot snapshot;
        ASSERT_NO_THROW(snapshot = decodeLibrary(data)) << "round " << round;
        ASSERT_EQ(snapshot.spreadsheets.size(), 1);
        ASSERT_GE(snapshot.spreadsheets.first().rows.size(), 2000);
        if (data != initial) ++rewritten;
    }
    EXPECT_GT(rewritten, 50) << "the writer was killed before it wrote anything";
}

// A window killed while appending to the journal: every edit it saved is read back, a torn last
// line is not, and the next writer folds what is left into the file.
TEST(LibraryCrashSafety, SigkillDuringJournalAppendsLosesNoSavedEdit)
{
    QTemporaryDir dir;
    {
        LibrarySnapshot start = LibrarySnapshot::empty();
        const DayRecord day{QUuid::createUuid(), "Samedi", start.updatedAt, 0};
        SpreadsheetRecord sheet{QUuid::createUuid(), day.id, "Grand Prix", start.updatedAt, start.updatedAt, true, {}};
        for (int i = 0; i < 20; ++i) sheet.rows.push_back(RowRecord{QUuid::createUuid(), "0", "0"});
        start.days = {day};
        start.spreadsheets = {sheet};
        test::writeFile(dir.filePath("library.json"), encodeLibrary(start));
    }
    auto* rng = QRandomGenerator::global();
    int journalled = 0;
    for (int round = 0; round < 30; ++round) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TAVRIN_DATA_DIR", dir.path());
        child.setProcessEnvironment(env);
        child.start(test::binDir() + "/library_rewriter", {"journal"});
        ASSERT_TRUE(child.waitForStarted());
        // Killed at a random moment once it has begun saving: how long it takes to start (much
        // longer under the sanitizers, or on a loaded machine) must not decide what is tested.
        ASSERT_TRUE(child.waitForReadyRead(30000)) << "round " << round;
        QThread::usleep(rng->bounded(0, 120000));
        child.kill();
        child.waitForFinished();
        const QList<QByteArray> saved = child.readAllStandardOutput().split('\n');
        if (saved.size() < 2) continue; // killed before its first edit was saved
        const qint64 last = saved[saved.size() - 2].toLongLong();
        if (QFile::exists(dir.filePath("library.journal"))) ++journalled;

        // Read back as the next program does: the file, then the journal.
        LibrarySnapshot library = decodeLibrary(test::readFile(dir.filePath("library.json")));
        LibraryJournal::apply(library, test::readFile(dir.filePath("library.journal")));
        const QList<RowRecord> rows = library.spreadsheets.first().rows;
        ASSERT_GE(rows.size(), 20);
        for (const RowRecord& row : rows) {
            if (row.isBlank()) continue;
            ASSERT_EQ(row.assignedNumber.toLongLong(), row.photoNumber.toLongLong() * 7) << "round " << round;
        }
        EXPECT_GE(rows[last % 20].photoNumber.toLongLong(), last) << "round " << round << ": a saved edit was lost";
    }
    EXPECT_GT(journalled, 20) << "the writer was killed before it journalled anything";
}
