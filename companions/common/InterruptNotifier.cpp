#include "companions/common/InterruptNotifier.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace heliotrope::companions {

namespace {

int g_pair[2] = {-1, -1};

extern "C" void onInterruptSignal(int)
{
    const char byte = 1;
    // Async-signal-safe; a full pair only means an interrupt is already waiting.
    [[maybe_unused]] const ssize_t written = ::write(g_pair[0], &byte, 1);
}

}  // namespace

InterruptNotifier::InterruptNotifier(QObject* parent)
    : QObject(parent)
{
}

InterruptNotifier::~InterruptNotifier()
{
    if (m_notifier) {
        std::signal(SIGINT, SIG_DFL);
        ::close(g_pair[0]);
        ::close(g_pair[1]);
        g_pair[0] = g_pair[1] = -1;
    }
}

bool InterruptNotifier::install()
{
    if (m_notifier)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pair) != 0)
        return false;
    m_notifier = new QSocketNotifier(static_cast<qintptr>(g_pair[1]), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pair[1], bytes, sizeof bytes) > 0) {
        }
        emit interrupted();
    });
    struct sigaction action = {};
    action.sa_handler = onInterruptSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &action, nullptr) == 0;
}

}  // namespace heliotrope::companions
