#include "companions/hamlib/RotctldClient.h"

#include "companions/common/ConsoleText.h"

#include <QTcpSocket>

#include <algorithm>

using heliotrope::companions::endpointText;
using heliotrope::companions::printableBytes;

namespace heliotrope::hamlib {

namespace {

constexpr int kFirstRetryMs = 500;
constexpr int kLongestRetryMs = 8000;
constexpr int kConnectTimeoutMs = 5000;
// A rotctld driving a slow serial rotator may retry the rotator a few times
// before it answers; longer than that, it has hung.
constexpr int kAnswerTimeoutMs = 10000;
// No answer line is anywhere near this long; more without a line end is not rotctld.
constexpr qsizetype kLongestLine = 4096;

}  // namespace

RotctldClient::RotctldClient(const QString& host, quint16 port, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_port(port)
    , m_retryDelayMs(kFirstRetryMs)
    , m_answerTimeoutMs(kAnswerTimeoutMs)
{
    m_retryTimer.setSingleShot(true);
    m_connectTimer.setSingleShot(true);
    m_answerTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &RotctldClient::connectNow);
    connect(&m_connectTimer, &QTimer::timeout, this, [this] {
        fail(Problem::Absent, {});  // no detail: not connected within the time allowed
    });
    connect(&m_answerTimer, &QTimer::timeout, this, [this] { fail(Problem::Silent, {}); });
}

RotctldClient::~RotctldClient()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

void RotctldClient::start()
{
    connectNow();
}

QString RotctldClient::endpointText() const
{
    if (m_host.contains(QLatin1Char(':')))
        return QStringLiteral("[%1]:%2").arg(m_host).arg(m_port);
    return QStringLiteral("%1:%2").arg(m_host).arg(m_port);
}

void RotctldClient::connectNow()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
    }
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &RotctldClient::onConnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &RotctldClient::onSocketError);
    connect(m_socket, &QTcpSocket::readyRead, this, &RotctldClient::onReadyRead);
    m_state = State::Connecting;
    m_received.clear();
    m_inFlight.reset();
    m_reader.reset();
    m_connectTimer.start(kConnectTimeoutMs);
    m_socket->connectToHost(m_host, m_port);
}

void RotctldClient::onConnected()
{
    m_connectTimer.stop();
    // Commands are short lines, sent one at a time and answered before the
    // next: waiting to fill a packet would only delay each of them.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_state = State::Handshake;
    // A connection is ready only once the peer has answered something: one
    // that takes connections and says nothing useful is not a rotctld.
    if (m_skipDumpState)
        send(RotctldCommand::GetPosition, QByteArrayLiteral("p"));
    else
        send(RotctldCommand::DumpState, QByteArrayLiteral("\\dump_state"));
}

void RotctldClient::becomeReady(const std::optional<rotator::RotatorLimits>& limits)
{
    m_state = State::Ready;
    emit ready(limits);
}

void RotctldClient::becomeHealthy()
{
    // Only an answer about the rotator shows the link to be back. A peer that
    // answers the handshake and then hangs on every p would otherwise be said
    // lost, and retried at once, again and again.
    m_retryDelayMs = kFirstRetryMs;
    m_saidProblem = Problem::None;
}

void RotctldClient::onSocketError()
{
    switch (m_socket->error()) {
    case QAbstractSocket::ConnectionRefusedError:
        fail(Problem::Refused, {});
        return;
    case QAbstractSocket::RemoteHostClosedError:
        fail(Problem::Closed, {});
        return;
    default:
        fail(Problem::Absent, m_socket->errorString());
        return;
    }
}

void RotctldClient::requestPosition()
{
    if (m_state != State::Ready || positionPending())
        return;
    m_positionWanted = true;
    sendNext();
}

void RotctldClient::requestPointing(const rotator::RotatorPosition& rotatorTarget)
{
    if (m_state != State::Ready)
        return;
    m_pointingWanted = rotatorTarget;
    sendNext();
}

void RotctldClient::requestHalt(RotctldCommand stopOrPark)
{
    if (m_state != State::Ready)
        return;
    m_haltWanted = stopOrPark;
    m_pointingWanted.reset();
    sendNext();
}

QByteArray RotctldClient::pointingText(const rotator::RotatorPosition& rotatorTarget)
{
    return "P " + QByteArray::number(rotatorTarget.azimuth, 'f', 2) + ' ' + QByteArray::number(rotatorTarget.elevation, 'f', 2);
}

rotator::RotatorPosition RotctldClient::asSent(const rotator::RotatorPosition& rotatorTarget)
{
    const QList<QByteArray> words = pointingText(rotatorTarget).split(' ');
    return rotator::RotatorPosition{words[1].toDouble(), words[2].toDouble()};
}

void RotctldClient::sendNext()
{
    if (m_state != State::Ready || m_inFlight)
        return;
    // A stop or park first, then a pointing: they are what move the antenna;
    // the reading can wait.
    if (m_haltWanted) {
        const RotctldCommand halt = *m_haltWanted;
        m_haltWanted.reset();
        send(halt, halt == RotctldCommand::Stop ? QByteArrayLiteral("S") : QByteArrayLiteral("K"));
    } else if (m_pointingWanted) {
        const rotator::RotatorPosition target = *m_pointingWanted;
        m_pointingWanted.reset();
        m_pointingSent = asSent(target);
        send(RotctldCommand::SetPosition, pointingText(target));
    } else if (m_positionWanted) {
        m_positionWanted = false;
        send(RotctldCommand::GetPosition, QByteArrayLiteral("p"));
    } else if (m_capsWanted) {
        m_capsWanted = false;
        send(RotctldCommand::DumpCaps, QByteArrayLiteral("\\dump_caps"));
    }
}

void RotctldClient::requestCaps()
{
    if (m_state != State::Ready)
        return;
    m_capsWanted = true;
    sendNext();
}

void RotctldClient::send(RotctldCommand command, const QByteArray& line)
{
    m_inFlight = command;
    m_reader.emplace(command);
    m_answerTimer.start(m_answerTimeoutMs);
    m_socket->write(line + '\n');
    emit commandWritten(line);
}

void RotctldClient::onReadyRead()
{
    // Anything this reads may end the connection (fail), which replaces the
    // socket; stop reading the old one then.
    QTcpSocket* const socket = m_socket;
    m_received += socket->readAll();
    while (socket == m_socket) {
        const qsizetype end = m_received.indexOf('\n');
        if (end < 0) {
            if (m_received.size() > kLongestLine)
                fail(Problem::Unreadable, printableBytes(m_received.left(40)));
            return;
        }
        const QByteArray line = m_received.left(end);
        m_received.remove(0, end + 1);
        if (!m_reader) {
            fail(Problem::Unreadable, printableBytes(line));
            return;
        }
        switch (m_reader->takeLine(line)) {
        case RotctldReplyReader::Status::NeedMore:
            break;
        case RotctldReplyReader::Status::Unreadable:
            fail(Problem::Unreadable, printableBytes(line));
            return;
        case RotctldReplyReader::Status::Done: {
            const RotctldReplyReader reader = *m_reader;
            finishAnswer(reader);
            break;
        }
        }
    }
}

void RotctldClient::finishAnswer(const RotctldReplyReader& reader)
{
    const RotctldCommand command = *m_inFlight;
    m_answerTimer.stop();
    m_inFlight.reset();
    m_reader.reset();

    if (m_state == State::Handshake) {
        // The handshake's p (after a \dump_state that could not be read) is
        // not reported: the bridge reads the rotator afresh once ready.
        if (command == RotctldCommand::GetPosition)
            becomeHealthy();
        becomeReady(command == RotctldCommand::DumpState ? reader.limits() : std::nullopt);
        sendNext();
        return;
    }
    becomeHealthy();
    switch (command) {
    case RotctldCommand::DumpState:
        break;  // sent only as the handshake
    case RotctldCommand::GetPosition:
        if (const std::optional<rotator::RotatorPosition> position = reader.position())
            emit positionRead(*position, m_pointingAnswered && !m_pointingWanted);
        else
            emit positionRefused(reader.returnCode());
        break;
    case RotctldCommand::SetPosition:
        m_pointingAnswered = true;
        emit pointingAnswered(reader.returnCode(), m_pointingSent);
        break;
    case RotctldCommand::Stop:
    case RotctldCommand::Park:
        emit haltAnswered(command, reader.returnCode());
        break;
    case RotctldCommand::DumpCaps:
        emit capsRead(reader.canPark());
        break;
    }
    sendNext();
}

void RotctldClient::fail(Problem problem, const QString& detail)
{
    // The next connection goes without \dump_state only when this peer's
    // answer to it could not be read, or when a connection without it had
    // worked. Otherwise (the peer would not answer p either, or nobody was
    // there) it begins with \dump_state again: a real rotctld may have taken
    // the port over, and its limits are wanted.
    m_skipDumpState = (m_state == State::Handshake && m_inFlight == RotctldCommand::DumpState && problem == Problem::Unreadable)
        || (m_skipDumpState && m_state == State::Ready);
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_connectTimer.stop();
    m_answerTimer.stop();
    m_state = State::Waiting;
    m_inFlight.reset();
    m_reader.reset();
    m_received.clear();
    m_positionWanted = false;
    m_pointingWanted.reset();
    m_pointingAnswered = false;
    m_haltWanted.reset();
    m_capsWanted = false;

    const QString line = problem == m_saidProblem ? QString() : problemLine(problem, detail);
    m_saidProblem = problem;
    m_retryTimer.start(m_retryDelayMs);
    m_retryDelayMs = std::min(m_retryDelayMs * 2, kLongestRetryMs);
    emit lost(problem, line);
}

QString RotctldClient::problemLine(Problem problem, const QString& detail) const
{
    const QString retryJa = QStringLiteral("つながるまで間隔をあけて接続し直します。");
    const QString retryEn = QStringLiteral("Connecting again, at growing intervals, until it answers.");
    switch (problem) {
    case Problem::Refused:
        return QStringLiteral("rotctld（%1）に接続できません: 接続を拒否されました。rotctld が起動しているか"
                              "（例: rotctld -m 603 -r /dev/ttyUSB0 -s 9600）、--rotctld のアドレスとポートが合っているか"
                              "確かめてください。%2\n"
                              "Cannot reach rotctld (%1): connection refused. Check that rotctld runs (e.g. rotctld -m 603 "
                              "-r /dev/ttyUSB0 -s 9600) and that --rotctld names its address and port. %3")
            .arg(endpointText(), retryJa, retryEn);
    case Problem::Absent:
        if (detail.isEmpty()) {
            return QStringLiteral("rotctld（%1）に %2 秒以内に接続できませんでした。--rotctld のアドレスとネットワークを確かめてください。%3\n"
                                  "Could not connect to rotctld (%1) within %2 s. Check the address given with --rotctld and the network. %4")
                .arg(endpointText())
                .arg(kConnectTimeoutMs / 1000)
                .arg(retryJa, retryEn);
        }
        return QStringLiteral("rotctld（%1）に接続できません: %2。--rotctld のアドレスとネットワークを確かめてください。%3\n"
                              "Cannot reach rotctld (%1): %2. Check the address given with --rotctld and the network. %4")
            .arg(endpointText(), detail, retryJa, retryEn);
    case Problem::Closed:
        return QStringLiteral("rotctld（%1）が接続を閉じました。%2\nrotctld (%1) closed the connection. %3")
            .arg(endpointText(), retryJa, retryEn);
    case Problem::Silent:
        return QStringLiteral("rotctld（%1）が %2 秒たっても応答しません。コントローラの電源とケーブル、rotctld の -r（デバイス）"
                              "と -s（速度）を確かめてください。%3\n"
                              "rotctld (%1) has not answered for %2 s. Check the controller's power and cable, and "
                              "rotctld's -r (device) and -s (speed). %4")
            .arg(endpointText())
            .arg(m_answerTimeoutMs / 1000.0)
            .arg(retryJa, retryEn);
    case Problem::Unreadable:
        return QStringLiteral("rotctld（%1）の応答「%2」を読めません。--rotctld が rotctld（rigctld ではなく）を指しているか"
                              "確かめてください。%3\n"
                              "Cannot read rotctld's (%1) answer \"%2\". Check that --rotctld names rotctld, not another "
                              "service. %4")
            .arg(endpointText(), detail, retryJa, retryEn);
    case Problem::None:
        break;
    }
    return {};
}

}  // namespace heliotrope::hamlib
