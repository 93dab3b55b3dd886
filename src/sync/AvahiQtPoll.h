#pragma once

#include <avahi-common/watch.h>

namespace tavrin {

// Runs the Avahi client library on the Qt event loop: its file descriptors are watched by
// QSocketNotifiers and its timeouts are QTimers, so every Avahi callback arrives on the main
// thread like any other event. Must outlive the clients created with api().
class AvahiQtPoll {
public:
    AvahiQtPoll();
    AvahiQtPoll(const AvahiQtPoll&) = delete;
    AvahiQtPoll& operator=(const AvahiQtPoll&) = delete;

    const AvahiPoll* api() const { return &m_api; }

private:
    AvahiPoll m_api;
};

} // namespace tavrin
