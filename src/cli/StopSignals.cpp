#include "cli/StopSignals.h"

#include "base/Error.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace tavrin::cli {

namespace {

// The handler may only write to a descriptor; the event loop reads the other end.
int stopPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QEventLoop& loop, const QString& failure) : StopSignals([&loop] { loop.quit(); }, failure) {}

StopSignals::StopSignals(std::function<void()> stop, const QString& failure)
{
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) throw Error(failure);
    m_notifier = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [stop = std::move(stop)] {
        // Emptied, so that one signal is one call.
        char bytes[16];
        while (::read(stopPipe[0], bytes, sizeof bytes) > 0) {}
        stop();
    });
    struct sigaction action{};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

StopSignals::~StopSignals()
{
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    m_notifier.reset();
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    stopPipe[0] = stopPipe[1] = -1;
}

} // namespace tavrin::cli
