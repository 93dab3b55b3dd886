#pragma once

#include <QHash>
#include <QObject>
#include <QRunnable>
#include <QScopeGuard>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace tavrin {

// Background threads that must leave the cores to the window are niced; Linux does it per thread,
// and a niced thread cannot be raised again, so only threads dedicated to such work are lowered.
void lowerCurrentThreadPriority();
bool currentThreadIsLowPriority();

// What a running job sees of itself: whether its result is still wanted, and a way to hand
// something to the owner's thread while it runs (progress, a first partial result).
class JobContext {
public:
    // True once the job's key was cancelled or started again, or its manager is going away: the
    // job should stop at its next stage, since nobody will see its result.
    bool isStale() const { return m_key->current.load(std::memory_order_acquire) != m_generation || !m_alive->load(); }
    quint64 generation() const { return m_generation; }
    // Runs `f` on the owner's thread, unless the job is stale by the time it gets there.
    void post(std::function<void()> f) const;
    // post() for progress, at most 25 times a second: sooner than 40 ms after the last one posted,
    // a report is dropped unless it is `final` (the last state must always show).
    void postProgress(std::function<void()> f, bool final = false) const;

private:
    friend class BackgroundJobs;
    struct KeyState {
        std::atomic<quint64> current{0};
        QString name;    // its entry in the manager's table
        int running = 0; // owner's thread only
        // Jobs whose result is not yet on its way to the owner, for waitFor().
        std::mutex mutex;
        std::condition_variable returned;
        int working = 0;
    };
    JobContext(class BackgroundJobs* jobs, std::shared_ptr<KeyState> key, std::shared_ptr<std::atomic_bool> alive, quint64 generation)
        : m_jobs(jobs), m_key(std::move(key)), m_alive(std::move(alive)), m_generation(generation) {}
    void returned() const;

    class BackgroundJobs* m_jobs;
    std::shared_ptr<KeyState> m_key;
    std::shared_ptr<std::atomic_bool> m_alive;
    quint64 m_generation;
    // Milliseconds of the last progress posted; shared by the copies of one job's context.
    std::shared_ptr<std::atomic<qint64>> m_lastProgress = std::make_shared<std::atomic<qint64>>(-1);
};

// The one way Tavrin works in the background: a manager owns a pool; each job runs there under a
// key, and its result comes back on the manager's thread only if it is still the newest job of
// its key. Starting a job under a key makes the older one stale; cancel() does the same without
// a successor. A low-priority manager's threads are niced, so the window stays responsive while
// both cores are busy with a batch.
class BackgroundJobs : public QObject {
    Q_OBJECT
public:
    enum class Priority { normal, low };

    // maxThreads 0: one per core.
    explicit BackgroundJobs(QObject* parent = nullptr, int maxThreads = 0, Priority priority = Priority::normal);
    // Makes every job stale, then waits for the running ones to return.
    ~BackgroundJobs() override;

    // Runs `work(const JobContext&)` on the pool, then `done(result)` (or `done()` for a job without
    // result) on this object's thread when the job is still current. Returns the job's generation.
    // An empty key is a job of its own that nothing supersedes (only cancelAll() stops it).
    template <typename Work, typename Done>
    quint64 run(const QString& key, Work work, Done done);
    template <typename Work>
    quint64 run(const QString& key, Work work) { return run(key, std::move(work), [](auto&&...) {}); }

    void cancel(const QString& key);
    void cancelAll();
    bool isCurrent(const QString& key, quint64 generation) const;
    // Jobs started and not yet delivered or dropped.
    int pendingCount() const { return m_pending; }
    // Blocks until the pool has run every job; results still arrive through the event loop.
    void waitForDone() { m_pool.waitForDone(); }
    // Blocks until the jobs of `key` have returned, then delivers at once what they left for the
    // owner (with whatever other jobs have posted meanwhile): for an owner that must have the
    // result before it goes on, such as when the application quits. Owner's thread only.
    void waitFor(const QString& key);

Q_SIGNALS:
    // No job is left pending.
    void idle();

private:
    using KeyState = JobContext::KeyState;

    template <typename Fn>
    class Job : public QRunnable {
    public:
        explicit Job(Fn fn) : m_fn(std::move(fn)) {}
        void run() override { m_fn(); }

    private:
        Fn m_fn;
    };

    std::shared_ptr<KeyState> startKey(const QString& key, quint64 generation);
    void finished(const std::shared_ptr<KeyState>& state);
    void lowerThreadPriority() const;
    // A job reports its own failures in its result; anything escaping it is dropped with a warning
    // rather than ending the program.
    static void guarded(const std::function<void()>& f);

    QThreadPool m_pool;
    Priority m_priority;
    std::shared_ptr<std::atomic_bool> m_alive = std::make_shared<std::atomic_bool>(true);
    std::atomic<quint64> m_counter{0};
    QHash<QString, std::shared_ptr<KeyState>> m_keys;
    int m_pending = 0;
};

template <typename Work, typename Done>
quint64 BackgroundJobs::run(const QString& key, Work work, Done done)
{
    const quint64 generation = ++m_counter;
    std::shared_ptr<KeyState> state = startKey(key, generation);
    JobContext context(this, state, m_alive, generation);
    auto body = [this, state, context, work = std::move(work), done = std::move(done)]() mutable {
        lowerThreadPriority();
        using Result = std::invoke_result_t<Work&, const JobContext&>;
        if constexpr (std::is_void_v<Result>) {
            if (!context.isStale()) guarded([&] { work(context); });
            const auto returned = qScopeGuard([&] { context.returned(); });
            QMetaObject::invokeMethod(this, [this, state, context, done = std::move(done)]() mutable {
                const bool current = !context.isStale();
                finished(state);
                if (current) done();
            }, Qt::QueuedConnection);
        } else {
            // A stale job skips its work; the result slot stays empty and nothing is delivered.
            auto result = std::make_shared<std::optional<Result>>();
            if (!context.isStale()) guarded([&] { result->emplace(work(context)); });
            const auto returned = qScopeGuard([&] { context.returned(); });
            QMetaObject::invokeMethod(this, [this, state, context, result, done = std::move(done)]() mutable {
                const bool current = !context.isStale() && result->has_value();
                finished(state);
                if (current) done(std::move(**result));
            }, Qt::QueuedConnection);
        }
    };
    auto* job = new Job<decltype(body)>(std::move(body));
    job->setAutoDelete(true);
    m_pool.start(job);
    return generation;
}

} // namespace tavrin
