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
#include "companions/rotator/MotionWatch.h"
#include "companions/rotctl/bridge/BridgeOptions.h"
#include "companions/rotctl/bridge/SelfTracking.h"
#include "companions/rotctl/truesun/TrackingLog.h"
#include "companions/rotctl/truesun/TrueSunPointing.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>

namespace heliotrope::rotctl {

class Bridge : public QObject, public heliotrope::measure::RotatorLender {
    Q_OBJECT

public:
    explicit Bridge(const BridgeOptions& options, QObject* parent = nullptr);

    // Binds the UDP socket, opens the log and begins connecting to rotctld;
    // false with the reason in Japanese when the socket or the log cannot be
    // opened (rotctld not running is not a reason: it is waited for).
    bool start(QString* problem);
    quint16 localPort() const { return m_receiver.localPort(); }
    heliotrope::hamlib::RotctldClient& rotctld() override { return m_client; }
    // The rotator's frame as the bridge uses it (range, limits once rotctld
    // is connected, offsets).
    const heliotrope::rotator::RotatorFrame& frame() const override { return m_frame; }
    // While a measurement drives the rotator the bridge sends no P of its own;
    // given back, it points at the latest set-point again.
    const heliotrope::rotator::RotatorProfile& rotatorProfile() const override { return m_profile; }
    void lendRotator() override { holdCommands(true); }
    void takeRotatorBack() override { holdCommands(false); }
    void holdCommands(bool held);
    bool commandsHeld() const { return m_commandsHeld; }

    // The operator's hold, asked over the station socket: the bridge stops
    // obeying set-points and holds the rotator stowed (at a position in the
    // rotator's terms, or at the controller's park with Hamlib's K) or
    // stopped where it is (Hamlib's S), until resume(). A stow is sent again
    // on every new rotctld connection, so that a rotator the link lost still
    // reaches it. holdAnswered() gives rotctld's answer to the S, P or K.
    enum class Hold { None,
                      Stowed,
                      Stopped };
    // False when rotctld is not connected: the hold stands, the command goes
    // once it is (a stow), or is pointless by then (a stop).
    bool stow(const std::optional<heliotrope::rotator::RotatorPosition>& rotatorTarget);
    bool stopRotator();
    void resume();
    Hold hold() const { return m_hold; }
    const std::optional<heliotrope::rotator::RotatorPosition>& stowTarget() const { return m_stowTarget; }
    bool rotctldReady() const { return m_client.isReady(); }

    // What status shows: the latest reading (rotator terms) and set-point (sky terms).
    const std::optional<heliotrope::rotator::RotatorPosition>& present() const { return m_present; }
    // Since when (UTC ms) rotctld, connected, has refused every p, and its
    // code: the controller behind it silent or its line cut. The reading
    // present() holds is then the last one it gave, not where the dish is.
    // Nothing while rotctld itself is lost: that is said as such.
    std::optional<qint64> positionUnreadSinceUtcMs() const { return m_client.isReady() ? m_positionUnreadSinceUtcMs : std::nullopt; }
    const std::optional<int>& positionRefusedCode() const { return m_positionRefusedSaid; }
    const std::optional<companions::SetPoint>& setPoint() const { return m_setPoint; }
    // --track-sun: what the bridge points at by itself, for status; nothing
    // before the first tick or without the mode.
    bool tracksBySelf() const { return m_selfTracking.has_value(); }
    // Whether the rotator does what it is told.
    const heliotrope::rotator::MotionWatch& motionWatch() const { return m_watch; }
    const std::optional<SelfTrackingTarget>& selfTarget() const { return m_selfTarget; }
    // A calibration made while running: pointed with from now on.
    void applyOffsets(double azimuthOffset, double elevationOffset, const PointingInForce& source);
    // Where the frame's offsets or model came from.
    const PointingInForce& pointingInForce() const { return m_pointingInForce; }

    // The UTC clock, milliseconds since 1970 (the system's by default), which
    // true-sun mode computes the sun for and the log is stamped with; a test
    // stands at a chosen instant with it.
    using UtcClock = std::function<qint64()>;
    void setUtcClock(UtcClock clock) { m_utcClock = std::move(clock); }
    // The instant the sun is computed for, UTC seconds: that clock and --clock-offset.
    double sunUtcSeconds() const;
    companions::PointingReceiver::Counts receivedCounts() const { return m_receiver.counts(); }

signals:
    // A line for the operator.
    void notice(const QString& line);
    // A finding the operator must not miss (a rotator that does not follow).
    void warning(const QString& line);
    // rotctld is connected and its limits are known (frame() holds them).
    void rotatorReady();
    // rotctld's answer to the hold's command (0: taken).
    void holdAnswered(int returnCode);

private:
    void onSetPoint(const companions::SetPoint& setPoint);
    void onReady(const std::optional<heliotrope::rotator::RotatorLimits>& reported);
    void onLost(const QString& line);
    void onPosition(const heliotrope::rotator::RotatorPosition& reading, bool afterPointing);
    void onPositionRefused(int returnCode);
    void onPointingAnswered(int returnCode, const heliotrope::rotator::RotatorPosition& sent);
    void poll();
    void considerCommand();
    bool sendHold();
    bool obeying() const { return !m_commandsHeld && m_hold == Hold::None; }
    void sayConnected();
    void learnFrom(const heliotrope::rotator::RotatorPosition& reading, bool afterPointing);
    qint64 nowMs() const { return m_clock.elapsed(); }
    qint64 utcNowMs() const;
    void takeSetPoint(const companions::SetPoint& setPoint);
    // Every tick with --track-sun: the sun or the night's position commanded.
    void trackBySelf();
    // The window's set-point, judged against the bridge's own target, not followed.
    void compareWindow(const companions::SetPoint& setPoint);
    TrackingColumns trackingColumns(const heliotrope::rotator::RotatorPosition& reading) const;

    BridgeOptions m_options;
    companions::PointingReceiver m_receiver;
    heliotrope::hamlib::RotctldClient m_client;
    heliotrope::rotator::CommandPolicy m_policy;
    heliotrope::rotator::RotatorProfile m_profile;  // fed here alone, from every reading and every P answered
    heliotrope::rotator::MotionWatch m_watch;       // likewise, whoever commanded
    qint64 m_notFollowingRetryMs = 0;               // the last P sent to a rotator that does not follow
    TrackingLog m_log;
    QTimer m_pollTimer;
    companions::CompanionElapsedTimer m_clock;  // tracking's intervals and the rotator's rates, in the companions' time

    heliotrope::rotator::RotatorFrame m_frame;
    PointingInForce m_pointingInForce;                 // changed only with m_frame's offsets or model
    std::optional<companions::SetPoint> m_setPoint;    // the latest, in the sky's terms
    std::optional<companions::SetPoint> m_target;      // what to point at for it: the set-point or the real sun
    std::optional<TrueSunPointing> m_trueSun;          // with --true-sun
    std::optional<TrueSunDecision> m_trueSunDecision;  // for the latest set-point
    std::optional<SelfTracking> m_selfTracking;        // with --track-sun
    std::optional<SelfTrackingTarget> m_selfTarget;    // its latest
    QTimer m_selfTimer;
    std::optional<bool> m_nightSaid;  // whether night or day was said last
    bool m_windowApartSaid = false;
    UtcClock m_utcClock;
    std::optional<heliotrope::rotator::RotatorPosition> m_present;  // the latest reading on this connection, rotator terms

    // What has been said and not yet resolved, so that it is said once.
    bool m_clampSaid = false;
    bool m_unreachableSaid = false;
    // Whether rotctld was asked if its backend can park: once, when no
    // --stow-position stands in for the park.
    bool m_parkAsked = false;
    std::optional<int> m_pointingRefusedSaid;
    std::optional<int> m_positionRefusedSaid;
    std::optional<qint64> m_positionUnreadSinceUtcMs;
    bool m_logFailureSaid = false;
    std::optional<double> m_stepSaid;
    double m_thresholdSaid = 0;
    bool m_commandsHeld = false;
    Hold m_hold = Hold::None;
    std::optional<heliotrope::rotator::RotatorPosition> m_stowTarget;  // none while stowed: Hamlib's park
    bool m_holdAnswerPending = false;                                  // a P of the stow on its way, not a measurement's
    bool m_trackingAnswerFirst = false;                                // tracking's P was on its way when the stow's went
    bool m_connectedSaid = false;
    bool m_connectedPending = false;  // waiting for the rotator's first answer on this connection
    bool m_limitsReported = false;
};

}  // namespace heliotrope::rotctl
