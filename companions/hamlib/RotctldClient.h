#pragma once

// The TCP conversation with rotctld. One command at a time, each answer read to
// its end before the next command goes out, so every answer is known to belong
// to its command. Nothing blocks: connecting, each answer and each wait runs
// from the event loop, with time limits, so a silent or vanished rotctld never
// holds up the window's side.
//
// A lost conversation (rotctld absent, refusing, closing the connection, silent
// past the answer time limit, or answering something that is not an answer) is
// said in one Japanese line, once until the link is back, and the connection is
// made again with back-off: half a second at first, doubling up to eight.
// The back-off and the silence about a kind of loss already said last until
// the rotator has been read or commanded again, not merely until a peer took
// the connection. Every new connection begins with \dump_state, for the
// rotator's limits (or, where that answer could not be read, with p), and is
// ready once that is answered.

#include "companions/hamlib/RotctldReply.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

class QTcpSocket;

namespace heliotrope::hamlib {

class RotctldClient : public QObject {
    Q_OBJECT

public:
    enum class Problem {
        None,
        Refused,     // nothing listens on the port
        Absent,      // host not found, unreachable, or no answer to connecting
        Closed,      // rotctld closed the connection
        Silent,      // no answer within the time limit
        Unreadable,  // an answer that does not fit the command
    };

    RotctldClient(const QString& host, quint16 port, QObject* parent = nullptr);
    ~RotctldClient() override;

    void start();

    // Connected and \dump_state answered.
    bool isReady() const { return m_state == State::Ready; }
    // Whether a p is asked for or on its way.
    bool positionPending() const { return m_positionWanted || m_inFlight == RotctldCommand::GetPosition; }
    // Whether a P is asked for or on its way.
    bool pointingPending() const { return m_pointingWanted.has_value() || m_inFlight == RotctldCommand::SetPosition; }
    // Whether a P is on its way, its answer still to come.
    bool pointingInFlight() const { return m_inFlight == RotctldCommand::SetPosition; }

    // Asks for p; nothing happens while one is already pending. Only when ready.
    void requestPosition();
    // Asks for P az el; a later request replaces one not yet sent. Only when ready.
    void requestPointing(const heliotrope::rotator::RotatorPosition& rotatorTarget);
    // Asks for S (stop) or K (park): sent before anything else waiting, and a
    // P waiting is dropped, for the rotator is to go nowhere else. Only when ready.
    void requestHalt(RotctldCommand stopOrPark);
    // Asks for \dump_caps, after everything else waiting; answered by capsRead.
    // rotctld answers it from the backend's table, without a word to the
    // controller. Only when ready.
    void requestCaps();
    // The P's text for a target: hundredths of a degree, as rotctld reads it.
    // What reaches the controller is this, not the target: 23.4488° goes as
    // 23.45, which Hamlib's float carries a little above the half.
    static QByteArray pointingText(const heliotrope::rotator::RotatorPosition& rotatorTarget);
    static heliotrope::rotator::RotatorPosition asSent(const heliotrope::rotator::RotatorPosition& rotatorTarget);

    QString endpointText() const;
    // Answer time limit; tests shorten it.
    void setAnswerTimeoutMs(int milliseconds) { m_answerTimeoutMs = milliseconds; }
    // How long the next reconnection waits after a loss: half a second,
    // doubling with each loss in a row up to eight, and half a second again
    // once rotctld has answered about the rotator.
    int nextRetryMs() const { return m_retryDelayMs; }

signals:
    // A connection is ready; limits when rotctld reported them.
    void ready(const std::optional<heliotrope::rotator::RotatorLimits>& limits);
    // The connection is gone; commands pending are dropped. `line` says why,
    // or is empty when this kind of loss was already said.
    void lost(RotctldClient::Problem problem, const QString& line);
    // afterPointing: the p went out once the latest P asked for had been
    // answered on this connection, so the reading shows the rotator as it
    // answers that P. Each command waits for the answer before it, and a P
    // goes before a waiting p: a P asked for while this p was on its way is
    // still waiting when the reading comes.
    void positionRead(const heliotrope::rotator::RotatorPosition& position, bool afterPointing);
    void positionRefused(int returnCode);
    // sent: the P as it went on the line.
    void pointingAnswered(int returnCode, const heliotrope::rotator::RotatorPosition& sent);
    void haltAnswered(heliotrope::hamlib::RotctldCommand stopOrPark, int returnCode);
    // Whether the backend can park (Hamlib's K); nothing when it did not say.
    void capsRead(std::optional<bool> canPark);
    // Every command line as it was written, without its line end.
    void commandWritten(const QByteArray& command);

private:
    enum class State { Waiting,
                       Connecting,
                       Handshake,
                       Ready };

    void connectNow();
    void onConnected();
    void becomeReady(const std::optional<heliotrope::rotator::RotatorLimits>& limits);
    void becomeHealthy();
    void onSocketError();
    void onReadyRead();
    void send(RotctldCommand command, const QByteArray& line);
    void sendNext();
    void finishAnswer(const RotctldReplyReader& reader);
    void fail(Problem problem, const QString& detail);
    QString problemLine(Problem problem, const QString& detail) const;

    QString m_host;
    quint16 m_port;
    QTcpSocket* m_socket = nullptr;
    State m_state = State::Waiting;
    Problem m_saidProblem = Problem::None;
    bool m_skipDumpState = false;  // its answer could not be read once: the limits come from elsewhere

    QByteArray m_received;
    std::optional<RotctldCommand> m_inFlight;
    std::optional<RotctldReplyReader> m_reader;
    bool m_positionWanted = false;
    std::optional<heliotrope::rotator::RotatorPosition> m_pointingWanted;
    heliotrope::rotator::RotatorPosition m_pointingSent;  // the latest P, as it went on the line
    bool m_pointingAnswered = false;                      // a P has been answered on this connection
    std::optional<RotctldCommand> m_haltWanted;
    bool m_capsWanted = false;

    QTimer m_retryTimer;
    QTimer m_connectTimer;
    QTimer m_answerTimer;
    int m_retryDelayMs;
    int m_answerTimeoutMs;
};

}  // namespace heliotrope::hamlib
