#include "companions/power/RigctldPowerSource.h"

#include "companions/hamlib/RotctldReply.h"

#include <QTcpSocket>

#include <cmath>

namespace heliotrope::power {

namespace {

// Longer lines are not an answer to l STRENGTH; stop reading them.
constexpr qsizetype kLongestLine = 256;

QString shown(const QByteArray& bytes)
{
    QString text;
    for (const char c : bytes.left(60)) {
        const auto u = static_cast<unsigned char>(c);
        text += (u >= 0x20 && u < 0x7f) ? QString(QChar(c)) : QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return bytes.size() > 60 ? text + QStringLiteral("...") : text;
}

}  // namespace

StrengthReply readStrengthReply(const QByteArray& line)
{
    StrengthReply reply;
    const QByteArray text = line.trimmed();
    if (const std::optional<int> code = heliotrope::hamlib::hamlibReturnCode(text)) {
        if (*code != 0)
            reply.returnCode = *code;
        return reply;
    }
    bool ok = false;
    const double value = text.toDouble(&ok);
    // An S-meter in dB relative to S9: far beyond ±200 dB is not a reading.
    if (ok && std::isfinite(value) && std::abs(value) <= 200 && !text.isEmpty())
        reply.decibels = value;
    return reply;
}

RigctldPowerSource::RigctldPowerSource(const QString& host, quint16 port, int deadlineMs, QObject* parent)
    : PowerSource(parent)
    , m_host(host)
    , m_port(port)
    , m_deadlineMs(deadlineMs)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        finish(std::nullopt, QStringLiteral("rigctld（%1:%2）が %3 秒以内に答えません。"
                                            "\nrigctld (%1:%2) did not answer within %3 s.")
                                 .arg(m_host)
                                 .arg(m_port)
                                 .arg(m_deadlineMs / 1000.0));
    });
}

RigctldPowerSource::~RigctldPowerSource() = default;

QString RigctldPowerSource::description() const
{
    return QStringLiteral("rigctld %1:%2, l STRENGTH").arg(m_host).arg(m_port);
}

void RigctldPowerSource::requestReading()
{
    if (m_pending)
        return;
    m_pending = true;
    m_deadline.start(m_deadlineMs);
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState) {
        sendRequest();
        return;
    }
    if (m_socket) {
        m_socket->deleteLater();
        m_socket = nullptr;
    }
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &RigctldPowerSource::sendRequest);
    connect(m_socket, &QTcpSocket::readyRead, this, &RigctldPowerSource::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &RigctldPowerSource::onSocketError);
    m_socket->connectToHost(m_host, m_port);
}

void RigctldPowerSource::sendRequest()
{
    if (!m_pending || !m_socket)
        return;
    m_received.clear();
    m_socket->write("l STRENGTH\n");
}

void RigctldPowerSource::onReadyRead()
{
    QTcpSocket* socket = m_socket;
    if (!socket)
        return;
    m_received += socket->readAll();
    if (!m_pending) {
        // Nothing was asked: whatever this is, the conversation is out of step.
        m_received.clear();
        socket->abort();
        return;
    }
    const qsizetype end = m_received.indexOf('\n');
    if (end < 0) {
        if (m_received.size() > kLongestLine) {
            finish(std::nullopt, QStringLiteral("rigctld の答えが長すぎて読めません: %1\nrigctld's answer is too long to be a reading: %1").arg(shown(m_received)));
        }
        return;
    }
    const QByteArray line = m_received.left(end);
    m_received.remove(0, end + 1);
    const StrengthReply reply = readStrengthReply(line);
    if (reply.decibels) {
        finish(reply.decibels, {});
    } else if (reply.returnCode) {
        finish(std::nullopt, QStringLiteral("rigctld が信号強度を返しません（RPRT %1）。\nrigctld refused to read the signal strength (RPRT %1).").arg(*reply.returnCode));
    } else {
        finish(std::nullopt, QStringLiteral("rigctld の答え「%1」は信号強度ではありません。\nrigctld's answer \"%1\" is not a signal strength.").arg(shown(line)));
    }
}

void RigctldPowerSource::onSocketError()
{
    if (!m_socket)
        return;
    const QString error = m_socket->errorString();
    if (m_pending) {
        finish(std::nullopt, QStringLiteral("rigctld（%1:%2）に接続できないか、接続が切れました: %3。rigctld が起動しているか、"
                                            "--power のアドレスとポートを確かめてください。\n"
                                            "rigctld (%1:%2) cannot be reached or closed the connection: %3. Check that rigctld "
                                            "runs and that --power names its address and port.")
                                 .arg(m_host)
                                 .arg(m_port)
                                 .arg(error));
    } else {
        m_socket->abort();
    }
}

void RigctldPowerSource::finish(std::optional<double> decibels, const QString& reason)
{
    if (!m_pending)
        return;
    m_pending = false;
    m_deadline.stop();
    if (!decibels && m_socket) {
        // Whatever went wrong, the next reading starts a fresh conversation:
        // a late answer must not be taken for the next reading's.
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
        m_received.clear();
    }
    if (decibels)
        emit readingArrived(*decibels);
    else
        emit failed(reason);
}

}  // namespace heliotrope::power
