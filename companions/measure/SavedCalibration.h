#pragma once

// The offsets found by the last calibration on the sun, kept in the user's
// configuration (~/.config/heliotrope/heliotrope-rotctl.conf, or under
// $XDG_CONFIG_HOME) so that the next run of the bridge points with them;
// and beside them the mount's pointing model fitted from the recorded scans,
// which, once saved, takes their place.

#include "companions/pointing/PointingModel.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace heliotrope::measure {

struct SavedCalibration {
    double azimuthOffset = 0;    // degrees, how much the rotator's reading exceeds the true direction
    double elevationOffset = 0;  // degrees
    QDateTime measuredUtc;
    // The sky the offsets were measured against; a calibration saved before
    // this was kept was measured against the radio-refracted sun.
    heliotrope::sky::Refraction refraction = heliotrope::sky::Refraction::Radio;
};

// False when the configuration cannot be written.
bool saveCalibration(const SavedCalibration& calibration);
// Nothing when none was saved, or when what is there is not a pair of offsets.
std::optional<SavedCalibration> loadCalibration();
// Where it is kept, for the operator.
QString calibrationSettingsPath();

struct SavedPointingModel {
    heliotrope::pointing::MountModel model;  // its azimuth range start with it
    // The station whose scans it was fitted from: the model belongs to that
    // mount, and the bridge of another site refuses it.
    heliotrope::sky::Site site;
    heliotrope::sky::Refraction refraction = heliotrope::sky::Refraction::Radio;
    double rmsBefore = 0;  // degrees on the sky, the scans with no model
    double rmsAfter = 0;   // the scans' residuals under the model
    int scans = 0;
    QDateTime fittedUtc;
};

// False when the configuration cannot be written.
bool savePointingModel(const SavedPointingModel& saved);
// Nothing when none was saved or what is there is not a model.
std::optional<SavedPointingModel> loadPointingModel();

// Why the bridge must not apply a saved model, Japanese, newline, English:
// fitted at another site (more than kModelSiteKilometres away), for another
// azimuth range, or one whose commands for the sky the rotator covers would
// not converge or would move the beam by more than kLargestModelShift — no
// mount's error, and a rotator sent there leaves the sun. Empty when it may
// be applied. `site`: the bridge's --site; without one (plain tracking of the
// window's set-points) the site is not checked, as the offsets never were.
inline constexpr double kModelSiteKilometres = 1.0;
inline constexpr double kLargestModelShift = 5.0;  // degrees on the sky
QString pointingModelRefusal(const SavedPointingModel& saved, const std::optional<heliotrope::sky::Site>& site,
                             rotator::AzimuthRange range);
// The azimuth range's start, as the model reckons its azimuth scale from.
double azimuthRangeStart(rotator::AzimuthRange range);

}  // namespace heliotrope::measure
