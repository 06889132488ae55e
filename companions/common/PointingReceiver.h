#pragma once

// The controller's side of the window's link: one UDP socket that receives the
// window's pointing messages and sends position reports back to wherever the
// latest sound message came from. The window binds a new local port at every
// start of its calculation, so the report address follows the messages and is
// never configured.
//
// Only senders on the allow-list are heard: a datagram from anyone else is
// dropped before it is read, counted, and said once per sender address; it
// never moves the antenna nor becomes the report address.

#include "companions/common/PointingRead.h"
#include "companions/common/SenderAllowList.h"

#include <QHostAddress>
#include <QObject>
#include <QSet>

class QUdpSocket;

namespace heliotrope::companions {

class PointingReceiver : public QObject {
    Q_OBJECT

public:
    // What arrived since the socket was bound, for the operator and for checks
    // that every message sent was received.
    struct Counts {
        quint64 pointing = 0;    // sound pointing messages from allowed senders
        quint64 unreadable = 0;  // from allowed senders, not pointing messages
        quint64 refused = 0;     // from senders not on the allow-list, dropped unread
    };

    // Hears loopback senders only until setAllowList says otherwise.
    explicit PointingReceiver(QObject* parent = nullptr);

    void setAllowList(const SenderAllowList& allowList) { m_allowList = allowList; }
    Counts counts() const { return m_counts; }

    // Binds the socket; on failure returns false with the reason in Japanese.
    bool listen(const QHostAddress& address, quint16 port, QString* problem);
    quint16 localPort() const;

    // Sends one report to the latest sound message's sender. Does nothing
    // before the first such message. Returns whether a datagram left.
    bool sendReport(const QByteArray& report);
    bool hasReportAddress() const { return m_reportPort != 0; }
    QHostAddress reportAddress() const { return m_reportAddress; }
    quint16 reportPort() const { return m_reportPort; }

signals:
    // A sound pointing message. reportAddressChanged comes first when its
    // sender differs from the previous one.
    void setPointArrived(const SetPoint& setPoint);
    void reportAddressChanged(const QHostAddress& address, quint16 port);
    // A message that could not be read; the line says what and from whom.
    void messageRejected(const QString& note);
    // The first datagram from a sender not on the allow-list; the line, in
    // Japanese and English, names its address.
    void senderRefused(const QString& note);

private:
    void readPending();
    void refuse(const QHostAddress& sender, quint16 senderPort);

    QUdpSocket* m_socket = nullptr;
    QHostAddress m_reportAddress;
    quint16 m_reportPort = 0;
    SenderAllowList m_allowList = SenderAllowList::loopbackOnly();
    Counts m_counts;
    QSet<QHostAddress> m_refusedSaid;  // bounded: see kMostSendersNamed
};

// What a receiver took in, for the operator's last line, in Japanese and
// English: "受信: 指向データ 4800 件、…".
QString receivedCountsText(const PointingReceiver::Counts& counts);

}  // namespace heliotrope::companions
