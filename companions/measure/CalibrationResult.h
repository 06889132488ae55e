#pragma once

// What a calibration on the sun measured and what it found. Offsets on the
// sky are in degrees of cross-elevation (along the horizon's great circle
// through the sun, Δxel = Δaz × cos el) and of elevation, taken from the
// rotator's own reading minus the true sun: the beam's peak found at +0.4° of
// azimuth means the rotator reads 0.4° more than the dish points, which is
// the bridge's --az-offset convention.

#include "companions/beamfit/BeamFit.h"
#include "companions/common/ConsoleText.h"
#include "companions/measure/CalibrationOptions.h"
#include "companions/measure/Dwell.h"

#include <QString>

#include <vector>

namespace heliotrope::measure {

enum class PointRole {
    CrossElevation,  // on the cut in cross-elevation
    Elevation,       // on the cut in elevation
    Centre,          // five-point: on the sun, in both axes
    Baseline,        // five-point: off the sun, for the baseline
};

// The role as the CSV and the station's record name it: "xel", "el", "centre", "baseline".
QString pointRoleName(PointRole role);

struct MeasuredPoint {
    PointRole role = PointRole::CrossElevation;
    double plannedCrossElevation = 0;  // degrees from the sun, as commanded
    double plannedElevation = 0;
    bool skipped = false;       // the rotator never settled there
    double crossElevation = 0;  // degrees from the sun, as read back (reading − sun)
    double elevation = 0;
    Dwell dwell;            // the power there, when, and where the rotator read
    double sunAzimuth = 0;  // degrees, the true sun at the dwell's middle
    double sunElevation = 0;
};

struct CalibrationOutcome {
    CalibrationPattern pattern = CalibrationPattern::Cross;
    std::vector<MeasuredPoint> points;
    heliotrope::beamfit::BeamFitResult crossElevationFit;
    heliotrope::beamfit::BeamFitResult elevationFit;
    double sunElevation = 0;  // degrees, mean over the points, for Δaz = Δxel / cos el
    bool ok = false;
    QString refusal;           // when not ok: why, in Japanese and English
    QString refusalEnglish;    // the same in English alone, for the picture
    double azimuthOffset = 0;  // degrees, the bridge's convention
    double elevationOffset = 0;
    double azimuthOffsetError = 0;  // one standard deviation
    double elevationOffsetError = 0;
    // Taken over the top: the offsets are reading − beam in the mount's
    // flipped angles (azimuth + 180°, elevation 180° − e).
    bool overTheTop = false;
};

// The points of a cut along one axis, for the fit.
std::vector<heliotrope::beamfit::CutPoint> cutPoints(const std::vector<MeasuredPoint>& points, PointRole axis);

// Fits the cuts (cross) or solves the five points, and turns the centres into
// offsets. beamwidth: the nominal one, to start the fit.
CalibrationOutcome evaluateCalibration(CalibrationPattern pattern, std::vector<MeasuredPoint> points, double beamwidth);

// Why a fit was refused, for the operator, in Japanese and English.
companions::Words refusalText(const heliotrope::beamfit::BeamFitResult& fit, const QString& axisJa, const QString& axisEn);

}  // namespace heliotrope::measure
