#pragma once

// The UDP link to the antenna controller (the window's socket Winsock1).
//
// Connectionless: one local socket, bound afresh at every start on a port the
// system picks, and one controller endpoint taken from the window's address and
// port boxes at that start. Each send is one datagram; each datagram that arrives
// is handed on as it is. No handshake, no acknowledgement, no retry. The socket is
// never connected, so a controller that is not running yet (the system answers
// "port unreachable") does not stop later sends: once it runs, it gets the next one.
//
// Lives on the window's thread; datagramArrived is emitted from its event loop.

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

class ControllerLink : public QObject
{
    Q_OBJECT

public:
    struct OpenResult
    {
        enum class Box { None, Address, Port };

        bool ok = false;
        Box faultyBox = Box::None; // the window box to blame, when one is at fault
        QString message;           // for the operator, in Japanese; empty when ok
    };

    explicit ControllerLink(QObject* parent = nullptr);

    // Opens the link, in this order: close whatever was open; the controller's
    // address from hostText (IPv4, IPv6, or a host name resolved now, blocking;
    // blanks around and [brackets] are dropped); its port from portText (blanks
    // around allowed, a fraction rounded half to even, 0 to 65535); a new UDP
    // socket bound on local port 0, any address of either IP version. Sends
    // nothing. On any failure the link is left closed and the result names the
    // box at fault (None for a failed bind).
    OpenResult open(const QString& hostText, const QString& portText);

    // Releases the socket at once, so reports to its port are no longer seen.
    // Harmless when the link is closed. Tells the controller nothing.
    void close();

    bool isOpen() const;
    quint16 localPort() const;           // 0 while closed
    QHostAddress remoteAddress() const;  // the controller's, as resolved at open
    quint16 remotePort() const;

    // Sends one pointing message "0,<azimuth>,<elevation>" as one datagram.
    // Returns false, with lastSendError() saying why in Japanese, when the link
    // is closed, a text holds a non-ASCII character, or the system refuses the
    // datagram. Never throws; the link stays open after a failed send.
    bool send(const QString& azimuthText, const QString& elevationText);
    QString lastSendError() const;

signals:
    // Every datagram that arrives, in arrival order, one emission per datagram,
    // empty ones included, whole (however long) and from any sender.
    void datagramArrived(const QByteArray& datagram);

private:
    void readPendingDatagrams();

    QUdpSocket* m_socket = nullptr; // child of this link; null while closed
    QHostAddress m_remoteAddress;
    quint16 m_remotePort = 0;
    QString m_lastSendError;
};
