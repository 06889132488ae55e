#include "companions/station/StationClient.h"

#include "companions/common/ConsoleText.h"

#include <QLocalSocket>

namespace heliotrope::station {

StationClient::StationClient(QString socketPath, QObject* parent)
    : QObject(parent)
    , m_path(std::move(socketPath))
    , m_socket(new QLocalSocket(this))
{
    connect(m_socket, &QLocalSocket::readyRead, this, &StationClient::readLines);
    connect(m_socket, &QLocalSocket::disconnected, this, &StationClient::closed);
    connect(m_socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError error) {
        if (error == QLocalSocket::PeerClosedError || m_socket->state() == QLocalSocket::UnconnectedState)
            closed();
    });
}

QString StationClient::lostText()
{
    return QStringLiteral("ブリッジが答えの途中でいなくなりました（止められたか落ちました）。測定の結果はありません。\n"
                          "The bridge went away before it answered (stopped or crashed): no result.");
}

bool StationClient::connectToBridge(int timeoutMs)
{
    m_socket->connectToServer(m_path);
    return m_socket->waitForConnected(timeoutMs);
}

bool StationClient::isConnected() const
{
    return m_socket->state() == QLocalSocket::ConnectedState;
}

void StationClient::send(const StationRequest& request)
{
    if (!isConnected()) {
        QMetaObject::invokeMethod(
            this, [this] { emit lost(lostText()); }, Qt::QueuedConnection);
        return;
    }
    m_waiting = true;
    m_socket->write(requestLine(request));
    m_socket->flush();
}

void StationClient::abandon()
{
    m_abandoned = true;
    m_waiting = false;
    m_socket->abort();
}

int StationClient::ask(const StationRequest& request)
{
    int status = 1;
    QEventLoop loop;
    m_loop = &loop;
    const QMetaObject::Connection answer = connect(this, &StationClient::answered, &loop, [&](StationCode code) {
        status = exitStatusFor(code);
        loop.quit();
    });
    const QMetaObject::Connection gone = connect(this, &StationClient::lost, &loop, [&] {
        status = 1;
        loop.quit();
    });
    send(request);
    loop.exec();
    disconnect(answer);
    disconnect(gone);
    m_loop = nullptr;
    return status;
}

void StationClient::interrupt()
{
    abandon();
    if (m_loop)
        m_loop->quit();
}

void StationClient::readLines()
{
    m_buffer += m_socket->readAll();
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0)
            break;
        const QByteArray line = m_buffer.left(end);
        m_buffer.remove(0, end + 1);
        const std::optional<AnswerLine> answer = readAnswerLine(line);
        if (!answer) {
            m_waiting = false;
            m_socket->abort();
            emit lost(QStringLiteral("ブリッジの答えが読めません: %1\nThe bridge's answer cannot be read: %1")
                          .arg(heliotrope::companions::printableBytes(line)));
            return;
        }
        switch (answer->kind) {
        case AnswerKind::Progress:
            emit progressed(answer->text);
            break;
        case AnswerKind::Say:
            emit said(answer->text);
            break;
        case AnswerKind::End:
            m_waiting = false;
            emit answered(answer->code);
            break;
        }
    }
    if (m_buffer.size() > kLongestLine) {
        m_waiting = false;
        m_socket->abort();
        emit lost(QStringLiteral("ブリッジの答えの行が長すぎます。\nThe bridge's answer line is too long."));
    }
}

void StationClient::closed()
{
    if (!m_waiting || m_abandoned)
        return;
    m_waiting = false;
    emit lost(lostText());
}

}  // namespace heliotrope::station
