#pragma once

// A day of the receiver's readings while the station tracks the sun, turned
// into the sun's flux: each reading's Y against the references on cold sky
// drawn straight between them (so that the receiver's gain is followed from
// one reference to the next), its S by the station's scale (FluxScale.h), the
// readings that cannot stand for the sun flagged with their reasons, the
// running quiet level and the bursts above it, and the day's values. Every
// number carries its error and the scale it stands on. Plain C++, no Qt.
//
// The errors. Each value has two: `error`, the station's own (the readings'
// noise, the references' noise and the gain's wander between them, the air's
// opacity on the day, what the error of the scale's system temperature
// leaves of the air's emission away from the calibration's elevation, and
// the loss to the day's pointing error beyond what is expected of it), what
// tells one day from the next on the station's scale; and `totalError`, that and the scale's own error together, what the
// value is worth beside another station's. The references' and the air's
// errors are shared by many readings and are carried as such into a mean:
// they do not average away.
//
// Readings in whole dB (a radio's S-meter through rigctld) carry the
// rounding besides: up to half a step, uniform, step / √12 in dB. A steady
// receiver reads the same number every second, so the rounding is the same
// in every reading and no mean takes it away: it is carried as shared, the
// sun's readings' and the cold sky's each their own.
//
// Times are Unix UTC seconds.

#include "companions/flux/FluxScale.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace heliotrope::flux {

// What the station was doing when it read the power.
enum class StationState { Tracking,
                          Reference,
                          Stow,
                          Measurement };

struct Reading {
    double utc = 0;
    double power = 0;           // linear, the detector's own units
    double antennaAzimuth = 0;  // where the beam pointed (the rotator's reading through the model or offsets), degrees
    double antennaElevation = 0;
    double sunAzimuth = 0;  // where the sun was, degrees
    double sunElevation = 0;
    std::optional<double> separationDegrees;  // the beam's distance from the sun, when known better than from the angles
    bool moved = false;                       // the rotator moved since the reading before
    StationState state = StationState::Tracking;
};

// Cold sky beside the sun, at the sun's elevation, for a dwell.
struct Reference {
    double startUtc = 0;
    double endUtc = 0;
    PowerMean power;
};

// Why a reading is kept out of the quiet values; a reading may have several.
enum class Flag : unsigned {
    Moved = 1u << 0,              // the rotator moved
    OffSun = 1u << 1,             // more than a tenth of a beam (by default) from the sun
    DuringReference = 1u << 2,    // the dish on cold sky
    DuringStow = 1u << 3,         // the dish stowed
    DuringMeasurement = 1u << 4,  // a sun-noise run or a calibration had the rotator
    Spike = 1u << 5,              // far above its neighbours, and too short to be the sun
    NoReference = 1u << 6,        // no references on both sides within reach: no Y to trust
    SunLow = 1u << 7,             // the sun below the lowest elevation
    Unreadable = 1u << 8,         // a power or an angle that is not a number, or a power not above 0
    // Between two references whose cold sky differs by gainStepDecibels or
    // more against the trend of those before: the receiver's gain stepped
    // somewhere between them, and a straight line between the two is not the
    // gain of the moment.
    GainStep = 1u << 9,
};

bool hasFlag(unsigned flags, Flag flag);
// A short word for each flag, for files and journals: "moved", "off-sun", ...
const char* flagName(Flag flag);
inline constexpr Flag kAllFlags[] = {Flag::Moved, Flag::OffSun, Flag::DuringReference, Flag::DuringStow, Flag::DuringMeasurement,
                                     Flag::Spike, Flag::NoReference, Flag::GainStep, Flag::SunLow, Flag::Unreadable};

// How many beamwidths above the horizon the sun stands before the ground is
// out of the beam (its gain there 0.2 % of the axis's).
inline constexpr double kBeamClearOfTheGround = 1.5;

// A power (linear) that is a whole number of dB, to far below any
// receiver's noise: what a source that rounds to whole dB gives.
bool inWholeDecibels(double power);
// The step of a day's readings, dB: 1 when at least half of its readable
// ones (a power above 0) are whole dB, 0 otherwise. A source that prints
// decimals lands on a whole dB only by chance (one reading in a hundred if
// it prints two); one that rounds, every time. The record keeps the power
// as it came, so a day read back from it is told the same way. Half, not
// all: a bridge restarted with another source mixes the two in one day,
// and the rounding of the larger part is not to be lost to a few readings
// of the other.
double readingStepDecibels(std::size_t wholeDecibels, std::size_t readable);
double readingStepDecibels(const std::vector<Reading>& readings);
// What a step leaves of one reading's power, relative: ln 10 / 10 · step / √12
// (6.6 % for 1 dB; 0 for none).
double stepRelativeError(double stepDecibels);

struct FluxOptions {
    double offSunBeamwidths = 0.1;
    // Readings with the sun lower are flagged SunLow; so are those with the
    // sun within kBeamClearOfTheGround beamwidths of the horizon.
    double lowestElevationDegrees = 5;
    double longestReferenceGapSeconds = 1800;  // readings between references farther apart are not worked out
    // A step of the cold sky from one reference to the next, against the
    // trend drawn from the references before (none at the day's start), dB,
    // and a step more with whole-dB readings (the rounding of two
    // references moves their difference by up to one); and no less than
    // this many of the two references' standard errors.
    double gainStepDecibels = 0.5;
    double gainStepSigma = 5;
    // A spike: readings above the level of the neighbours within
    // spikeNeighbourSeconds by spikeSigma of the readings' noise, for at most
    // longestSpikeSeconds, the flux the same on both sides of it.
    double spikeSigma = 6;
    double longestSpikeSeconds = 10;
    double spikeNeighbourSeconds = 15;
    // A burst: the flux, averaged over smoothingSeconds, above the quiet
    // level by burstSigma times the quiet level's scatter (of single
    // readings), within two standard errors of that average, for
    // burstSeconds; dips shorter than smoothingSeconds and the station's own
    // gaps of up to longestBurstGapSeconds not breaking it (nor counted in
    // its time).
    double burstSigma = 3;
    double burstSeconds = 30;
    double smoothingSeconds = 10;
    double longestBurstGapSeconds = 180;
    double quietWindowSeconds = 7200;  // the running quiet level's median, centred
    // The values at fixed times from the sun's transit, each the mean of the
    // quiet readings within half fixedTimeWindowSeconds of it; and the least
    // number of quiet readings for a value.
    std::vector<double> fixedTimesFromTransitSeconds{-7200, 0, 7200};
    double fixedTimeWindowSeconds = 3600;
    int fewestReadingsForFixedTime = 300;
    int fewestReadingsForDay = 1800;
};

struct FluxReading {
    double utc = 0;
    std::optional<double> y;         // against the references; none without them
    std::optional<double> fluxSfu;   // none without a Y, or beyond half a beam from the sun, where the beam's correction is a guess
    double error = 0;                // SFU, one standard deviation, the station's own
    double totalError = 0;           // SFU, with the scale's
    unsigned flags = 0;              // Flag bits; 0 for a clean reading
    bool inBurst = false;            // within a burst's start and end
    std::optional<double> quietSfu;  // the running quiet level there
    double quietScatterSfu = 0;      // its scatter, of single readings
};

// A burst. Its excess is the flux above the quiet level: at the peak (SFU),
// and over the whole burst (its integral from start to end, SFU·s, the
// station's own gaps in it bridged straight).
struct FluxBurst {
    ScaleKind scale = ScaleKind::GOverT;
    double startUtc = 0;  // where the averaged flux rose above the quiet level by one scatter
    double peakUtc = 0;
    // How far before or after peakUtc the averaged excess still comes within
    // three standard errors of its top, seconds: a slow rise's flat top
    // cannot be timed closer than this, whatever the noise.
    double peakUtcError = 0;
    double endUtc = 0;   // where it fell back under it
    double peakSfu = 0;  // the averaged flux at the peak
    double peakExcessSfu = 0;
    double peakExcessError = 0;  // SFU, the station's own
    double peakExcessTotalError = 0;
    double integratedExcessSfuSeconds = 0;
    double integratedExcessError = 0;
    double integratedExcessTotalError = 0;
    double quietSfu = 0;         // at the peak
    double quietScatterSfu = 0;  // at the peak, of single readings
};

enum class ValueRefusal {
    None,
    NoReadings,   // no quiet readings at all in its time
    TooFewClean,  // fewer quiet readings than a value needs
};

struct FluxValue {
    ScaleKind scale = ScaleKind::GOverT;
    double nominalUtc = 0;  // the fixed time; the transit for the day's value
    double meanUtc = 0;     // the mean time of the readings behind it
    std::optional<double> fluxSfu;
    double error = 0;  // SFU, the station's own
    double totalError = 0;
    int cleanReadings = 0;  // quiet readings behind it: clean, and in no burst
    ValueRefusal refusal = ValueRefusal::None;
};

struct FluxDay {
    ScaleKind scale = ScaleKind::GOverT;
    double scaleRelativeError = 0;
    std::vector<FluxReading> readings;  // in time order
    std::vector<FluxBurst> bursts;      // in time order
    std::vector<FluxValue> atFixedTimes;
    FluxValue daily;
    int referencesUsed = 0;
    double readingNoise = 0;  // one reading's noise, relative to its flux, from the clean readings' differences
    double gainWander = 0;    // the gain's wander between references, relative variance a second
    int gainSteps = 0;        // intervals between references whose readings are flagged GainStep
    // The readings' step, dB (readingStepDecibels: 1 for whole dB, 0 for
    // decimals); and with a step, the least burst the day surely shows:
    // one that raises the power received on the sun by enough whole steps
    // to pass the threshold, SFU, the largest of it over the quiet readings
    // (0 without any). Under it a burst may go unseen.
    double readingStepDecibels = 0;
    double smallestBurstSfu = 0;
};

// When a burst was, or may have been, under way (Unix UTC s): from the last
// quiet reading before its start to the first after its end, for the station
// did not see the sun between them (a measurement, a reference); without
// one before, its start; without one after, the day's latest reading.
struct BurstReach {
    double fromUtc = 0;
    double toUtc = 0;
};
BurstReach burstReach(const FluxDay& day, const FluxBurst& burst);

// The day from its readings and references (in any order), the station and
// the sun's transit (Unix UTC s).
FluxDay workOutDay(const std::vector<Reading>& readings, const std::vector<Reference>& references, const FluxStation& station,
                   double transitUtc, const FluxOptions& options = {});

}  // namespace heliotrope::flux
