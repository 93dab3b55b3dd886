#include "TestSupport.h"
#include "base/DataFileNotices.h"
#include "base/TavrinJSON.h"
#include "library/LibraryStore.h"
#include "library/TavrinTransferPackage.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace tavrin;

namespace {

QStringList dayNames(const LibrarySnapshot& library)
{
    QStringList names;
    for (const DayRecord& d : library.days) names.push_back(d.name);
    names.sort();
    return names;
}

QStringList dayNamesOnDisk(const QString& dataDir)
{
    return dayNames(decodeLibrary(test::readFile(dataDir + "/library.json")));
}

// A library as a phone would send it: one day with one spreadsheet of one row.
LibrarySnapshot phoneLibrary(const QString& dayName)
{
    LibrarySnapshot library = LibrarySnapshot::empty();
    const DayRecord day{QUuid::createUuid(), dayName, library.updatedAt, 0};
    library.days = {day};
    library.spreadsheets = {{QUuid::createUuid(), day.id, "Épreuve " + dayName, library.updatedAt, library.updatedAt, true,
                             {RowRecord{QUuid::createUuid(), "0042", "17"}, RowRecord::blank()}}};
    return library;
}

std::unique_ptr<QProcess> startCli(const QString& dataDir, const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    process->start(test::binDir() + "/tavrin-cli", QStringList{"--data-dir", dataDir} + arguments);
    return process;
}

template <typename F>
bool eventually(F&& condition)
{
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (condition()) return true;
        QTest::qWait(20);
    }
    return condition();
}

} // namespace

TEST(ConcurrentWriters, EightSimultaneousLibraryMergesKeepAllEightDays)
{
    const QStringList days{"Lundi", "Mardi", "Mercredi", "Jeudi", "Vendredi", "Samedi", "Dimanche", "Lendemain"};
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir data, inputs;
        std::vector<std::unique_ptr<QProcess>> writers;
        for (const QString& day : days) {
            const QString path = inputs.filePath(day + ".json");
            test::writeFile(path, encodeLibrary(phoneLibrary(day)));
            writers.push_back(startCli(data.path(), {"library", "merge", path}));
        }
        for (auto& writer : writers) {
            ASSERT_TRUE(writer->waitForFinished(60000));
            EXPECT_EQ(writer->exitCode(), 0) << writer->readAllStandardError().constData();
        }
        QStringList expected = days;
        expected.sort();
        EXPECT_EQ(dayNamesOnDisk(data.path()), expected) << "round " << round;
    }
}

TEST(ConcurrentWriters, TheWindowsStoreAndACommandLineImportKeepBothAndTheWindowFollows)
{
    test::TempDataDir data;
    QTemporaryDir downloads;
    LibraryStore window;
    window.followDiskChanges();
    window.addDay("Samedi");
    // A second store of the same folder that never looks at the disk between its writes.
    LibraryStore stale;

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const DayRecord dimanche{QUuid::createUuid(), "Dimanche", now, 0};
    const QString package = downloads.filePath("Dimanche.tavrin");
    test::writeFile(package, encodeTransferPackage({1, TavrinTransferPackage::Kind::day, dimanche,
                                                    {{QUuid::createUuid(), dimanche.id, "Club", now, now, true, {RowRecord::blank()}}}}));
    auto import = startCli(data.path(), {"library", "import", package});
    ASSERT_TRUE(import->waitForFinished(60000));
    ASSERT_EQ(import->exitCode(), 0) << import->readAllStandardError().constData();

    EXPECT_TRUE(eventually([&] { return window.snapshot().day(dimanche.id).has_value(); }))
        << "the window shows what the command line imported";
    stale.addDay("Mardi");
    window.addDay("Lundi");
    EXPECT_EQ(dayNamesOnDisk(data.path()), (QStringList{"Dimanche", "Lundi", "Mardi", "Samedi"}));
    EXPECT_EQ(dayNames(window.snapshot()), (QStringList{"Dimanche", "Lundi", "Mardi", "Samedi"}));
}

TEST(ConcurrentWriters, TheCommandLineTellsOnceOnStandardErrorWhichFileWasSetAside)
{
    QTemporaryDir data, inputs;
    test::writeFile(data.filePath("library.json"), "{\"days\": [");
    const QString incoming = inputs.filePath("phone.json");
    test::writeFile(incoming, encodeLibrary(phoneLibrary("Samedi")));
    auto merge = startCli(data.path(), {"library", "merge", incoming});
    ASSERT_TRUE(merge->waitForFinished(60000));
    EXPECT_EQ(merge->exitCode(), 0);
    const QString error = QString::fromUtf8(merge->readAllStandardError());
    const QStringList aside = QDir(data.path()).entryList({"library.json.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(test::readFile(data.filePath(aside.first())), "{\"days\": [");
    EXPECT_EQ(error.count("était illisible"), 1) << error.toStdString();
    EXPECT_TRUE(error.contains("«\u00a0library.json\u00a0»")) << error.toStdString();
    EXPECT_TRUE(error.contains(aside.first()) && error.contains(data.path())) << error.toStdString();
    EXPECT_EQ(dayNamesOnDisk(data.path()), QStringList{"Samedi"});

    // A malformed incoming library is refused in French only.
    test::writeFile(incoming, "{\"days\": nope}");
    auto refused = startCli(data.path(), {"library", "merge", incoming});
    ASSERT_TRUE(refused->waitForFinished(60000));
    EXPECT_EQ(refused->exitCode(), 1);
    const QString refusal = QString::fromUtf8(refused->readAllStandardError()).trimmed();
    EXPECT_TRUE(refusal.startsWith("Bibliothèque illisible : JSON invalide : valeur non valide (octet ")) << refusal.toStdString();
}

// `library add-rows` reads the one spreadsheet through the index and appends to the journal;
// `library fold` (started by it) or the window folds the journal into the file.
TEST(ConcurrentWriters, AddRowsGoesThroughTheJournalAndIsFoldedIntoTheFile)
{
    test::TempDataDir data;
    QUuid sheet;
    {
        LibraryStore seed;
        sheet = seed.addSpreadsheet(seed.addDay("Samedi").id, "Grand Prix").id;
    }
    ASSERT_TRUE(QFile::exists(data.file("library.index")));
    const QByteArray before = test::readFile(data.file("library.json"));
    const auto addRows = [&](const QString& name, const QByteArray& lines) {
        auto cli = startCli(data.path(), {"library", "add-rows", "--spreadsheet", name});
        cli->write(lines);
        cli->closeWriteChannel();
        EXPECT_TRUE(cli->waitForFinished(60000));
        return cli;
    };
    const auto filledOnDisk = [&] { return decodeLibrary(test::readFile(data.file("library.json"))).spreadsheet(sheet)->filledRowCount(); };

    // A folder already waiting (this test) keeps the rows in the journal.
    const int waiting = ::open(QFile::encodeName(data.file("library.folding")).constData(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(::flock(waiting, LOCK_EX), 0);
    auto added = addRows("Grand Prix", "0042\t17\n0043\t18\n");
    EXPECT_EQ(added->exitCode(), 0) << added->readAllStandardError().constData();
    EXPECT_EQ(added->readAllStandardOutput().count('\n'), 2);
    EXPECT_EQ(test::readFile(data.file("library.json")), before);
    EXPECT_EQ(LibraryStore().snapshot().spreadsheet(sheet)->filledRowCount(), 2) << "read back with the journal";
    auto unknown = addRows("Inconnu", "1\t2\n");
    EXPECT_EQ(unknown->exitCode(), 1);
    EXPECT_TRUE(QString::fromUtf8(unknown->readAllStandardError()).contains("Tableur introuvable : Inconnu"));
    ::flock(waiting, LOCK_UN);
    ::close(waiting);
    auto fold = startCli(data.path(), {"library", "fold"});
    ASSERT_TRUE(fold->waitForFinished(60000));
    EXPECT_FALSE(QFile::exists(data.file("library.journal")));
    EXPECT_EQ(filledOnDisk(), 2);

    // With the window open: it shows the rows at once and the file follows.
    LibraryStore window;
    window.followDiskChanges();
    added = addRows(TavrinJSON::uuidString(sheet).toLower(), "0044\t19\n");
    EXPECT_EQ(added->exitCode(), 0) << added->readAllStandardError().constData();
    EXPECT_TRUE(eventually([&] { return window.snapshot().spreadsheet(sheet)->filledRowCount() == 3; }));
    EXPECT_TRUE(eventually([&] { return !QFile::exists(data.file("library.journal")) && filledOnDisk() == 3; }));
}
