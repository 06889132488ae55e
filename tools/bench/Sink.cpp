// A controller that only counts: binds a loopback UDP port, prints it, and
// counts the pointing messages that arrive until it is told to stop (SIGTERM
// or SIGINT). Then it prints the count and the last message.
//
//   heliotrope-sink            port 0: the system picks a free one
//   heliotrope-sink PORT
//
// Output, one line each: "port N" at once; "count N", the count so far, on
// every SIGUSR1; "datagrams N last TEXT" at the end.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_report = 0;

void onStop(int)
{
    g_stop = 1;
}

void onReport(int)
{
    g_report = 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const long wanted = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (wanted < 0 || wanted > 65535) {
        std::fputs("heliotrope-sink: PORT must be 0..65535\n", stderr);
        return 2;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(wanted));
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("heliotrope-sink: bind");
        return 1;
    }

    struct sigaction action { };
    action.sa_handler = onStop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = onReport;
    sigaction(SIGUSR1, &action, nullptr);
    // The signals are let through only while waiting, so none slips in
    // between the flag checks and the wait.
    sigset_t blocked;
    sigset_t whileWaiting;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGUSR1);
    sigprocmask(SIG_BLOCK, &blocked, &whileWaiting);

    std::printf("port %u\n", ntohs(address.sin_port));
    std::fflush(stdout);

    long count = 0;
    std::string last;
    std::array<char, 2048> buffer{};
    pollfd waiting{fd, POLLIN, 0};
    while (!g_stop) {
        if (g_report) {
            g_report = 0;
            std::printf("count %ld\n", count);
            std::fflush(stdout);
        }
        if (::ppoll(&waiting, 1, nullptr, &whileWaiting) <= 0)
            continue;
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n >= 0) {
            ++count;
            last.assign(buffer.data(), static_cast<std::size_t>(n));
        }
    }
    std::printf("datagrams %ld last %s\n", count, last.c_str());
    return 0;
}
