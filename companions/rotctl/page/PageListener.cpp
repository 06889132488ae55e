#include "companions/rotctl/page/PageListener.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

namespace heliotrope::rotctl {

PageListener::PageListener(QObject* parent)
    : QTcpServer(parent)
{
}

void PageListener::incomingConnection(qintptr descriptor)
{
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        socket->deleteLater();
        return;
    }
    if (m_connections >= kMostConnections) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++m_connections;
    connect(socket, &QObject::destroyed, this, [this] { --m_connections; });
    auto* idle = new QTimer(socket);
    idle->setSingleShot(true);
    idle->start(kIdleMs);
    connect(idle, &QTimer::timeout, socket, &QTcpSocket::abort);
    // Connected before the HTTP server's own reading, so the bytes are
    // counted before it takes them: what it has not taken is what came since.
    auto received = std::make_shared<qint64>(0);
    connect(socket, &QTcpSocket::readyRead, socket, [socket, received] {
        *received += socket->bytesAvailable();
        if (*received > kMostRequestBytes)
            socket->abort();
    });
    // A request has the time from the answer before it (or from connecting)
    // to come whole: bytes trickled in do not keep a connection open.
    connect(socket, &QTcpSocket::bytesWritten, socket, [idle, received] {
        *received = 0;
        idle->start(kIdleMs);
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    addPendingConnection(socket);
}

}  // namespace heliotrope::rotctl
