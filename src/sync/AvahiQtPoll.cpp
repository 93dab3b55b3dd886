#include "sync/AvahiQtPoll.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/time.h>

#include <algorithm>
#include <limits>

// The watch and timeout types are opaque in Avahi's headers; each poll implementation defines them.
struct AvahiWatch {
    int fd = -1;
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    AvahiWatchEvent happened = AvahiWatchEvent(0);
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
};

struct AvahiTimeout {
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
    QTimer* timer = nullptr;
};

namespace tavrin {

namespace {

// Notifiers and timers may be freed from inside their own callbacks: they are stopped at once
// and deleted once control is back in the event loop.
void retire(QObject* object)
{
    if (!object) return;
    object->disconnect();
    object->deleteLater();
}

void dispatch(AvahiWatch* w, AvahiWatchEvent event)
{
    w->happened = event;
    // The callback may free `w`; nothing touches it afterwards.
    w->callback(w, w->fd, event, w->userdata);
}

void watchUpdate(AvahiWatch* w, AvahiWatchEvent events)
{
    w->read->setEnabled(events & AVAHI_WATCH_IN);
    w->write->setEnabled(events & AVAHI_WATCH_OUT);
}

AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent events, AvahiWatchCallback callback, void* userdata)
{
    auto* w = new AvahiWatch;
    w->fd = fd;
    w->callback = callback;
    w->userdata = userdata;
    w->read = new QSocketNotifier(fd, QSocketNotifier::Read);
    w->write = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(w->read, &QSocketNotifier::activated, [w] { dispatch(w, AVAHI_WATCH_IN); });
    QObject::connect(w->write, &QSocketNotifier::activated, [w] { dispatch(w, AVAHI_WATCH_OUT); });
    watchUpdate(w, events);
    return w;
}

AvahiWatchEvent watchGetEvents(AvahiWatch* w) { return w->happened; }

void watchFree(AvahiWatch* w)
{
    w->read->setEnabled(false);
    w->write->setEnabled(false);
    retire(w->read);
    retire(w->write);
    delete w;
}

void timeoutUpdate(AvahiTimeout* t, const struct timeval* tv)
{
    if (!tv) {
        t->timer->stop();
        return;
    }
    struct timeval now;
    gettimeofday(&now, nullptr);
    const qint64 ms = (qint64(tv->tv_sec) - now.tv_sec) * 1000 + (qint64(tv->tv_usec) - now.tv_usec + 999) / 1000;
    t->timer->start(int(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max())));
}

AvahiTimeout* timeoutNew(const AvahiPoll*, const struct timeval* tv, AvahiTimeoutCallback callback, void* userdata)
{
    auto* t = new AvahiTimeout;
    t->callback = callback;
    t->userdata = userdata;
    t->timer = new QTimer;
    t->timer->setSingleShot(true);
    t->timer->setTimerType(Qt::PreciseTimer);
    QObject::connect(t->timer, &QTimer::timeout, [t] { t->callback(t, t->userdata); });
    timeoutUpdate(t, tv);
    return t;
}

void timeoutFree(AvahiTimeout* t)
{
    t->timer->stop();
    retire(t->timer);
    delete t;
}

} // namespace

AvahiQtPoll::AvahiQtPoll()
{
    m_api.userdata = this;
    m_api.watch_new = watchNew;
    m_api.watch_update = watchUpdate;
    m_api.watch_get_events = watchGetEvents;
    m_api.watch_free = watchFree;
    m_api.timeout_new = timeoutNew;
    m_api.timeout_update = timeoutUpdate;
    m_api.timeout_free = timeoutFree;
}

} // namespace tavrin
