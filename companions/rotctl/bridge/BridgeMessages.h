#pragma once

// Everything the bridge says to the operator while it runs, worded here and
// only here (its answers to the station's requests and its status in
// DeskMessages.h), from the figures of what happened: Japanese first, then the same
// in English on the next line, and what to do next where there is something
// to do. A notice is worded when it is said, never before.

#include "companions/common/PointingRead.h"
#include "companions/measure/SavedCalibration.h"
#include "companions/mount/SavedPointingModel.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotctl/truesun/TrueSunOptions.h"

#include <QHostAddress>
#include <QString>

#include <optional>

namespace heliotrope::rotctl::said {

QString listening(const QString& listenEndpoint, const QString& rotctldEndpoint);
QString reportAddress(const QHostAddress& address, quint16 port);
QString allowedSenders(const QString& allowList);
QString halfTurnRange();
QString trueSunMode(const TrueSunOptions& trueSun);
QString measurementsOnRealSun(const TrueSunOptions& trueSun);
// Tracking by itself (--track-sun): the mode, the sun coming up over the
// rotator's lowest elevation and going down below it, and the window's
// set-points against what the bridge points at.
QString selfTrackingMode(const TrueSunOptions& trueSun, const std::optional<rotator::RotatorPosition>& nightStow);
QString selfTrackingDay(double azimuth, double elevation);
QString selfTrackingNight(double azimuth, double elevation, std::optional<qint64> sunriseUtcMs, bool stowed);
QString windowApart(const companions::SetPoint& window, const companions::SetPoint& tracked, double degrees);
QString windowAgrees();
// The rotator does not follow what it was told (stuck, or its controller's
// reading frozen), since `since` (JST); and follows again.
QString rotatorNotFollowing(const rotator::RotatorPosition& commanded, const rotator::RotatorPosition& reading, const QString& since);
QString rotatorFollowsAgain(const rotator::RotatorPosition& reading);
// limitsReported: rotctld's \dump_state gave them; givenLimits: how many of
// the four the command line gave (all four: none is rotctld's).
QString connected(const QString& rotctldEndpoint, const rotator::RotatorLimits& limits, bool limitsReported, int givenLimits);
QString limitsUnreachable();
// rotctld's backend has no park (K), and no --stow-position was given.
QString noParkToStowAt();
QString rotatorStep(double step, bool givenByOption);
QString thresholdRaised(double step, double deadBand, double threshold);
QString positionReadAgain();
QString logUnwritable(const QString& path);
QString positionRefused(int returnCode);
QString pointingTakenAgain();
QString pointingRefused(int returnCode);
QString setPointClamped(const companions::SetPoint& setPoint, const rotator::RotatorLimits& limits, double azimuth, double elevation);

// The station's request socket.
QString takingRequests(const QString& socketPath);
QString noRequests();
QString stowingBeforeExit();

QString savedCalibrationUsed(const measure::SavedCalibration& saved, const QString& where);
QString savedCalibrationOtherSky(heliotrope::sky::Refraction measuredWith, heliotrope::sky::Refraction pointingWith);
QString pointingModelUsed(const mount::SavedPointingModel& saved, const QString& where);
QString pointingModelSetAside();
QString pointingModelSiteUnchecked(const heliotrope::sky::Site& fittedAt);

}  // namespace heliotrope::rotctl::said
