#include "base/BackgroundJobs.h"

#include <QDebug>
#include <QUuid>

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
    ++m_pending;
    return state;
}

void BackgroundJobs::finished(const std::shared_ptr<KeyState>& state)
{
    if (--state->running == 0 && m_keys.value(state->name) == state) m_keys.remove(state->name);
    if (--m_pending == 0) Q_EMIT idle();
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

void BackgroundJobs::lowerThreadPriority() const
{
    if (m_priority != Priority::low) return;
    // Linux nices threads one by one; a pool thread stays with its manager, so once is enough.
    thread_local bool lowered = false;
    if (lowered) return;
    lowered = true;
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, tid, 10);
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
