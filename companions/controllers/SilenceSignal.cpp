#include "companions/controllers/SilenceSignal.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace heliotrope::controllers {

namespace {

int g_pair[2] = {-1, -1};  // [0] read by the event loop, [1] written by the handler

extern "C" void onSilenceSignal(int signalNumber)
{
    static_cast<void>(signalNumber);
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_pair[1], &byte, 1);
}

}  // namespace

SilenceSignal::SilenceSignal(QObject* parent)
    : QObject(parent)
{
}

SilenceSignal::~SilenceSignal()
{
    if (g_pair[0] < 0)
        return;
    std::signal(SIGUSR1, SIG_DFL);
    delete m_notifier;
    ::close(g_pair[0]);
    ::close(g_pair[1]);
    g_pair[0] = g_pair[1] = -1;
}

bool SilenceSignal::install()
{
    if (g_pair[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0)
        return false;
    m_notifier = new QSocketNotifier(g_pair[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_pair[0], &byte, 1);
        emit received();
    });
    struct sigaction action = {};
    action.sa_handler = onSilenceSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGUSR1, &action, nullptr) == 0;
}

}  // namespace heliotrope::controllers
