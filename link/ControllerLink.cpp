#include "link/ControllerLink.h"

#include "link/PointingMessage.h"
#include "link/PortText.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>

#include <memory>
#include <optional>

namespace heliotrope::link {

namespace {

// Datagrams handled per arrival notification. More waiting ones are taken on the
// next pass of the event loop, so a flood of reports cannot starve the clock and
// the calculation timer.
constexpr int kDatagramsPerPass = 64;

bool isUnderName(const QString& name, QLatin1StringView domain)
{
    return name == domain || name.endsWith(QLatin1Char('.') + domain);
}

// What the address box holds, before any name server is asked.
struct AddressText {
    enum class Kind { Address,
                      NotFound,
                      HostName };
    Kind kind = Kind::NotFound;
    QHostAddress address;  // for Address
    QString hostName;      // for HostName
};

// The controller's address from the text of the address box, when it can be
// told without a name server.
AddressText readAddressText(const QString& hostText)
{
    using Kind = AddressText::Kind;
    QString host = hostText.trimmed();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);  // "[::1]", as IPv6 addresses are often written
    if (host.isEmpty())
        return {};

    QHostAddress literal;
    if (literal.setAddress(host))
        return {Kind::Address, literal, {}};

    // Names that must never reach a name server: "localhost" is this computer,
    // and ".invalid" names exist nowhere.
    QString name = host.toLower();
    if (name.endsWith(QLatin1Char('.')))
        name.chop(1);
    if (isUnderName(name, QLatin1StringView("localhost")))
        return {Kind::Address, QHostAddress(QHostAddress::LocalHost), {}};
    if (isUnderName(name, QLatin1StringView("invalid")))
        return {};
    // Digits and dots that did not read as an address ("127.0.0.256") are a
    // mistyped address, never a host name: no top-level domain is all digits.
    static const QRegularExpression digitsAndDots(QStringLiteral("^[0-9.]+$"));
    if (digitsAndDots.match(name).hasMatch())
        return {};
    return {Kind::HostName, {}, host};
}

// Controllers commonly listen on IPv4 only, so an IPv4 address goes first.
QHostAddress preferredAddress(const QList<QHostAddress>& addresses)
{
    for (const QHostAddress& address : addresses) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    }
    return addresses.constFirst();
}

ControllerLink::OpenResult failed(ControllerLink::OpenProblem problem)
{
    return {false, false, problem};
}

}  // namespace

ControllerLink::ControllerLink(QObject* parent)
    : QObject(parent)
    , m_resolver(std::make_unique<SystemHostResolver>())
    , m_lookupDeadline(new QTimer(this))
{
    m_lookupDeadline->setSingleShot(true);
    // Never early: the message says how long the name server was given.
    m_lookupDeadline->setTimerType(Qt::PreciseTimer);
    m_lookupDeadline->setInterval(kDefaultLookupBound);
    connect(m_lookupDeadline, &QTimer::timeout, this, &ControllerLink::lookupTimedOut);
}

ControllerLink::~ControllerLink()
{
    close();
}

void ControllerLink::setResolver(std::unique_ptr<HostResolver> resolver)
{
    close();
    m_resolver = std::move(resolver);
}

void ControllerLink::setLookupBound(std::chrono::milliseconds bound)
{
    m_lookupDeadline->setInterval(bound);
}

std::chrono::milliseconds ControllerLink::lookupBound() const
{
    return m_lookupDeadline->intervalAsDuration();
}

ControllerLink::OpenResult ControllerLink::open(const QString& hostText, const QString& portText)
{
    close();

    const AddressText address = readAddressText(hostText);
    switch (address.kind) {
    case AddressText::Kind::Address:
        return openResolved(address.address, portText);
    case AddressText::Kind::NotFound:
        return failed(hostText.trimmed().isEmpty() ? OpenProblem::AddressMissing : OpenProblem::AddressNotFound);
    case AddressText::Kind::HostName:
        break;
    }
    m_lookupPortText = portText;
    const quint64 generation = ++m_lookupGeneration;
    m_lookupId = m_resolver->lookUp(
        address.hostName, this,
        [this, generation](HostResolver::Outcome outcome, const QList<QHostAddress>& addresses) {
            if (generation == m_lookupGeneration)
                lookupFinished(outcome, addresses);
        });
    m_lookupDeadline->start();
    return {false, true, OpenProblem::None};
}

void ControllerLink::lookupFinished(HostResolver::Outcome outcome, const QList<QHostAddress>& addresses)
{
    if (!m_lookupId)
        return;  // abandoned meanwhile
    m_lookupId.reset();
    m_lookupDeadline->stop();
    switch (outcome) {
    case HostResolver::Outcome::Found:
        if (!addresses.isEmpty()) {
            emit openFinished(openResolved(preferredAddress(addresses), m_lookupPortText));
            return;
        }
        break;
    case HostResolver::Outcome::NotFound:
        break;
    case HostResolver::Outcome::Failed:
        emit openFinished(failed(OpenProblem::NameLookupFailed));
        return;
    }
    emit openFinished(failed(OpenProblem::AddressNotFound));
}

void ControllerLink::lookupTimedOut()
{
    if (!m_lookupId)
        return;
    m_resolver->cancel(*m_lookupId);
    m_lookupId.reset();
    emit openFinished(failed(OpenProblem::NameServerSilent));
}

bool ControllerLink::isResolving() const
{
    return m_lookupId.has_value();
}

ControllerLink::OpenResult ControllerLink::openResolved(const QHostAddress& address, const QString& portText)
{
    const UdpPortFromText port = udpPortFromText(portText.toStdU16String());
    switch (port.status) {
    case PortTextStatus::Ok:
        break;
    case PortTextStatus::NotANumber:
        return failed(OpenProblem::PortNotANumber);
    case PortTextStatus::OutOfRange:
        return failed(OpenProblem::PortOutOfRange);
    }

    // Any address of either IP version, so that a controller on IPv4 or IPv6 can
    // be reached and can report back. Not shared, so no other program's socket
    // can be given the same port and take our reports.
    auto socket = std::make_unique<QUdpSocket>();
    if (!socket->bind(QHostAddress::Any, 0, QAbstractSocket::DontShareAddress))
        return failed(OpenProblem::LocalPortUnavailable);

    m_socket = socket.release();
    m_socket->setParent(this);
    connect(m_socket, &QUdpSocket::readyRead, this, &ControllerLink::readPendingDatagrams);
    m_remoteAddress = address;
    m_remotePort = port.port;
    return {true, false, OpenProblem::None};
}

void ControllerLink::close()
{
    if (m_lookupId) {
        m_resolver->cancel(*m_lookupId);
        m_lookupId.reset();
        m_lookupDeadline->stop();
    }
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
        m_lastSendProblem = SendProblem::LinkClosed;
        return false;
    }
    const std::optional<QByteArray> message = pointingMessage(azimuthText, elevationText);
    if (!message) {
        m_lastSendProblem = SendProblem::NotAscii;
        return false;
    }
    if (m_socket->writeDatagram(*message, m_remoteAddress, m_remotePort) != message->size()) {
        m_lastSendProblem = SendProblem::SystemRefused;
        return false;
    }
    m_lastSendProblem = SendProblem::None;
    return true;
}

ControllerLink::SendProblem ControllerLink::lastSendProblem() const
{
    return m_lastSendProblem;
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
            return;  // a receive error, not a datagram; the socket stays usable
        emit datagramArrived(datagram.data());
    }
}

}  // namespace heliotrope::link
