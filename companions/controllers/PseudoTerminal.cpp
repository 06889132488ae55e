#include "companions/controllers/PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace heliotrope::controllers {

namespace {

QString systemProblem(const char* call)
{
    return QStringLiteral("疑似端末を開けません（%1: %2）\nCannot open a pseudo-terminal (%1: %2)")
        .arg(QString::fromLatin1(call), QString::fromLocal8Bit(std::strerror(errno)));
}

}  // namespace

PseudoTerminal::~PseudoTerminal()
{
    if (m_device >= 0)
        ::close(m_device);
    if (m_master >= 0)
        ::close(m_master);
}

bool PseudoTerminal::open(QString* problem)
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        *problem = systemProblem("posix_openpt");
        return false;
    }
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        *problem = systemProblem("grantpt/unlockpt");
        return false;
    }
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0) {
        *problem = systemProblem("ptsname_r");
        return false;
    }
    m_devicePath = QString::fromLocal8Bit(name);
    m_device = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_device < 0) {
        *problem = systemProblem("open");
        return false;
    }
    termios settings = {};
    if (::tcgetattr(m_device, &settings) != 0) {
        *problem = systemProblem("tcgetattr");
        return false;
    }
    ::cfmakeraw(&settings);
    if (::tcsetattr(m_device, TCSANOW, &settings) != 0) {
        *problem = systemProblem("tcsetattr");
        return false;
    }
    const int flags = ::fcntl(m_master, F_GETFL);
    if (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        *problem = systemProblem("fcntl");
        return false;
    }
    return true;
}

QByteArray PseudoTerminal::readAvailable()
{
    QByteArray bytes;
    char buffer[512];
    for (;;) {
        const ssize_t got = ::read(m_master, buffer, sizeof buffer);
        if (got > 0) {
            bytes.append(buffer, got);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        break;  // nothing more now (EAGAIN), or the line is down
    }
    return bytes;
}

bool PseudoTerminal::write(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += put;
    }
    return true;
}

}  // namespace heliotrope::controllers
