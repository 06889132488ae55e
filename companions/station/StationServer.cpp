#include "companions/station/StationServer.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <sys/stat.h>

namespace heliotrope::station {

namespace {

// More lines than this waiting behind a request is no asker of ours: the
// connection is closed rather than its lines kept.
constexpr std::size_t kMostWaitingLines = 32;

}  // namespace

StationReply::StationReply(StationConnection* connection, StationRequest request)
    : QObject(connection)
    , m_connection(connection)
    , m_request(std::move(request))
{
}

void StationReply::progress(const QString& text)
{
    if (!m_finished)
        m_connection->write(progressLines(text));
}

void StationReply::say(const QString& text)
{
    if (!m_finished)
        m_connection->write(sayLines(text));
}

void StationReply::finish(StationCode code, const QString& text)
{
    if (m_finished)
        return;
    if (!text.isEmpty())
        m_connection->write(sayLines(text));
    m_connection->write(endLine(code));
    m_finished = true;
    m_connection->replyFinished();
}

StationConnection::StationConnection(QLocalSocket* socket, StationRequestHandler& handler, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_handler(handler)
{
    socket->setParent(this);
    connect(socket, &QLocalSocket::readyRead, this, &StationConnection::readLines);
    connect(socket, &QLocalSocket::disconnected, this, &StationConnection::gone);
    connect(socket, &QLocalSocket::errorOccurred, this, [this](QLocalSocket::LocalSocketError error) {
        if (error != QLocalSocket::SocketTimeoutError)
            gone();
    });
    readLines();
}

void StationConnection::readLines()
{
    if (m_gone)
        return;
    m_buffer += m_socket->readAll();
    for (;;) {
        const qsizetype end = m_buffer.indexOf('\n');
        if (end < 0)
            break;
        if (m_skippingLongLine)
            m_skippingLongLine = false;
        else
            m_lines.push_back(m_buffer.left(end));
        m_buffer.remove(0, end + 1);
    }
    if (m_buffer.size() > kLongestLine) {
        // Answered at once as too long (the reader says so); the rest of it,
        // up to its line end, is dropped as it comes.
        if (!m_skippingLongLine)
            m_lines.push_back(m_buffer.left(kLongestLine + 1));
        m_skippingLongLine = true;
        m_buffer.clear();
    }
    if (m_lines.size() > kMostWaitingLines) {
        m_lines.clear();
        write(sayLines(QStringLiteral("依頼の行が多すぎるため接続を閉じます。\nToo many lines waiting: closing the connection."))
              + endLine(StationCode::Garbage));
        m_socket->disconnectFromServer();
        return;
    }
    next();
}

void StationConnection::next()
{
    while (!m_gone && !m_reply && !m_lines.empty()) {
        const QByteArray line = m_lines.front();
        m_lines.pop_front();
        const RequestReading reading = readRequest(line);
        if (!reading.request) {
            write(sayLines(reading.problem) + endLine(reading.code));
            continue;
        }
        auto* reply = new StationReply(this, *reading.request);
        m_reply = reply;
        m_handler.handleRequest(reply);
    }
}

void StationConnection::write(const QByteArray& bytes)
{
    if (!m_gone && m_socket->state() == QLocalSocket::ConnectedState)
        m_socket->write(bytes);
}

void StationConnection::replyFinished()
{
    // Answered, possibly from within handleRequest: the next line is taken
    // once control is back in the event loop.
    if (m_reply)
        m_reply->deleteLater();
    m_reply = nullptr;
    QMetaObject::invokeMethod(this, &StationConnection::next, Qt::QueuedConnection);
}

void StationConnection::gone()
{
    if (m_gone)
        return;
    m_gone = true;
    m_lines.clear();
    if (m_reply && !m_reply->isFinished()) {
        StationReply* reply = m_reply;
        reply->m_finished = true;
        emit reply->abandoned();
    }
    deleteLater();
}

QString StationServer::defaultSocketPath(QString* problem)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty()) {
        *problem = QStringLiteral(
            "XDG_RUNTIME_DIR が設定されていないため、依頼を受ける場所がありません。ログインしたセッションか、"
            "systemd のユーザーサービス（loginctl enable-linger）で起動してください。\n"
            "XDG_RUNTIME_DIR is not set, so there is nowhere to take requests: start from a login session or as a "
            "systemd user service (loginctl enable-linger).");
        return {};
    }
    if (!QFileInfo(runtime).isDir()) {
        *problem = QStringLiteral("XDG_RUNTIME_DIR（%1）がフォルダではありません。\nXDG_RUNTIME_DIR (%1) is not a folder.")
                       .arg(runtime);
        return {};
    }
    return QDir(runtime).filePath(QStringLiteral("heliotrope-rotctl.socket"));
}

StationServer::StationServer(StationRequestHandler& handler, QString socketPath, QObject* parent)
    : QObject(parent)
    , m_handler(handler)
    , m_path(std::move(socketPath))
{
}

StationServer::~StationServer()
{
    if (m_server)
        m_server->close();
}

StationServer::Listening StationServer::listen()
{
    const auto another = [this] {
        m_problem = QStringLiteral("別の heliotrope-rotctl が %1 で動いています。ブリッジは 1 つだけにしてください。\n"
                                   "Another heliotrope-rotctl is running on %1: run one bridge only.")
                        .arg(m_path);
        return Listening::AnotherBridge;
    };
    // QLockFile takes over a lock whose process is gone; never one merely
    // old, for a bridge runs for months.
    m_lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0);
    if (!m_lock->tryLock(0)) {
        const bool held = m_lock->error() == QLockFile::LockFailedError;
        m_lock.reset();
        if (held)
            return another();
        m_problem = QStringLiteral("依頼のソケットの錠 %1.lock を作れません。\ncannot make the request socket's lock %1.lock.")
                        .arg(m_path);
        return Listening::Failed;
    }
    const QByteArray native = QFile::encodeName(m_path);
    struct stat info { };
    if (::lstat(native.constData(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            m_problem = QStringLiteral("「%1」はソケットではないファイルです。消さずに止めます。\n"
                                       "%1 is a file but not a socket: left alone, not listening.")
                            .arg(m_path);
            m_lock.reset();
            return Listening::Failed;
        }
        QLocalSocket probe;
        probe.connectToServer(m_path);
        if (probe.waitForConnected(1000)) {
            probe.disconnectFromServer();
            m_lock.reset();
            return another();
        }
        // Nothing answers: what a bridge that died left behind.
        QLocalServer::removeServer(m_path);
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        m_problem = QStringLiteral("依頼のソケット %1 を作れません（%2）。\ncannot make the request socket %1 (%2).")
                        .arg(m_path, m_server->errorString());
        delete m_server;
        m_server = nullptr;
        m_lock.reset();
        return Listening::Failed;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection())
            new StationConnection(socket, m_handler, this);
    });
    return Listening::Yes;
}

int StationServer::connectionCount() const
{
    return static_cast<int>(findChildren<StationConnection*>(Qt::FindDirectChildrenOnly).size());
}

}  // namespace heliotrope::station
