#pragma once

// The bridge's watch on the receiver while it tracks the sun (--watch-power):
// which source it reads once a second, the beam it reads through, and how
// often and how long it looks at cold sky beside the sun to follow the
// receiver's baseline and gain. Read with the bridge's other options;
// nothing when --watch-power is not given.

#include "companions/flux/FluxDay.h"
#include "companions/power/PowerSourceChoice.h"

#include <optional>

namespace heliotrope::companions {
class CompanionCommandLine;
}

namespace heliotrope::rotctl {

struct TrackingPowerOptions {
    power::PowerSourceChoice source;
    double beamwidthDegrees = 0;  // full width at half maximum
    double referenceEveryMinutes = 10;
    double referenceDwellSeconds = 30;
    double referenceOffsetBeamwidths = 5;  // in cross-elevation, at the sun's elevation
    flux::FluxOptions flux;                // the day's arithmetic, the burst rule given
    // A reference not reached by then is given up and tried again at the next interval.
    static constexpr double kReferenceReachSeconds = 90;
    // Readings are handed to the record in batches this long.
    static constexpr double kBatchSeconds = 60;
};

void addTrackingPowerOptions(companions::CompanionCommandLine& commandLine);
// Each unusable value adds a problem naming its option; `selfOrTrueSun`:
// whether the bridge knows where the sun is (--track-sun or --true-sun with a
// --site), without which a reading cannot be placed beside it.
std::optional<TrackingPowerOptions> readTrackingPowerOptions(companions::CompanionCommandLine& commandLine, bool sunKnown);

}  // namespace heliotrope::rotctl
