#include "link/ControllerLink.h"

#include "link/PointingMessage.h"
#include "link/PortText.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QUdpSocket>

#include <memory>
#include <optional>

namespace {

// The captions of the two boxes, so that a message names the box the operator
// sees. The port's caption holds an ideographic space.
const QString kAddressBox = QStringLiteral("アンテナコントローラ IP");
const QString kPortBox = QStringLiteral("アンテナコントローラ\u3000ポート(ASCII)");

// Datagrams handled per arrival notification. More waiting ones are taken on the
// next pass of the event loop, so a flood of reports cannot starve the clock and
// the calculation timer.
constexpr int kDatagramsPerPass = 64;

bool isUnderName(const QString& name, QLatin1StringView domain)
{
    return name == domain || name.endsWith(QLatin1Char('.') + domain);
}

// The controller's address from the text of the address box.
std::optional<QHostAddress> resolveController(const QString& hostText)
{
    QString host = hostText.trimmed();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2); // "[::1]", as IPv6 addresses are often written
    if (host.isEmpty())
        return std::nullopt;

    QHostAddress literal;
    if (literal.setAddress(host))
        return literal;

    // Names that must never reach a name server: "localhost" is this computer,
    // and ".invalid" names exist nowhere.
    QString name = host.toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (isUnderName(name, QLatin1StringView("localhost")))
        return QHostAddress(QHostAddress::LocalHost);
    if (isUnderName(name, QLatin1StringView("invalid")))
        return std::nullopt;
    // Digits and dots that did not read as an address ("127.0.0.256") are a
    // mistyped address, never a host name: no top-level domain is all digits.
    static const QRegularExpression digitsAndDots(QStringLiteral("^[0-9.]+$"));
    if (digitsAndDots.match(name).hasMatch())
        return std::nullopt;

    const QHostInfo info = QHostInfo::fromName(host);
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
        return std::nullopt;
    // Controllers commonly listen on IPv4 only, so an IPv4 address goes first.
    for (const QHostAddress& address : info.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return info.addresses().constFirst();
}

} // namespace

ControllerLink::ControllerLink(QObject* parent)
    : QObject(parent)
{
}

ControllerLink::OpenResult ControllerLink::open(const QString& hostText, const QString& portText)
{
    using Box = OpenResult::Box;
    close();

    const std::optional<QHostAddress> address = resolveController(hostText);
    if (!address) {
        if (hostText.trimmed().isEmpty())
            return {false, Box::Address, QStringLiteral("%1 が入力されていません。").arg(kAddressBox)};
        return {false, Box::Address, QStringLiteral("%1「%2」のアドレスが見つかりません。").arg(kAddressBox, hostText)};
    }

    const UdpPortFromText port = udpPortFromText(portText.toStdU16String());
    switch (port.status) {
    case PortTextStatus::Ok:
        break;
    case PortTextStatus::NotANumber:
        return {false, Box::Port,
                QStringLiteral("%1「%2」は数値ではありません。0～65535 の数値を入力してください。").arg(kPortBox, portText)};
    case PortTextStatus::OutOfRange:
        return {false, Box::Port, QStringLiteral("%1「%2」は 0～65535 の範囲外です。").arg(kPortBox, portText)};
    }

    // Any address of either IP version, so that a controller on IPv4 or IPv6 can
    // be reached and can report back. Not shared, so no other program's socket
    // can be given the same port and take our reports.
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress))
        return {false, Box::None, QStringLiteral("通信用のローカル UDP ポートを開けませんでした。")};

    m_socket = socket.release();
    m_socket->setParent(this);
    connect(m_socket, &QUdpSocket::readyRead, this, &ControllerLink::readPendingDatagrams);
    m_remoteAddress = *address;
    m_remotePort = port.port;
    return {true, Box::None, {}};
}

void ControllerLink::close()
{
    if (!m_socket)
        return;
    m_socket->disconnect(this);
    m_socket->close();
    // Deleted later: close() may be called from a handler of datagramArrived, in
    // the middle of readPendingDatagrams on this very socket.
    m_socket->deleteLater();
    m_socket = nullptr;
    m_remoteAddress.clear();
    m_remotePort = 0;
}

bool ControllerLink::isOpen() const
{
    return m_socket != nullptr;
}

quint16 ControllerLink::localPort() const
{
    return m_socket ? m_socket->localPort() : quint16{0};
}

QHostAddress ControllerLink::remoteAddress() const
{
    return m_remoteAddress;
}

quint16 ControllerLink::remotePort() const
{
    return m_remotePort;
}

bool ControllerLink::send(const QString& azimuthText, const QString& elevationText)
{
    if (!m_socket) {
        m_lastSendError = QStringLiteral("アンテナコントローラとの通信が開かれていないため、指向データを送信できません。");
        return false;
    }
    const std::optional<QByteArray> message = pointingMessage(azimuthText, elevationText);
    if (!message) {
        m_lastSendError = QStringLiteral("設定方位角または設定仰角に ASCII 以外の文字があるため、指向データを送信しませんでした。");
        return false;
    }
    if (m_socket->writeDatagram(*message, m_remoteAddress, m_remotePort) != message->size()) {
        m_lastSendError = QStringLiteral("アンテナコントローラ（%1 ポート %2）へ指向データを送信できませんでした。")
                              .arg(m_remoteAddress.toString())
                              .arg(m_remotePort);
        return false;
    }
    m_lastSendError.clear();
    return true;
}

QString ControllerLink::lastSendError() const
{
    return m_lastSendError;
}

void ControllerLink::readPendingDatagrams()
{
    QUdpSocket* const socket = m_socket;
    for (int i = 0; i < kDatagramsPerPass; ++i) {
        // A handler may have closed or reopened the link; the old socket then
        // still exists (deleted later) but must not be read any more.
        if (socket != m_socket || !socket->hasPendingDatagrams())
            return;
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            return; // a receive error, not a datagram; the socket stays usable
        emit datagramArrived(datagram.data());
    }
}
