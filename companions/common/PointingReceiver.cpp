#include "companions/common/PointingReceiver.h"

#include "companions/common/ConsoleText.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace heliotrope::companions {

namespace {

// Datagrams handled per arrival notification; more are taken on the next pass
// of the event loop, so that a flood cannot starve the report and poll timers.
constexpr int kDatagramsPerPass = 64;

// Refused senders named one by one, at most; beyond that (a flood from forged
// addresses) they are only counted, so that neither the terminal nor the
// memory that remembers whom it named grows without end.
constexpr qsizetype kMostSendersNamed = 64;

}  // namespace

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
        // Qt words the reason in English only; the Japanese names the likely one.
        *problem = QStringLiteral("%1 で UDP を待ち受けられません（%2）。ほかのプログラム（heliotrope-sim や"
                                  "もう一つのブリッジなど）がこのポートを使っていないか確かめるか、--port で別のポートを指定してください。\n"
                                  "Cannot listen for UDP on %1 (%2). Check that no other program (heliotrope-sim, another "
                                  "bridge, …) holds the port, or give another with --port.")
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
            return;  // a receive error, not a datagram; the socket stays usable
        const QHostAddress sender = datagram.senderAddress();
        const auto senderPort = static_cast<quint16>(datagram.senderPort());
        if (!m_allowList.allows(sender)) {
            refuse(sender, senderPort);
            continue;
        }
        const PointingRead read = readPointingMessage(datagram.data());
        if (!read.setPoint) {
            ++m_counts.unreadable;
            emit messageRejected(QStringLiteral("%1 からの「%2」は指向データとして読めないため無視しました: %3\n"
                                                "Ignored \"%2\" from %1, not a pointing message: %4")
                                     .arg(endpointText(sender, senderPort), printableBytes(datagram.data()), read.problem,
                                          read.problemEnglish));
            continue;
        }
        if (sender != m_reportAddress || senderPort != m_reportPort) {
            m_reportAddress = sender;
            m_reportPort = senderPort;
            emit reportAddressChanged(sender, senderPort);
        }
        ++m_counts.pointing;
        emit setPointArrived(*read.setPoint);
    }
    // Datagrams left over are taken on the next pass.
    if (m_socket->hasPendingDatagrams())
        QMetaObject::invokeMethod(this, &PointingReceiver::readPending, Qt::QueuedConnection);
}

void PointingReceiver::refuse(const QHostAddress& sender, quint16 senderPort)
{
    ++m_counts.refused;
    if (m_refusedSaid.contains(sender) || m_refusedSaid.size() > kMostSendersNamed)
        return;
    m_refusedSaid.insert(sender);
    if (m_refusedSaid.size() > kMostSendersNamed) {
        emit senderRefused(QStringLiteral("許可されていない送信元がほかにも多数あります。以後は名前を挙げずに数えて捨てます。\n"
                                          "Many more senders not allowed; from now on they are dropped and counted "
                                          "without naming each."));
        return;
    }
    emit senderRefused(QStringLiteral("%1 からのデータを捨てました: 許可された送信元（--allow）ではありません。"
                                      "この送信元からのデータは以後も黙って数えて捨てます。\n"
                                      "Dropped a datagram from %1: not an allowed sender (--allow); further ones "
                                      "from it are dropped and counted without a word.")
                           .arg(endpointText(sender, senderPort)));
}

QString receivedCountsText(const PointingReceiver::Counts& counts)
{
    return QStringLiteral("受信: 指向データ %1 件、読めないデータ %2 件、許可されていない送信元から %3 件（捨てました）。\n"
                          "Received: %1 pointing messages, %2 unreadable, %3 from senders not allowed (dropped).")
        .arg(counts.pointing)
        .arg(counts.unreadable)
        .arg(counts.refused);
}

}  // namespace heliotrope::companions
