#include "termination.h"

#include <QSocketNotifier>
#include <QCoreApplication>

#if defined(Q_OS_UNIX)
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
int g_pipe[2] = {-1, -1};
std::function<void()> g_handler;

#if defined(Q_OS_UNIX)
void onSignal(int)
{
    const char c = 1;
    // Only async-signal-safe work here: wake the event loop.
    [[maybe_unused]] auto n = ::write(g_pipe[0], &c, 1);
}
#endif
}

namespace platform {

void onTerminationRequest(std::function<void()> handler)
{
    g_handler = std::move(handler);
#if defined(Q_OS_UNIX)
    if (g_pipe[0] >= 0)
        return;
    // Close-on-exec: a child (the pass hook) could otherwise stop us with one byte.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char c;
        [[maybe_unused]] auto n = ::read(g_pipe[1], &c, 1);
        if (g_handler)
            g_handler();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
#endif
}

} // namespace platform
