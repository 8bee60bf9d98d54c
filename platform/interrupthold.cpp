#include "platform/interrupthold.h"

#include <QtGlobal>

#include <csignal>

#ifdef Q_OS_WIN
#include "platform/winapi.h"
#else
#include <atomic>
#include <mutex>
#endif

namespace pfw {

#ifndef Q_OS_WIN

namespace {

volatile std::sig_atomic_t g_received = 0;
constexpr int kSignals[] = {SIGINT, SIGHUP, SIGTERM};

void remember(int signal)
{
    g_received = signal;
}

std::mutex g_mutex;
int g_holds = 0;
struct sigaction g_previous[std::size(kSignals)];

} // namespace

InterruptHold::InterruptHold()
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    if (g_holds++ > 0)
        return;
    struct sigaction action = {};
    action.sa_handler = remember;
    // System calls go on where they were: the write in progress is the point of holding.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

InterruptHold::~InterruptHold()
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    if (--g_holds > 0)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
}

int InterruptHold::received()
{
    return int(g_received);
}

void reportFileSizeLimitsAsErrors()
{
    std::signal(SIGXFSZ, SIG_IGN);
}

#else

InterruptHold::InterruptHold()
{
    win::holdConsoleInterrupts(true);
}

InterruptHold::~InterruptHold()
{
    win::holdConsoleInterrupts(false);
}

int InterruptHold::received()
{
    return win::consoleInterruptReceived() ? SIGINT : 0;
}

void reportFileSizeLimitsAsErrors()
{
    // Windows has no such signal: a write past a quota simply fails.
}

#endif

} // namespace pfw
