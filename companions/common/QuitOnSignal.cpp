#include "companions/common/QuitOnSignal.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace heliotrope::companions {

namespace {

int g_pipe[2] = {-1, -1};  // [0] read by the event loop, [1] written by the handler

extern "C" void onTerminationSignal(int signalNumber)
{
    // Only async-signal-safe calls here. SA_RESETHAND has put the default
    // action back, so a second Ctrl+C ends a program whose event loop no
    // longer turns.
    static_cast<void>(signalNumber);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
}

}  // namespace

void quitOnTerminationSignals()
{
    if (g_pipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;  // without the pipe the signals keep their default action: the program ends at once
    auto* notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_pipe[0], &byte, 1);
        notifier->setEnabled(false);
        QCoreApplication::quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

}  // namespace heliotrope::companions
