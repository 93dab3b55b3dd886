#include "base/BackgroundJobs.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace tavrin;

namespace {

bool spinUntil(const std::function<bool()>& condition, int ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return condition();
}

} // namespace

TEST(BackgroundJobs, OnlyTheNewestJobOfAKeyDeliversAndOnTheOwnersThread)
{
    BackgroundJobs jobs(nullptr, 2);
    QSemaphore release;
    QList<int> delivered;
    bool onOwnerThread = true;
    std::atomic_bool olderSawCurrent = false; // it may also be skipped before it starts
    jobs.run(QStringLiteral("photo"), [&](const JobContext& job) {
        release.acquire();
        olderSawCurrent = !job.isStale();
        return 1;
    }, [&](int value) { delivered << value; });
    jobs.run(QStringLiteral("photo"), [](const JobContext&) { return 2; }, [&](int value) {
        onOwnerThread = QThread::currentThread() == qApp->thread();
        delivered << value;
    });
    // Another key is not affected by the photo's jobs.
    jobs.run(QStringLiteral("other"), [](const JobContext&) { return 3; }, [&](int value) { delivered << value; });
    release.release();
    ASSERT_TRUE(spinUntil([&] { return jobs.pendingCount() == 0; }));
    std::sort(delivered.begin(), delivered.end());
    EXPECT_EQ(delivered, (QList<int>{2, 3}));
    EXPECT_FALSE(olderSawCurrent);
    EXPECT_TRUE(onOwnerThread);
}

TEST(BackgroundJobs, CancelDropsTheResultAndPostedProgressButKeepsCounting)
{
    BackgroundJobs jobs;
    QSemaphore started, release;
    int progress = 0, results = 0, idles = 0;
    QObject::connect(&jobs, &BackgroundJobs::idle, [&] { ++idles; });
    const quint64 generation = jobs.run(QStringLiteral("batch"), [&](const JobContext& job) {
        job.post([&] { ++progress; });
        started.release();
        release.acquire();
        job.post([&] { ++progress; });
        return job.isStale();
    }, [&](bool) { ++results; });
    started.acquire();
    ASSERT_TRUE(spinUntil([&] { return progress == 1; }));
    EXPECT_TRUE(jobs.isCurrent(QStringLiteral("batch"), generation));
    jobs.cancel(QStringLiteral("batch"));
    EXPECT_FALSE(jobs.isCurrent(QStringLiteral("batch"), generation));
    release.release();
    ASSERT_TRUE(spinUntil([&] { return idles == 1; }));
    EXPECT_EQ(progress, 1);
    EXPECT_EQ(results, 0);
    // A job started after the cancel runs normally under the same key.
    jobs.run(QStringLiteral("batch"), [](const JobContext&) {}, [&] { ++results; });
    ASSERT_TRUE(spinUntil([&] { return results == 1; }));
}

TEST(BackgroundJobs, LowPriorityThreadsAreNicedAndAThrowingJobDoesNotEndTheProgram)
{
    BackgroundJobs low(nullptr, 1, BackgroundJobs::Priority::low);
    int nice = 0;
    low.run(QString(), [](const JobContext&) {
        errno = 0;
        return getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    }, [&](int value) { nice = value; });
    bool delivered = false;
    low.run(QString(), [](const JobContext&) -> int { throw std::runtime_error("disk gone"); }, [&](int) { delivered = true; });
    ASSERT_TRUE(spinUntil([&] { return low.pendingCount() == 0; }));
    EXPECT_GE(nice, 10);
    EXPECT_FALSE(delivered);
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), 0); // the owner's thread keeps its priority
}

TEST(BackgroundJobs, DestroyingTheManagerWaitsForRunningJobsAndDeliversNothing)
{
    std::atomic_bool sawStale = false;
    bool delivered = false;
    {
        BackgroundJobs jobs;
        QSemaphore started;
        jobs.run(QStringLiteral("k"), [&](const JobContext& job) {
            started.release();
            while (!job.isStale()) QThread::msleep(1);
            sawStale = true;
        }, [&] { delivered = true; });
        started.acquire();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(sawStale);
    EXPECT_FALSE(delivered);
}

TEST(BackgroundJobs, WaitForDeliversTheKeysResultAtOnceAndProgressIsThinnedButEndsOnTheLast)
{
    BackgroundJobs jobs(nullptr, 2);
    QList<int> reported;
    int result = 0;
    jobs.run(QStringLiteral("copy"), [&](const JobContext& job) {
        // A burst far faster than 25 a second: the first and the final one come through, little else.
        for (int i = 1; i <= 1000; ++i) job.postProgress([&reported, i] { reported << i; }, i == 1000);
        QThread::msleep(50);
        return 7;
    }, [&](int value) { result = value; });
    jobs.waitFor(QStringLiteral("copy"));
    // No event loop ran: waitFor delivered the progress and the result itself.
    EXPECT_EQ(result, 7);
    ASSERT_FALSE(reported.isEmpty());
    EXPECT_EQ(reported.first(), 1);
    EXPECT_EQ(reported.last(), 1000);
    EXPECT_LT(reported.size(), 20); // a slow machine may let one more through now and then
    EXPECT_EQ(jobs.pendingCount(), 0);
    jobs.waitFor(QStringLiteral("unknown")); // returns at once
}
