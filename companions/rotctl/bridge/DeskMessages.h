#pragma once

// What the bridge answers to the station's requests and says of the rotator
// it holds (StationDesk): the stow, the stop and the resume, a measurement
// refused or ended, and the status lines. Worded here and only here, as the
// bridge's other words are in BridgeMessages.h: Japanese first, then the same
// in English on the next line. A status line says what the rotator is seen
// to do, never only what it was told.

#include "companions/common/PointingRead.h"
#include "companions/pointing/PointingModel.h"
#include "companions/rotator/RotatorPosition.h"
#include "companions/rotctl/bridge/PointingInForce.h"

#include <QString>

#include <optional>

namespace heliotrope::rotctl::said {

// A measurement asked while the rotator is held: stowed, else stopped.
QString heldForRequest(bool stowed);
// The command line's own measurement, not begun for the same reason.
QString ownMeasurementSkipped(bool stowed);
QString measurementAlreadyRuns();
QString noMeasurementRuns();
QString measurementEnded();
// `bySelf`: the bridge tracks the sun itself (--track-sun), not the window's set-points.
QString alreadyFollowing(bool bySelf);
QString resumedAsAsked(bool bySelf);
QString trackingAgain();
// An option the asker gave that the running bridge has its own value of.
QString askersOptionSetAside(const QString& name, const QString& theirs, const QString& running);
// An option the asker gave that is the running bridge's own, as given.
QString askersOptionNotCarried(const QString& given);
// The asker's --clock-offset differs from the running bridge's, and is the one used.
QString askersClockOffsetCounts(const QString& theirs, const QString& running);

// The hold as asked: a stop, a stow at `target`, or at the controller's park.
QString holdAsked(bool stop, const std::optional<rotator::RotatorPosition>& target);
QString holdNotConnected(bool stop);
// rotctld's answer to the hold's command.
QString holdTaken(bool stop);
QString holdRefused(bool stop, int returnCode);
QString holdUnanswered();
// The stow or stop kept in the station's state folder (`path`) for a
// restarted bridge: not written, not removed, not readable (and so held
// stopped).
QString holdNotKept(const QString& path);
QString holdNotForgotten(const QString& path);
QString keptHoldSetAside(const QString& path);
// A restarted bridge holding what it was told before: a stop, a stow at `at`
// or at the park, asked at `asked` (JST).
QString holdTakenUpAgain(bool stop, const std::optional<rotator::RotatorPosition>& at, const QString& asked);
// The rotator read within its reach of the stow, or at rest after a park.
QString stowReached(const std::optional<rotator::RotatorPosition>& target, const rotator::RotatorPosition& at);

// Status. `since`: JST text of when the rotator was seen there.
QString statusMeasuring(const QString& progress);
QString statusStowAwaited(const std::optional<rotator::RotatorPosition>& target);
QString statusStowRefused(const std::optional<rotator::RotatorPosition>& target, int returnCode);
QString statusStowUnanswered(const std::optional<rotator::RotatorPosition>& target);
QString statusStowNotSent(const std::optional<rotator::RotatorPosition>& target);
QString statusMovingToStow(const std::optional<rotator::RotatorPosition>& target);
QString statusStowed(const std::optional<rotator::RotatorPosition>& target, const QString& since);
QString statusStopped();
QString statusStopRefused(int returnCode);
QString statusTracking();
// Tracking by itself: the sun it points at; by night where it waits, and for
// which sunrise (JST text; empty when none comes within two days).
QString statusSelfTracking(double azimuth, double elevation);
QString statusSelfNight(double azimuth, double elevation, const QString& sunrise, bool stowed);
QString statusNoSetPointYet();
QString statusNotConnected(const QString& rotctldEndpoint);
QString statusNotFollowing(const rotator::RotatorPosition& commanded, const rotator::RotatorPosition& reading, const QString& since);
QString statusPosition(const rotator::RotatorPosition& rotator, const rotator::RotatorPosition& sky);
QString statusPositionUnread();
QString statusPositionRefused(int returnCode, const QString& since);
QString statusLastSetPoint(const companions::SetPoint& setPoint);
QString statusLastSetPointNone();
// unseen: how much dead band the readings cannot show (none: the dead band is known).
QString statusStepAndDeadBand(const std::optional<double>& step, double deadBand, double unseen);
QString statusOffsets(double azimuth, double elevation);
// What the commands are corrected with: the saved model (`model`, the one
// applied) with its terms and its fit's rms, constant offsets and where they
// came from, or nothing at all.
QString statusPointing(const PointingInForce& inForce, const std::optional<pointing::MountModel>& model);

}  // namespace heliotrope::rotctl::said
