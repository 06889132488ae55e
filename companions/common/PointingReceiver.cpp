#include "companions/common/PointingReceiver.h"

#include "companions/common/ConsoleText.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {

// Datagrams handled per arrival notification; more are taken on the next pass
// of the event loop, so that a flood cannot starve the report and poll timers.
constexpr int kDatagramsPerPass = 64;

} // namespace

PointingReceiver::PointingReceiver(QObject* parent)
    : QObject(parent)
    , m_socket(new QUdpSocket(this))
{
    connect(m_socket, &QUdpSocket::readyRead, this, &PointingReceiver::readPending);
}

bool PointingReceiver::listen(const QHostAddress& address, quint16 port, QString* problem)
{
    // Not shared: a second controller on the same port would silently split the
    // window's messages between the two.
    if (m_socket->bind(address, port, QAbstractSocket::DontShareAddress))
        return true;
    if (problem) {
        *problem = QStringLiteral("%1 で UDP を待ち受けられません（%2）。ほかのプログラムがこのポートを使っていないか確かめてください。")
                       .arg(endpointText(address, port), m_socket->errorString());
    }
    return false;
}

quint16 PointingReceiver::localPort() const
{
    return m_socket->localPort();
}

bool PointingReceiver::sendReport(const QByteArray& report)
{
    if (m_reportPort == 0 || report.isEmpty())
        return false;
    return m_socket->writeDatagram(report, m_reportAddress, m_reportPort) == report.size();
}

void PointingReceiver::readPending()
{
    for (int i = 0; i < kDatagramsPerPass && m_socket->hasPendingDatagrams(); ++i) {
        const QNetworkDatagram datagram = m_socket->receiveDatagram();
        if (!datagram.isValid())
            return; // a receive error, not a datagram; the socket stays usable
        const PointingRead read = readPointingMessage(datagram.data());
        const QHostAddress sender = datagram.senderAddress();
        const auto senderPort = static_cast<quint16>(datagram.senderPort());
        if (!read.setPoint) {
            emit messageRejected(QStringLiteral("%1 からの「%2」は指向データとして読めないため無視しました: %3")
                                     .arg(endpointText(sender, senderPort), printableBytes(datagram.data()), read.problem));
            continue;
        }
        if (sender != m_reportAddress || senderPort != m_reportPort) {
            m_reportAddress = sender;
            m_reportPort = senderPort;
            emit reportAddressChanged(sender, senderPort);
        }
        emit setPointArrived(*read.setPoint);
    }
    // Datagrams left over are taken on the next pass.
    if (m_socket->hasPendingDatagrams())
        QMetaObject::invokeMethod(this, &PointingReceiver::readPending, Qt::QueuedConnection);
}
