#pragma once

// The sun's flux as a series of clean readings (none the station flagged),
// and what is looked for in it: interference spikes, the running quiet level
// with its scatter, and the bursts above it. FluxDay.h says what each is;
// this is how they are found.

#include "companions/flux/FluxDay.h"

#include <optional>
#include <vector>

namespace heliotrope::flux {

struct SeriesPoint {
    double utc = 0;
    double fluxSfu = 0;
    double sfuPerY = 0;  // F at the point: the flux plus it is the whole power received, as flux
};

// The typical spacing of the points (their median), seconds; 1 with fewer than two.
double cadenceSeconds(const std::vector<SeriesPoint>& points);

// One reading's noise relative to its flux, from the differences of
// neighbouring points (a robust scatter, so that spikes and bursts do not
// count): what is left when the sun's own slow changes are taken out.
double readingNoise(const std::vector<SeriesPoint>& points, double cadence);

// Which points (in time order) are spikes: runs of points above the median
// of their neighbours by options.spikeSigma × noise, no longer than
// options.longestSpikeSeconds, the flux on both sides of the run the same
// within that margin. A burst's rise or top has different flux on its two
// sides and is never one.
std::vector<bool> findSpikes(const std::vector<SeriesPoint>& points, double noise, double cadence, const FluxOptions& options);

struct QuietAndBursts {
    std::vector<std::optional<double>> quietSfu;  // for each point
    std::vector<double> quietScatterSfu;
    std::vector<bool> inBurst;
    std::vector<FluxBurst> bursts;  // the station's own errors only; the scale is the caller's to add
};

// The quiet level and the bursts of points without spikes, in time order.
// The quiet level is worked out again without the bursts found, until they
// settle (three times at most), so that a burst does not lift the level it
// is measured against. `rounding`, the readings' step as a relative error of
// the power (stepRelativeError), is the least the quiet level's scatter can
// be, and is in the bursts' errors.
QuietAndBursts findQuietAndBursts(const std::vector<SeriesPoint>& points, double cadence, const FluxOptions& options,
                                  double rounding = 0);

}  // namespace heliotrope::flux
