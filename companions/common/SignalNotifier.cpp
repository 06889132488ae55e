#include "companions/common/SignalNotifier.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace heliotrope::companions {

namespace {

int g_pair[2] = {-1, -1};  // [0] read by the event loop, [1] written by the handler

extern "C" void onSignal(int signalNumber)
{
    // Only async-signal-safe calls here; a full pair only means signals are
    // already waiting to be read.
    const auto byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(g_pair[1], &byte, 1);
}

QPointer<SignalNotifier> g_instance;

}  // namespace

SignalNotifier& SignalNotifier::instance()
{
    if (!g_instance)
        g_instance = new SignalNotifier(QCoreApplication::instance());
    return *g_instance;
}

SignalNotifier::SignalNotifier(QObject* parent)
    : QObject(parent)
{
}

SignalNotifier::~SignalNotifier()
{
    if (g_pair[0] < 0)
        return;
    for (const int signalNumber : {SIGINT, SIGTERM, SIGUSR1})
        restoreDefault(signalNumber);
    delete m_notifier;
    ::close(g_pair[0]);
    ::close(g_pair[1]);
    g_pair[0] = g_pair[1] = -1;
}

bool SignalNotifier::openPair()
{
    if (g_pair[0] >= 0)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, g_pair) != 0)
        return false;
    m_notifier = new QSocketNotifier(static_cast<qintptr>(g_pair[0]), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        unsigned char bytes[16];
        ssize_t got = 0;
        while ((got = ::read(g_pair[0], bytes, sizeof bytes)) > 0) {
            for (ssize_t i = 0; i < got; ++i)
                emit received(bytes[i]);
        }
    });
    return true;
}

bool SignalNotifier::install(std::initializer_list<int> signalNumbers)
{
    if (!openPair())
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    bool installed = true;
    for (const int signalNumber : signalNumbers)
        installed = ::sigaction(signalNumber, &action, nullptr) == 0 && installed;
    return installed;
}

void SignalNotifier::restoreDefault(int signalNumber)
{
    std::signal(signalNumber, SIG_DFL);
}

void quitOnTerminationSignals()
{
    SignalNotifier& notifier = SignalNotifier::instance();
    QObject::connect(&notifier, &SignalNotifier::received, &notifier, [](int signalNumber) {
        if (signalNumber != SIGINT && signalNumber != SIGTERM)
            return;
        SignalNotifier::restoreDefault(SIGINT);
        SignalNotifier::restoreDefault(SIGTERM);
        QCoreApplication::quit();
    });
    notifier.install({SIGINT, SIGTERM});  // without it the signals keep their default action: the program ends at once
}

}  // namespace heliotrope::companions
