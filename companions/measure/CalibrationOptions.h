#pragma once

// What heliotrope-rotctl's calibration on the sun is asked to do: the
// pattern, its size, how long each point is measured, and where the power is
// read. Parsed with the bridge's other options, from its command line.

#include "companions/measure/MeasurementOptions.h"
#include "companions/power/PowerSourceChoice.h"
#include "companions/sky/TrueSun.h"

#include <QString>
#include <QStringList>
#include <QTime>

#include <optional>

namespace heliotrope::measure {

enum class CalibrationPattern {
    Cross,      // a cut in cross-elevation and one in elevation through the sun, each fitted
    FivePoint,  // on the sun, ±step in each axis and the baseline off the sun; closed form
};

// The pattern's name, as --calibrate, a request and the station's record take it.
QString patternName(CalibrationPattern pattern);
std::optional<CalibrationPattern> patternNamed(const QString& name);

struct CalibrationOptions {
    CalibrationPattern pattern = CalibrationPattern::Cross;
    double beamwidth = 0;        // degrees, full width at half maximum, the dish's nominal
    std::optional<double> span;  // degrees either side of the sun; default 1.5 beamwidths
    std::optional<double> step;  // degrees; default half a beamwidth
    // Power read this long at each point unless --dwell says otherwise; the
    // rest of how a point is settled and read is shared with the sun-noise
    // run, in MeasurementOptions.
    static constexpr double kDefaultDwellSeconds = 2;
    heliotrope::sky::Site site;
    // The sky the sun is placed in: the same refraction as tracking and the
    // sun-noise run (--refraction), so that offsets measured here apply there.
    heliotrope::sky::Refraction refraction = heliotrope::sky::Refraction::Radio;
    heliotrope::sky::Atmosphere atmosphere;
    QString outputBase;  // picture and CSV: outputBase + ".png" / ".csv"; empty: named after the time
    // A series: the next scan this many minutes after the previous one began,
    // while the sun stays high enough, up to `until` (JST) when given.
    std::optional<double> everyMinutes;
    std::optional<QTime> until;
    // Taken over the top: the sun commanded as azimuth + 180°, elevation
    // 180° − e. Such a scan's offsets are the mount's error on the other side
    // of the zenith, for the pointing model, never the tracking offsets.
    bool overTheTop = false;

    double spanDegrees() const { return span.value_or(1.5 * beamwidth); }
    double stepDegrees() const { return step.value_or(0.5 * beamwidth); }
};

// The calibration's options, added to the bridge's parser.
void addCalibrationOptions(companions::CompanionCommandLine& commandLine);
// The table itself: what a request to a running bridge may carry.
std::span<const companions::OptionRow> calibrationOptionRows();
// Nothing when --calibrate is not given; otherwise the options, each problem
// (in Japanese and English) appended to `problems`.
std::optional<CalibrationOptions> readCalibrationOptions(companions::CompanionCommandLine& commandLine);

}  // namespace heliotrope::measure
