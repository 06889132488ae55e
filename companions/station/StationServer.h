#pragma once

// The bridge's request socket: a local socket in $XDG_RUNTIME_DIR that only
// its user can open, taking the station's requests (StationProtocol.h) from
// the asking commands, one request a line, answered in order.
//
// The bridge implements StationRequestHandler: it gets each well-formed
// request as a StationReply, answers it at once or later (a measurement says
// its progress first), and learns from abandoned() that the asker went away
// (Ctrl+C on the asking command), so the measurement ends and tracking goes
// on. Lines that are not requests are answered here and never reach it.

#include "companions/station/StationProtocol.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <memory>

class QLocalServer;
class QLockFile;
class QLocalSocket;

namespace heliotrope::station {

class StationConnection;

// One request and its answer. Owned by the server; deleted once the answer
// is finished or the asker has gone (after abandoned()), so keep it in a
// QPointer.
class StationReply : public QObject {
    Q_OBJECT
public:
    const StationRequest& request() const { return m_request; }
    // A line of a measurement's progress; a line (or lines) of the answer.
    void progress(const QString& text);
    void say(const QString& text);
    // Ends the answer: `text` (lines, may be empty) said, then "RPRT code".
    void finish(StationCode code, const QString& text = QString());
    bool isFinished() const { return m_finished; }

signals:
    // The asker closed its end before the answer was finished.
    void abandoned();

private:
    friend class StationConnection;
    StationReply(StationConnection* connection, StationRequest request);
    StationConnection* m_connection;
    StationRequest m_request;
    bool m_finished = false;
};

class StationRequestHandler {
public:
    virtual ~StationRequestHandler() = default;
    // A request to answer, now or later, through `reply`.
    virtual void handleRequest(StationReply* reply) = 0;
};

class StationServer : public QObject {
    Q_OBJECT
public:
    // $XDG_RUNTIME_DIR/heliotrope-rotctl.socket; empty, with `problem` in
    // Japanese and English, when XDG_RUNTIME_DIR is unset or not a folder.
    static QString defaultSocketPath(QString* problem);

    StationServer(StationRequestHandler& handler, QString socketPath, QObject* parent = nullptr);
    ~StationServer() override;

    enum class Listening {
        Yes,
        AnotherBridge,  // a live bridge answers on the socket: this one must not take it
        Failed,         // the socket cannot be made
    };
    // Listens with the socket only its user may open. A socket left behind by
    // a bridge that died (nothing answers on it) is removed first. A lock
    // file beside the socket, held while this server lives, keeps two
    // bridges started at the same moment from both taking it.
    Listening listen();
    // Why listen() did not: Japanese, newline, English.
    QString problem() const { return m_problem; }
    QString socketPath() const { return m_path; }
    // Askers connected now.
    int connectionCount() const;

private:
    StationRequestHandler& m_handler;
    QString m_path;
    QString m_problem;
    QLocalServer* m_server = nullptr;
    std::unique_ptr<QLockFile> m_lock;
};

// One asker's connection: its lines in, one request at a time.
class StationConnection : public QObject {
    Q_OBJECT
public:
    StationConnection(QLocalSocket* socket, StationRequestHandler& handler, QObject* parent);

private:
    friend class StationReply;
    void readLines();
    void next();
    void write(const QByteArray& bytes);
    void replyFinished();
    void gone();

    QLocalSocket* m_socket;
    StationRequestHandler& m_handler;
    QByteArray m_buffer;
    bool m_skippingLongLine = false;  // the rest of a line already answered as too long
    std::deque<QByteArray> m_lines;
    QPointer<StationReply> m_reply;
    bool m_gone = false;
};

}  // namespace heliotrope::station
