#pragma once

// The asking side of the bridge's request socket: heliotrope-rotctl
// --calibrate, --sun-noise, --stow, --status … hand their request to the
// running bridge through it and show what comes back. It notices the bridge
// going away (killed, stopped by systemd) as soon as the socket closes, and
// says so rather than wait.

#include "companions/station/StationProtocol.h"

#include <QByteArray>
#include <QEventLoop>
#include <QObject>
#include <QString>

class QLocalSocket;

namespace heliotrope::station {

class StationClient : public QObject {
    Q_OBJECT
public:
    explicit StationClient(QString socketPath, QObject* parent = nullptr);

    // Connects, waiting at most timeoutMs: false when no bridge answers
    // there (the asking command then measures by itself, as without one).
    bool connectToBridge(int timeoutMs = 2000);
    bool isConnected() const;
    // Sends the request; the answer comes as the signals below.
    void send(const StationRequest& request);
    // Closes the connection: the bridge ends what it does for this asker
    // (Ctrl+C on the asking command).
    void abandon();

    // The asking command's whole conversation: sends the request and waits,
    // in an event loop of its own, for the end of its answer, the progress
    // and said lines coming through the signals meanwhile. `interrupted`
    // (Ctrl+C, InterruptNotifier::interrupted) abandons the request. The
    // command's exit status: exitStatusFor(the code), 1 when the bridge went
    // away or the request was abandoned.
    template <typename Sender, typename Signal>
    int ask(const StationRequest& request, const Sender* interruptSource, Signal interrupted)
    {
        QMetaObject::Connection c = connect(interruptSource, interrupted, this, &StationClient::interrupt);
        const int status = ask(request);
        disconnect(c);
        return status;
    }
    int ask(const StationRequest& request);

    // The bridge went away: Japanese, newline, English.
    static QString lostText();

signals:
    void progressed(const QString& text);
    void said(const QString& text);
    void answered(heliotrope::station::StationCode code);
    // The connection closed before the answer ended, or the bridge sent
    // something that is not an answer.
    void lost(const QString& why);

private:
    void interrupt();
    void readLines();
    void closed();

    QString m_path;
    QLocalSocket* m_socket;
    QByteArray m_buffer;
    bool m_waiting = false;  // a request sent and not yet answered
    bool m_abandoned = false;
    QEventLoop* m_loop = nullptr;  // while ask() waits
};

}  // namespace heliotrope::station
