#pragma once

// What the station's record keeps of each measurement on the sun, as plain
// values: filled by the bridge from a calibration's outcome or a sun-noise
// run's result, written by StationRecord, read back for the history, the
// picture and the health figures. Angles in degrees, powers in dB, times UTC.
// A run that ended without a result is kept too, with its reason.

#include <QDateTime>
#include <QString>

#include <optional>
#include <variant>
#include <vector>

namespace heliotrope::record {

// A value with one standard deviation.
struct Measured {
    double value = 0;
    double error = 0;
};

// Where the station stands: degrees north and east, metres above the ellipsoid.
struct RecordedSite {
    double latitude = 0;
    double longitude = 0;
    double height = 0;
};

// One point of a calibration: where it was asked to be, where the rotator
// read, where the sun was and what the power was there.
struct RecordedPoint {
    QString role;                      // "xel", "el", "centre", "baseline"
    double plannedCrossElevation = 0;  // degrees from the sun, as commanded
    double plannedElevation = 0;
    bool skipped = false;       // the rotator never settled there
    double crossElevation = 0;  // degrees from the sun, as read back
    double elevation = 0;
    double power = 0;   // dB, mean of the readings
    double spread = 0;  // dB, their standard deviation
    int count = 0;
    QDateTime utc;
    double sunAzimuth = 0;
    double sunElevation = 0;
    double readAzimuth = 0;  // the rotator's own reading
    double readElevation = 0;
    double positionUncertainty = 0;
};

struct RecordedCalibration {
    qint64 id = 0;  // the record's number; 0 until written
    QDateTime utc;  // when the run ended
    RecordedSite site;
    QString pattern;  // "cross" or "five"
    std::vector<RecordedPoint> points;
    // Found: the offsets in the bridge's convention (the rotator's reading
    // minus the true direction, degrees of azimuth and of elevation).
    bool found = false;
    QString reason;      // when nothing was found, or found and not saved: Japanese, newline, English
    bool saved = false;  // the offsets were saved and applied
    // Taken over the top (azimuth + 180°, elevation 180° − e): the offsets
    // are the rotator's reading minus the flipped sun, for the pointing model
    // only; never saved, never compared with the straight scans'.
    bool overTheTop = false;
    std::optional<Measured> azimuthOffset;
    std::optional<Measured> elevationOffset;
    std::optional<Measured> crossElevationBeamwidth;  // full width at half maximum
    std::optional<Measured> elevationBeamwidth;
    std::optional<Measured> yDecibels;  // the sun over the baseline at the beam's centre
    double sunElevation = 0;            // mean over the points
    QString refraction;                 // "none", "optical", "radio"
    std::optional<double> rotatorStep;  // degrees, as the bridge learnt it
    double deadBand = 0;                // degrees
    QString programVersion;
    // A rehearsal (--clock-offset: the sun of another hour, by seconds): kept
    // at the sun's time, but apart from the station's own history, out of
    // the health figures and the pointing fit.
    double clockOffsetSeconds = 0;
    bool rehearsal() const { return clockOffsetSeconds != 0; }
    // A solar radio burst was, or may have been, under way while it ran (the
    // flux watch finds a burst minutes after it began): the sun was not the
    // quiet sun the fit assumes. Out of the health figures.
    bool duringBurst = false;
};

enum class FluxSource { Assumed,
                        TypedForTheDay };

struct RecordedRepeat {
    double sunDecibels = 0;
    double coldDecibels = 0;
};

struct RecordedSunNoise {
    qint64 id = 0;
    QDateTime utc;         // when the run ended
    QDateTime startedUtc;  // when it began to measure; invalid for runs kept before it was

    RecordedSite site;
    std::vector<RecordedRepeat> repeats;
    bool found = false;
    QString reason;  // when no Y was measured: Japanese, newline, English
    std::optional<double> yDecibels;
    std::optional<double> yDecibelsDeviation;  // sample standard deviation over the repeats
    std::optional<double> expectedYDecibels;
    std::optional<double> gOverTDecibelsPerKelvin;
    bool gainControlWarning = false;  // Y implausibly low: the receiver's AGC, or not on the sun
    std::optional<double> fluxSfu;
    // Where the flux came from: the run's --flux (a station's usual value, so
    // its G/T is only as good as that assumption), or the day's own flux
    // typed in afterwards with --set-flux.
    FluxSource fluxSource = FluxSource::Assumed;
    std::optional<double> frequencyMegahertz;
    std::optional<double> dishDiameterMetres;
    QString programVersion;
    double clockOffsetSeconds = 0;  // a rehearsal, as for a calibration
    bool rehearsal() const { return clockOffsetSeconds != 0; }
    // As for a calibration; nor a scale for the day's flux: a burst's
    // excess over the quiet sun's typed flux would raise G/T, and lower
    // every flux worked out on it.
    bool duringBurst = false;
};

// One entry of the history, either kind.
using StationRun = std::variant<RecordedCalibration, RecordedSunNoise>;

// A time of the record as the operator reads it, to the minute: "2026-12-10 03:12 UTC".
inline QString recordTimeText(const QDateTime& utc)
{
    return utc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'"));
}

inline QDateTime runUtc(const StationRun& run)
{
    return std::visit([](const auto& r) { return r.utc; }, run);
}

}  // namespace heliotrope::record
