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
// A host name is looked up without blocking: the window keeps its clock and
// its buttons while the name server answers, and a name server that does not
// answer within the lookup bound is given up on.
//
// Lives on the window's thread; datagramArrived and openFinished are emitted
// from its event loop.

#include "link/HostResolver.h"

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

class QTimer;
class QUdpSocket;

namespace heliotrope::link {

class ControllerLink : public QObject {
    Q_OBJECT

public:
    // Why the link did not open. The window words these for the operator.
    enum class OpenProblem {
        None,
        AddressMissing,    // the address text is empty or blank
        AddressNotFound,   // not an address, or a name no one knows
        NameLookupFailed,  // the system's resolver gave up on the name server
        NameServerSilent,  // no answer within the lookup bound
        PortNotANumber,
        PortOutOfRange,        // a number outside 0 to 65535
        LocalPortUnavailable,  // the system gave no local UDP port
    };

    struct OpenResult {
        bool ok = false;
        bool resolving = false;  // a host name is being looked up; openFinished tells the outcome
        OpenProblem problem = OpenProblem::None;
    };

    // Why a pointing message was not sent.
    enum class SendProblem {
        None,
        LinkClosed,
        NotAscii,       // a set-point text holds a character beyond ASCII
        SystemRefused,  // the system did not take the whole datagram
    };

    // How long a host name may take to resolve before the name server is
    // taken as silent: long enough for a slow name server's answer, short of
    // the system's own 10 s of retries.
    static constexpr std::chrono::milliseconds kDefaultLookupBound{5000};

    explicit ControllerLink(QObject* parent = nullptr);
    ~ControllerLink() override;

    // Who looks host names up; the system's resolver unless a test sets its own.
    void setResolver(std::unique_ptr<HostResolver> resolver);
    void setLookupBound(std::chrono::milliseconds bound);
    std::chrono::milliseconds lookupBound() const;

    // Opens the link, in this order: close whatever was open (a lookup in
    // progress included); the controller's address from hostText (IPv4, IPv6,
    // "localhost", or a host name; blanks around and [brackets] are dropped);
    // its port from portText (blanks around allowed, a fraction rounded half to
    // even, 0 to 65535); a new UDP socket bound on local port 0, any address of
    // either IP version. Sends nothing. On any failure the link is left closed
    // and the result says why.
    //
    // An address or "localhost" is opened (or refused) at once. A host name is
    // looked up in the background: the result then says `resolving`, and the
    // outcome, with the port and the socket checked after it, comes later as
    // one openFinished. A lookup that outlasts the lookup bound is abandoned
    // and reported as a silent name server.
    OpenResult open(const QString& hostText, const QString& portText);

    // Releases the socket at once, so reports to its port are no longer seen,
    // and abandons a lookup in progress without an openFinished. Harmless when
    // the link is closed. Tells the controller nothing.
    void close();

    bool isResolving() const;
    bool isOpen() const;
    quint16 localPort() const;           // 0 while closed
    QHostAddress remoteAddress() const;  // the controller's, as resolved at open
    quint16 remotePort() const;

    // Sends one pointing message "0,<azimuth>,<elevation>" as one datagram.
    // Returns false, with lastSendProblem() saying why, when the link is
    // closed, a text holds a non-ASCII character, or the system refuses the
    // datagram. Never throws; the link stays open after a failed send.
    bool send(const QString& azimuthText, const QString& elevationText);
    SendProblem lastSendProblem() const;

signals:
    // Every datagram that arrives, in arrival order, one emission per datagram,
    // empty ones included, whole (however long) and from any sender.
    void datagramArrived(const QByteArray& datagram);

    // The outcome of an open() that said `resolving`; never `resolving` itself.
    void openFinished(const ControllerLink::OpenResult& result);

private:
    OpenResult openResolved(const QHostAddress& address, const QString& portText);
    void lookupFinished(HostResolver::Outcome outcome, const QList<QHostAddress>& addresses);
    void lookupTimedOut();
    void readPendingDatagrams();

    std::unique_ptr<HostResolver> m_resolver;
    QTimer* m_lookupDeadline = nullptr;  // child of this link, single shot
    std::optional<int> m_lookupId;       // set while a host name is being looked up
    quint64 m_lookupGeneration = 0;      // tells a late answer from the current lookup's
    QString m_lookupPortText;            // the port box's text as it was when the lookup started

    QUdpSocket* m_socket = nullptr;  // child of this link; null while closed
    QHostAddress m_remoteAddress;
    quint16 m_remotePort = 0;
    SendProblem m_lastSendProblem = SendProblem::None;
};

}  // namespace heliotrope::link
