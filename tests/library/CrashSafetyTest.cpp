#include "TestSupport.h"
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
