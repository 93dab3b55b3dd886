#pragma once

// Long commands (following, the showcase) end on SIGINT or SIGTERM by leaving their event loop,
// so that they finish their work and print their report instead of dying mid-write.

#include <QEventLoop>
#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace tavrin::cli {

class StopSignals {
public:
    // While this object lives, SIGINT and SIGTERM quit `loop`. Throws tavrin::Error with `failure`
    // when the signals cannot be routed.
    StopSignals(QEventLoop& loop, const QString& failure);
    // While this object lives, SIGINT and SIGTERM call `stop` from the event loop.
    StopSignals(std::function<void()> stop, const QString& failure);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace tavrin::cli
