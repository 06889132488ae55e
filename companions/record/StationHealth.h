#pragma once

// Whether the station is weakening, from its record: a sun-noise Y that fell
// below what the same frequency usually gives (a failing LNA, water in a
// connector), or a calibration whose offsets moved by a good part of the beam
// since the last one (a feed knocked off axis, a slipped clamp). Pure
// functions of the record's values; the words are in one place, below.

#include "companions/record/StationRuns.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace heliotrope::record {

struct HealthThresholds {
    double yDropDecibels = 1.0;        // --health-drop
    double offsetBeamFraction = 0.25;  // of the beamwidth
    int medianOf = 10;                 // the runs before the latest that make the usual Y
    int fewestForMedian = 3;           // fewer than this: nothing to compare with
};

struct YDropWarning {
    double frequencyMegahertz = 0;
    double latestDecibels = 0;
    double medianDecibels = 0;  // of the runs before the latest
    double dropDecibels = 0;    // median − latest, > threshold
    int runsLow = 0;            // the latest and the runs just before it, all as low
    QDateTime began;            // the first of those runs
};

struct OffsetMoveWarning {
    double movedDegrees = 0;      // on the sky: √((Δaz cos el)² + Δel²)
    double beamwidthDegrees = 0;  // the latest calibration's, both axes' mean
    double azimuthChange = 0;     // degrees of azimuth, latest − previous
    double elevationChange = 0;
    QDateTime previous;
    QDateTime began;  // the latest calibration's time
};

// `runs`: sun-noise runs with a Y at one frequency, oldest first, the latest
// last (StationRecord::lastSunNoiseAt(f, medianOf + 1) gives them). A warning
// when the latest Y lies more than the threshold below the median of those
// before it.
std::optional<YDropWarning> yDropWarning(const std::vector<RecordedSunNoise>& runs,
                                         const HealthThresholds& thresholds = {});

// Both found offsets; a warning when they moved on the sky by more than the
// fraction of the latest beamwidth (its fit, else `nominalBeamwidth`).
std::optional<OffsetMoveWarning> offsetMoveWarning(const RecordedCalibration& previous, const RecordedCalibration& latest,
                                                   double nominalBeamwidth, const HealthThresholds& thresholds = {});

// The warnings for the operator and the journal: Japanese, newline, English.
QString warningText(const YDropWarning& warning);
QString warningText(const OffsetMoveWarning& warning);

class StationRecord;

// What the record says of the station's health now, for the bridge's status:
// the latest Y with the usual one beside it, or its warning since it began;
// the latest offsets, or their warning. Lines in pairs, Japanese then English.
QStringList healthLines(const StationRecord& record, const HealthThresholds& thresholds = {});

}  // namespace heliotrope::record
