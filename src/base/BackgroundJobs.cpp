#include "base/BackgroundJobs.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QUuid>

#include <cerrno>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tavrin {

void JobContext::post(std::function<void()> f) const
{
    QMetaObject::invokeMethod(m_jobs, [context = *this, f = std::move(f)] {
        if (!context.isStale()) f();
    }, Qt::QueuedConnection);
}

void JobContext::postProgress(std::function<void()> f, bool final) const
{
    static const QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    const qint64 now = clock.elapsed();
    qint64 last = m_lastProgress->load();
    if (!final && last >= 0 && now - last < 40) return;
    if (!final && !m_lastProgress->compare_exchange_strong(last, now)) return;
    m_lastProgress->store(now);
    post(std::move(f));
}

void JobContext::returned() const
{
    {
        const std::lock_guard lock(m_key->mutex);
        --m_key->working;
    }
    m_key->returned.notify_all();
}

BackgroundJobs::BackgroundJobs(QObject* parent, int maxThreads, Priority priority) : QObject(parent), m_priority(priority)
{
    if (maxThreads > 0) m_pool.setMaxThreadCount(maxThreads);
}

BackgroundJobs::~BackgroundJobs()
{
    m_alive->store(false);
    m_pool.waitForDone();
}

std::shared_ptr<BackgroundJobs::KeyState> BackgroundJobs::startKey(const QString& key, quint64 generation)
{
    const QString name = key.isEmpty() ? QUuid::createUuid().toString() : key;
    std::shared_ptr<KeyState>& state = m_keys[name];
    if (!state) {
        state = std::make_shared<KeyState>();
        state->name = name;
    }
    // The older job of this key is stale from here on.
    state->current.store(generation, std::memory_order_release);
    ++state->running;
    {
        const std::lock_guard lock(state->mutex);
        ++state->working;
    }
    ++m_pending;
    return state;
}

void BackgroundJobs::finished(const std::shared_ptr<KeyState>& state)
{
    if (--state->running == 0 && m_keys.value(state->name) == state) m_keys.remove(state->name);
    if (--m_pending == 0) Q_EMIT idle();
}

void BackgroundJobs::waitFor(const QString& key)
{
    const std::shared_ptr<KeyState> state = m_keys.value(key);
    if (!state) return;
    // A result delivered may start the key again: wait for that one too.
    while (state->running > 0) {
        {
            std::unique_lock lock(state->mutex);
            state->returned.wait(lock, [&] { return state->working == 0; });
        }
        QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
}

void BackgroundJobs::cancel(const QString& key)
{
    if (const auto it = m_keys.constFind(key); it != m_keys.cend()) it.value()->current.store(++m_counter, std::memory_order_release);
}

void BackgroundJobs::cancelAll()
{
    for (const std::shared_ptr<KeyState>& state : std::as_const(m_keys)) state->current.store(++m_counter, std::memory_order_release);
}

bool BackgroundJobs::isCurrent(const QString& key, quint64 generation) const
{
    const auto it = m_keys.constFind(key);
    return it != m_keys.cend() && it.value()->current.load() == generation;
}

namespace {
constexpr int lowNice = 10;
id_t currentThreadID() { return static_cast<id_t>(syscall(SYS_gettid)); }
} // namespace

void lowerCurrentThreadPriority()
{
    thread_local bool lowered = false;
    if (lowered) return;
    lowered = true;
    setpriority(PRIO_PROCESS, currentThreadID(), lowNice);
}

bool currentThreadIsLowPriority()
{
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, currentThreadID());
    return errno == 0 && nice > 0;
}

void BackgroundJobs::lowerThreadPriority() const
{
    // A pool thread stays with its manager, so lowering it once is enough.
    if (m_priority == Priority::low) lowerCurrentThreadPriority();
}

void BackgroundJobs::guarded(const std::function<void()>& f)
{
    try {
        f();
    } catch (const std::exception& error) {
        qWarning("background job failed: %s", error.what());
    } catch (...) {
        qWarning("background job failed");
    }
}

} // namespace tavrin
