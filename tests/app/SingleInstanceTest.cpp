#include "TestSupport.h"
#include "app/SingleInstance.h"
#include "library/LibrarySnapshot.h"
#include "library/TavrinTransferPackage.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QSignalSpy>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <sys/file.h>
#include <unistd.h>

using namespace tavrin;

namespace {

QString writeDayPackage(const QTemporaryDir& dir, const QString& dayName)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const DayRecord day{QUuid::createUuid(), dayName, now, 0};
    const SpreadsheetRecord sheet{QUuid::createUuid(), day.id, "Épreuve 1", now, now, true,
                                  {RowRecord{QUuid::createUuid(), "0042", "17"}}};
    const QString path = dir.filePath(dayName + ".tavrin");
    test::writeFile(path, encodeTransferPackage({1, TavrinTransferPackage::Kind::day, day, {sheet}}));
    return path;
}

bool libraryHasDay(const QString& dataDir, const QString& dayName)
{
    QFile file(dataDir + "/library.json");
    if (!file.open(QIODevice::ReadOnly)) return false;
    try {
        for (const DayRecord& d : decodeLibrary(file.readAll()).days)
            if (d.name == dayName) return true;
    } catch (const std::exception&) {
    }
    return false;
}

// Waits for a condition the running program fulfils on its own time.
template <typename F>
bool eventually(F&& condition)
{
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (condition()) return true;
        QTest::qWait(50);
    }
    return condition();
}

class Tavrin {
public:
    Tavrin(const QString& dataDir, const QStringList& files = {})
    {
        m_process.setProgram(test::binDir() + "/tavrin");
        m_process.setArguments(QStringList{"--data-dir", dataDir} + files);
        m_process.start();
    }
    ~Tavrin()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished();
        }
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

} // namespace

TEST(SingleInstance, LaterLaunchesHandTheirFilesToTheRunningWindow)
{
    QTemporaryDir data, downloads;
    SingleInstance probe(data.path());

    auto first = std::make_unique<Tavrin>(data.path());
    ASSERT_TRUE(eventually([&] { return probe.handOver({}) == SingleInstance::HandOver::accepted; }));

    Tavrin second(data.path(), {writeDayPackage(downloads, "Samedi 14 juin")});
    ASSERT_TRUE(second.process().waitForFinished(20000));
    EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process().exitCode(), 0) << "the second launch only hands its file over";
    EXPECT_TRUE(eventually([&] { return libraryHasDay(data.path(), "Samedi 14 juin"); }))
        << "the running instance imports the file";
    EXPECT_EQ(first->process().state(), QProcess::Running);

    // A crashed instance leaves its socket behind; the next launch takes over and imports its
    // own file.
    first->process().kill();
    first->process().waitForFinished();
    first.reset();
    Tavrin third(data.path(), {writeDayPackage(downloads, "Dimanche 15 juin")});
    EXPECT_TRUE(eventually([&] { return libraryHasDay(data.path(), "Dimanche 15 juin"); }));
    EXPECT_EQ(third.process().state(), QProcess::Running);
    EXPECT_TRUE(eventually([&] { return probe.handOver({}) == SingleInstance::HandOver::accepted; }));
}

TEST(SingleInstance, HandsOverAnyFileNameAndNoticesAnInstanceThatDoesNotAnswer)
{
    QTemporaryDir data;
    SingleInstance running(data.path());
    ASSERT_TRUE(running.listen());
    QSignalSpy received(&running, &SingleInstance::filesReceived);
    const QStringList odd{"/tmp/Épreuve « 1 ».tavrin", "/tmp/deux\nlignes.tavrin", "/tmp/a b\"c.TAVRIN"};
    // The later launch blocks while it waits for the answer, as a second process would.
    auto later = std::async(std::launch::async, [&] { return SingleInstance(data.path()).handOver(odd); });
    while (later.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(10);
    EXPECT_EQ(later.get(), SingleInstance::HandOver::accepted);
    ASSERT_EQ(received.count(), 1);
    EXPECT_EQ(received[0][0].toStringList(), odd);

    QTemporaryDir hung;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(SingleInstance::serverName(hung.path())));
    EXPECT_EQ(SingleInstance(hung.path()).handOver({}, 200), SingleInstance::HandOver::noAnswer);
    EXPECT_NE(SingleInstance::serverName(hung.path()), SingleInstance::serverName(data.path()))
        << "each data folder has its own instance";
}

TEST(SingleInstance, ALaunchWaitsForAnInstanceStillStartingAndNeverTakesItsPlace)
{
    QTemporaryDir data;
    // An instance that holds the launch lock but does not listen yet, as one just starting.
    const QByteArray lockPath = QFile::encodeName(SingleInstance::serverName(data.path()) + ".lock");
    const int starting = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(starting, 0);
    ASSERT_EQ(::flock(starting, LOCK_EX), 0);

    auto later = std::async(std::launch::async, [&] { return SingleInstance(data.path()).launch({"/tmp/Samedi.tavrin"}); });
    QTest::qWait(300);
    EXPECT_NE(later.wait_for(std::chrono::milliseconds(0)), std::future_status::ready)
        << "the later launch neither listens in its place nor gives up";
    {
        SingleInstance running(data.path());
        ASSERT_TRUE(running.listen());
        QSignalSpy received(&running, &SingleInstance::filesReceived);
        while (later.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(10);
        EXPECT_EQ(later.get(), SingleInstance::Launch::handedOver);
        ASSERT_EQ(received.count(), 1);
        EXPECT_EQ(received[0][0].toStringList(), QStringList{"/tmp/Samedi.tavrin"});
    }
    ::close(starting);

    // Nobody holds the lock and nobody listens: the launch is the instance.
    SingleInstance first(data.path());
    EXPECT_EQ(first.launch({}), SingleInstance::Launch::running);
    auto second = std::async(std::launch::async, [&] { return SingleInstance(data.path()).launch({}); });
    while (second.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) QTest::qWait(10);
    EXPECT_EQ(second.get(), SingleInstance::Launch::handedOver);
}

TEST(SingleInstance, LaunchesAtTheSameInstantGiveOneWindowEveryTime)
{
    const QStringList days{"Vendredi", "Samedi", "Dimanche", "Lundi"};
    for (int round = 0; round < 3; ++round) {
        QTemporaryDir data, downloads;
        std::vector<std::unique_ptr<Tavrin>> launches;
        QStringList files;
        for (const QString& day : days) files.push_back(writeDayPackage(downloads, day));
        for (const QString& file : files) launches.push_back(std::make_unique<Tavrin>(data.path(), QStringList{file}));
        const auto finished = [&] {
            return std::count_if(launches.begin(), launches.end(),
                                 [](const auto& t) { return t->process().state() == QProcess::NotRunning; });
        };
        ASSERT_TRUE(eventually([&] { return finished() == qsizetype(days.size()) - 1; })) << "round " << round;
        for (const auto& t : launches) {
            if (t->process().state() == QProcess::NotRunning) {
                EXPECT_EQ(t->process().exitCode(), 0) << t->process().readAllStandardError().constData();
            }
        }
        for (const QString& day : days)
            EXPECT_TRUE(eventually([&] { return libraryHasDay(data.path(), day); })) << day.toStdString() << ", round " << round;
        EXPECT_EQ(finished(), qsizetype(days.size()) - 1) << "one window stays, round " << round;
    }
}

TEST(SingleInstance, WrongArgumentsAreRefusedInFrench)
{
    QTemporaryDir data;
    for (const QStringList& arguments : {QStringList{"--bogus"}, QStringList{"--data-dir"}}) {
        QProcess tavrin;
        tavrin.start(test::binDir() + "/tavrin", arguments);
        ASSERT_TRUE(tavrin.waitForFinished(20000));
        EXPECT_EQ(tavrin.exitCode(), 2) << arguments.join(' ').toStdString();
        const QString error = QString::fromUtf8(tavrin.readAllStandardError());
        EXPECT_TRUE(error.startsWith("Option inconnue : --bogus") || error.startsWith("L’option --data-dir attend un dossier."))
            << error.toStdString();
    }
}
