#pragma once

// The received power from a radio through Hamlib's rigctld: "l STRENGTH",
// which rigctld answers with the S-meter reading in whole dB relative to S9
// (S9 = 0, so the values are negative below S9). One command at a time over
// one TCP connection; the connection is made on the first request and made
// again on the next request after it is lost, so a rigctld restarted between
// two readings costs one failed reading, not the run.

#include "companions/power/PowerSource.h"

#include <QByteArray>
#include <QTimer>

#include <optional>

class QTcpSocket;

namespace heliotrope::power {

// What rigctld answered to "l STRENGTH", read from one line without its end.
struct StrengthReply {
    std::optional<double> decibels;  // a reading
    std::optional<int> returnCode;   // "RPRT n" with n != 0
};
// Nothing in either field: the line is not an answer to l STRENGTH.
StrengthReply readStrengthReply(const QByteArray& line);

class RigctldPowerSource : public PowerSource {
    Q_OBJECT

public:
    // deadlineMs: from the request to the answer, the connection included.
    RigctldPowerSource(const QString& host, quint16 port, int deadlineMs = 3000, QObject* parent = nullptr);
    ~RigctldPowerSource() override;

    void requestReading() override;
    bool readingPending() const override { return m_pending; }
    QString description() const override;
    double resolution() const override { return 1.0; }

private:
    void sendRequest();
    void onReadyRead();
    void onSocketError();
    void finish(std::optional<double> decibels, const QString& reason);

    QString m_host;
    quint16 m_port;
    int m_deadlineMs;
    QTcpSocket* m_socket = nullptr;
    QByteArray m_received;
    bool m_pending = false;
    QTimer m_deadline;
};

}  // namespace heliotrope::power
