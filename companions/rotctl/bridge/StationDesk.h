#pragma once

// The running bridge's answers to the station's requests (its request
// socket, StationServer): measurements on its own rotctld connection, the
// operator's stow, stop and resume, and its status. Every measurement runs
// here, the one the bridge's own command line asked for too, so that what
// is said of the rotator is said of every measurement alike. One
// measurement at a time, and none while the rotator is held stowed or
// stopped: the rotator is one. A stow or stop asked while any measurement
// runs ends the measurement first, for it is the operator's word on the
// antenna's safety.

#include "companions/rotctl/bridge/BridgeOptions.h"
#include "companions/rotctl/bridge/DeskMeasurement.h"
#include "companions/station/StationServer.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace heliotrope::rotctl {

class Bridge;
class FluxWatch;
class TrackingPower;

class StationDesk : public QObject, public station::StationRequestHandler {
    Q_OBJECT

public:
    StationDesk(Bridge& bridge, const BridgeOptions& options, QObject* parent = nullptr);
    ~StationDesk() override;

    void handleRequest(station::StationReply* reply) override;
    // The measurement the bridge's own command line asked for (checked with
    // checkedMeasurement): run as one asked over the socket, its words on
    // the console alone.
    void measureOwn(const measure::MeasurementRequest& request);
    // At start, before rotctld is connected: the stow or stop a bridge before
    // this one was told and no --resume ended, held again and said.
    void takeUpKeptHold();
    // The calibration the bridge points with, as status shows it.
    void setCalibrationInUse(const QString& text) { m_calibrationInUse = text; }
    bool isMeasuring() const { return m_measurement != nullptr; }
    // The receiver's watch while tracking, when the bridge has one: its
    // reference gives the rotator up to a measurement or a hold, and status
    // says where the dish looks meanwhile.
    void setTrackingPower(TrackingPower* watch, FluxWatch* flux = nullptr)
    {
        m_trackingPower = watch;
        m_fluxWatch = flux;
    }
    void cancelMeasurement();
    // Before the bridge ends (SIGTERM with --stow-on-exit): the stow, a
    // measurement ended first; `done` once rotctld has taken it, or at once
    // when rotctld is not connected, or after a time limit.
    void stowBeforeExit(std::function<void()> done);

    // What the station is doing, one of the first --status line's cases:
    // the page shows it in colour beside the same words.
    enum class State { Measuring,
                       StowWaiting,
                       StowAwaited,
                       StowRefused,
                       StowUnanswered,
                       MovingToStow,
                       Stowed,
                       Stopped,
                       StopRefused,
                       OnReference,
                       TrackingBySelf,
                       Night,
                       TrackingWindow,
                       NoSetPoint };
    State state() const;
    // Its words, the first line --status prints.
    QString stateLine() const { return stateText(state()); }
    // When the rotator was first seen at the stow (UTC ms), while stowed.
    const std::optional<qint64>& stowReachedUtcMs() const { return m_stowReachedUtcMs; }
    const QString& calibrationInUse() const { return m_calibrationInUse; }
    // What --status answers, line by line.
    QString statusText() const;
    // The operator's stow or stop (at the bridge's stow position) and resume,
    // asked other than over the socket (the station's page): as the socket's
    // requests, `done` with whether rotctld took it and the words said.
    using HoldAsked = std::function<void(bool taken, const QString& text)>;
    void askHold(bool stop, HoldAsked done);
    QString askResume();

signals:
    void notice(const QString& line);
    // A finding the operator must not miss (the station's health).
    void warning(const QString& line);
    void progress(const QString& line);

private:
    using HoldDone = std::function<void(station::StationCode, const QString&)>;

    void measure(station::StationReply* reply);
    // The measurement starts; `reply` is its asker over the socket, or none
    // for the bridge's own.
    void begin(const measure::MeasurementRequest& request, station::StationReply* reply);
    // Stow (a position, else the bridge's, else park) or stop, a measurement
    // ended first; `done` with rotctld's answer. `keep`: the operator's word,
    // held by a restarted bridge too; the stow before the bridge ends is not,
    // or every reboot would leave the dish stowed.
    void holdRotator(bool stop, std::optional<heliotrope::rotator::RotatorPosition> target, bool keep, HoldDone done);
    // What the hold is from now, kept for a restarted bridge, and said.
    void beginHold(bool stop, const std::optional<rotator::RotatorPosition>& target, bool sent, bool keep);
    void holdAnswered(int returnCode);
    void holdLost();
    // Every reading, whoever asked for it: whether a stow has arrived.
    void onReading(const rotator::RotatorPosition& reading);
    QString selfTrackingStatus() const;
    void measurementFinished(station::StationCode code);
    void takeUpCalibration();
    QString stateText(State state) const;

    Bridge& m_bridge;
    BridgeOptions m_options;
    TrackingPower* m_trackingPower = nullptr;
    FluxWatch* m_fluxWatch = nullptr;
    QString m_calibrationInUse;
    std::unique_ptr<DeskMeasurement> m_measurement;
    QPointer<station::StationReply> m_measurementReply;
    bool m_measuringCalibration = false;  // its offsets, once saved, are pointed with
    QString m_progress;                   // the measurement's latest, for status
    std::function<void()> m_afterMeasurement;
    std::vector<HoldDone> m_holdWaiting;  // rotctld's answer to the hold is awaited
    QTimer m_holdTimer;
    // What became of the latest stow or stop. Status says what the rotator
    // is seen to do: a stow taken by rotctld is "moving" until the rotator
    // reads there.
    enum class HoldAnswer { NotSent,
                            Awaited,
                            Taken,
                            Refused,
                            Unanswered };
    HoldAnswer m_holdAnswer = HoldAnswer::NotSent;
    int m_holdRefusal = 0;                              // rotctld's RPRT, when refused
    std::optional<qint64> m_stowReachedUtcMs;           // when the rotator was first seen at the stow
    std::optional<rotator::RotatorPosition> m_stillAt;  // after a park: where the readings have stayed, since when
    qint64 m_stillSinceUtcMs = 0;
};

// The options of a measurement asked over the socket, read with the table
// the asker's command line read them with, in the running bridge's sky (its
// site, when it has one, and its air in true-sun mode) and on its clock
// unless the request gives its own. Nothing, with the reason, when they are
// not usable; `notes` says where the request's site or clock differs from
// the running bridge's, and which holds.
std::optional<RunOptions> askedMeasurement(const station::StationRequest& request, const BridgeOptions& bridge,
                                           QString* problem, QStringList* notes);

}  // namespace heliotrope::rotctl
