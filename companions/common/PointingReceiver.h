#pragma once

// The controller's side of the window's link: one UDP socket that receives the
// window's pointing messages and sends position reports back to wherever the
// latest sound message came from. The window binds a new local port at every
// start of its calculation, so the report address follows the messages and is
// never configured.

#include "companions/common/PointingRead.h"

#include <QHostAddress>
#include <QObject>

class QUdpSocket;

class PointingReceiver : public QObject
{
    Q_OBJECT

public:
    explicit PointingReceiver(QObject* parent = nullptr);

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

private:
    void readPending();

    QUdpSocket* m_socket = nullptr;
    QHostAddress m_reportAddress;
    quint16 m_reportPort = 0;
};
