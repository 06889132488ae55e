#pragma once

// heliotrope-rotctl at work: the window's pointing messages in over UDP, P and
// p out to rotctld over TCP, the rotator's position back to the window.
//
// The rotator is read with p every poll interval (longer while rotctld refuses
// to answer it); each reading is reported to the latest message's sender and
// written to the log. A P goes out when a set-point or a reading shows the
// rotator to be off by more than the threshold (CommandPolicy). Everything the
// operator should know comes out as one line each, never one per cycle.

#include "companions/common/PointingReceiver.h"
#include "companions/common/ShiftedClock.h"
#include "companions/hamlib/RotctldClient.h"
#include "companions/measure/RotatorLender.h"
#include "companions/rotator/CommandPolicy.h"
#include "companions/rotctl/BridgeOptions.h"
#include "companions/rotctl/TrackingLog.h"
#include "companions/rotctl/TrueSunPointing.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace heliotrope::rotctl {

class Bridge : public QObject, public RotatorLender {
    Q_OBJECT

public:
    explicit Bridge(const BridgeOptions& options, QObject* parent = nullptr);

    // Binds the UDP socket, opens the log and begins connecting to rotctld;
    // false with the reason in Japanese when the socket or the log cannot be
    // opened (rotctld not running is not a reason: it is waited for).
    bool start(QString* problem);
    quint16 localPort() const { return m_receiver.localPort(); }
    RotctldClient& rotctld() override { return m_client; }
    // The rotator's frame as the bridge uses it (range, limits once rotctld
    // is connected, offsets).
    const RotatorFrame& frame() const override { return m_frame; }
    // While a measurement drives the rotator the bridge sends no P of its own;
    // given back, it points at the latest set-point again.
    const RotatorProfile& rotatorProfile() const override { return m_profile; }
    void lendRotator() override { holdCommands(true); }
    void takeRotatorBack() override { holdCommands(false); }
    void holdCommands(bool held);
    bool commandsHeld() const { return m_commandsHeld; }

    // The UTC clock, milliseconds since 1970 (the system's by default), which
    // true-sun mode computes the sun for and the log is stamped with; a test
    // stands at a chosen instant with it.
    using UtcClock = std::function<qint64()>;
    void setUtcClock(UtcClock clock) { m_utcClock = std::move(clock); }
    companions::PointingReceiver::Counts receivedCounts() const { return m_receiver.counts(); }

signals:
    // A line for the operator.
    void notice(const QString& line);
    // rotctld is connected and its limits are known (frame() holds them).
    void rotatorReady();

private:
    void onSetPoint(const companions::SetPoint& setPoint);
    void onReady(const std::optional<RotatorLimits>& reported);
    void onLost(const QString& line);
    void onPosition(const RotatorPosition& reading, bool afterPointing);
    void onPositionRefused(int returnCode);
    void onPointingAnswered(int returnCode, const RotatorPosition& sent);
    void poll();
    void considerCommand();
    void sayConnected();
    void learnFrom(const RotatorPosition& reading, bool afterPointing);
    qint64 nowMs() const { return m_clock.elapsed(); }
    qint64 utcNowMs() const;
    void takeSetPoint(const companions::SetPoint& setPoint);
    TrackingColumns trackingColumns(const RotatorPosition& reading) const;

    BridgeOptions m_options;
    companions::PointingReceiver m_receiver;
    RotctldClient m_client;
    CommandPolicy m_policy;
    RotatorProfile m_profile;  // fed here alone, from every reading and every P answered
    TrackingLog m_log;
    QTimer m_pollTimer;
    companions::CompanionElapsedTimer m_clock;  // tracking's intervals and the rotator's rates, in the companions' time

    RotatorFrame m_frame;
    std::optional<companions::SetPoint> m_setPoint;    // the latest, in the sky's terms
    std::optional<companions::SetPoint> m_target;      // what to point at for it: the set-point or the real sun
    std::optional<TrueSunPointing> m_trueSun;          // with --true-sun
    std::optional<TrueSunDecision> m_trueSunDecision;  // for the latest set-point
    UtcClock m_utcClock;
    std::optional<RotatorPosition> m_present;  // the latest reading on this connection, rotator terms

    // What has been said and not yet resolved, so that it is said once.
    bool m_clampSaid = false;
    bool m_unreachableSaid = false;
    std::optional<int> m_pointingRefusedSaid;
    std::optional<int> m_positionRefusedSaid;
    bool m_logFailureSaid = false;
    std::optional<double> m_stepSaid;
    double m_thresholdSaid = 0;
    bool m_commandsHeld = false;
    bool m_connectedSaid = false;
    bool m_connectedPending = false;  // waiting for the rotator's first answer on this connection
    bool m_limitsReported = false;
};

}  // namespace heliotrope::rotctl
