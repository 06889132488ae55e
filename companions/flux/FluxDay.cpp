#include "companions/flux/FluxDay.h"

#include "companions/flux/QuietAndBursts.h"
#include "companions/sunnoise/SunNoise.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <map>
#include <numeric>

namespace heliotrope::flux {

namespace {

constexpr double kDegree = 3.14159265358979 / 180.0;
// Beyond half a beam from the sun the beam's correction is more than
// doubling the flux, and a small pointing error a large one: no S there.
constexpr double kLeastGainForFlux = 0.5;
// A power is whole dB when its dB lies this close to a whole number: far
// inside any receiver's noise, far outside the arithmetic's rounding.
constexpr double kWholeDecibelTolerance = 1e-6;
// The sun's readings and the cold sky's are rounded each on its own: Y's
// share of the step is √2 of one reading's.
const double kBothRounded = std::sqrt(2.0);

bool finite(double value)
{
    return std::isfinite(value);
}

// The angle between two directions (degrees), by the haversine, which keeps
// its precision for the hundredths of a degree a tracking dish is off.
double separation(double az1, double el1, double az2, double el2)
{
    const double dEl = (el2 - el1) * kDegree;
    const double dAz = (az2 - az1) * kDegree;
    const double h = std::pow(std::sin(dEl / 2), 2) + std::cos(el1 * kDegree) * std::cos(el2 * kDegree) * std::pow(std::sin(dAz / 2), 2);
    return 2.0 * std::asin(std::min(1.0, std::sqrt(h))) / kDegree;
}

struct UsableReference {
    double utc = 0;  // the dwell's middle
    double power = 0;
    double relativeError = 0;
};

std::vector<UsableReference> usableReferences(const std::vector<Reference>& references)
{
    std::vector<UsableReference> usable;
    for (const Reference& r : references) {
        const PowerMean& p = r.power;
        if (!finite(r.startUtc) || !finite(r.endUtc) || r.endUtc < r.startUtc || !finite(p.mean) || p.mean <= 0 || !finite(p.scatter) || p.scatter < 0 || p.count < 1)
            continue;
        usable.push_back({(r.startUtc + r.endUtc) / 2, p.mean, relativeError(p)});
    }
    std::sort(usable.begin(), usable.end(), [](const UsableReference& a, const UsableReference& b) { return a.utc < b.utc; });
    return usable;
}

// Which intervals between references (each by its first) hold a step of the
// gain: the cold sky's change over the interval against the trend of the
// intervals before it. The trend goes on across a step (the drift of the
// air's temperature does not stop for an LNA failing) and starts again, flat,
// after a gap too long to be followed.
std::vector<bool> steppedIntervals(const std::vector<UsableReference>& refs, const FluxOptions& options, double stepDecibels)
{
    std::vector<bool> stepped(refs.size(), false);
    double trendPerSecond = 0;
    for (std::size_t r = 0; r + 1 < refs.size(); ++r) {
        const double span = refs[r + 1].utc - refs[r].utc;
        if (span > options.longestReferenceGapSeconds || !(span > 0)) {
            trendPerSecond = 0;
            continue;
        }
        const double change = 10.0 * std::log10(refs[r + 1].power / refs[r].power);
        const double beyond = std::abs(change - trendPerSecond * span);
        const double noise = 10.0 / std::log(10.0) * std::hypot(refs[r].relativeError, refs[r + 1].relativeError);
        if (beyond >= options.gainStepDecibels + stepDecibels && beyond >= options.gainStepSigma * noise)
            stepped[r] = true;
        else
            trendPerSecond = change / span;
    }
    return stepped;
}

// The gain's wander between references, as the variance rate of a random
// walk: each reference against the straight line through its two neighbours
// differs by its own noise, theirs, and the walk's bridge between them. A
// step is no wander: the triples across one are left out.
double gainWander(const std::vector<UsableReference>& refs, const std::vector<bool>& stepped, double longestGap)
{
    double excess = 0;
    double bridges = 0;
    for (std::size_t r = 1; r + 1 < refs.size(); ++r) {
        const UsableReference& a = refs[r - 1];
        const UsableReference& m = refs[r];
        const UsableReference& b = refs[r + 1];
        if (m.utc - a.utc > longestGap || b.utc - m.utc > longestGap || !(b.utc > a.utc) || stepped[r - 1] || stepped[r])
            continue;
        const double u = (m.utc - a.utc) / (b.utc - a.utc);
        const double predicted = a.power + (b.power - a.power) * u;
        const double d = m.power / predicted - 1.0;
        const double noise = m.relativeError * m.relativeError + std::pow((1 - u) * a.relativeError, 2) + std::pow(u * b.relativeError, 2);
        excess += d * d - noise;
        bridges += (m.utc - a.utc) * (b.utc - m.utc) / (b.utc - a.utc);
    }
    return bridges > 0 ? std::max(0.0, excess) / bridges : 0.0;
}

// What each worked-out reading owes to the references and the air, for its
// own error and for those of the means it enters.
struct Share {
    std::size_t a = 0;  // the references before and after
    std::size_t b = 0;
    double u = 0;         // how far from a towards b
    double perY = 0;      // dS / dY: S / (Y − 1), SFU
    double y = 0;         // Y
    double opacity = 0;   // d ln S / d τ
    double emission = 0;  // d ln S / d ln Tsys(ec)
    // Where the beam stood from the sun's centre on the sky (degrees, across
    // and up); with only a separation known, its size and no direction.
    double across = 0;
    double up = 0;
    bool direction = false;
};

// The pointing error δ not in the readings' angles is corrected for as it
// is on average (pointingGain); on the day it is what it is, the same all
// day. The loss at an offset d is 4 ln 2 |d + δ|² / θs²; what of it is not
// known, 4 ln 2 (2 d·δ + |δ|² − 2σ²) / θs², has the standard deviation
// 4 ln 2 · 2σ √(|d|² + σ²) / θs², d the offset the readings stand at on
// average: a station that trails the sun between commands stands off it
// always on the same side, and that does not average away.
double pointingLossError(const FluxStation& station, double offsetDegrees)
{
    const double spread = station.beamwidthDegrees * station.beamwidthDegrees * sunnoise::sunDiscCorrection(station.beamwidthDegrees);
    const double sigma = station.pointingErrorDegrees;
    return 4.0 * std::log(2.0) * 2.0 * sigma * std::hypot(offsetDegrees, sigma) / spread;
}

unsigned stateFlags(StationState state)
{
    switch (state) {
    case StationState::Tracking:
        return 0;
    case StationState::Reference:
        return static_cast<unsigned>(Flag::DuringReference);
    case StationState::Stow:
        return static_cast<unsigned>(Flag::DuringStow);
    case StationState::Measurement:
        return static_cast<unsigned>(Flag::DuringMeasurement);
    }
    return 0;
}

bool readable(const Reading& r)
{
    const bool angles = r.separationDegrees ? finite(*r.separationDegrees) && *r.separationDegrees >= 0 : finite(r.antennaAzimuth) && finite(r.antennaElevation);
    return finite(r.utc) && finite(r.power) && r.power > 0 && finite(r.sunAzimuth) && finite(r.sunElevation) && angles;
}

struct Budget {
    const std::vector<UsableReference>& refs;
    double wander = 0;
    double noise = 0;
    double opacityError = 0;
    double systemTemperatureError = 0;
    const FluxStation& station;
    double scaleError = 0;
    double rounding = 0;  // stepRelativeError of the readings' step
};

FluxValue meanOf(const std::vector<std::size_t>& members, const std::vector<FluxReading>& out, const std::vector<Share>& shares,
                 const Budget& budget, double nominal, int fewest, ScaleKind scale)
{
    FluxValue value;
    value.scale = scale;
    value.nominalUtc = nominal;
    value.cleanReadings = static_cast<int>(members.size());
    if (members.empty()) {
        value.refusal = ValueRefusal::NoReadings;
        return value;
    }
    const double n = static_cast<double>(members.size());
    double sum = 0;
    double time = 0;
    double white = 0;
    double air = 0;
    double emission = 0;
    double across = 0;
    double up = 0;
    double undirected = 0;
    double received = 0;
    std::map<std::size_t, double> perReference;
    std::map<std::size_t, double> perInterval;
    for (std::size_t i : members) {
        const double s = *out[i].fluxSfu;
        const Share& share = shares[i];
        sum += s;
        time += out[i].utc;
        white += std::pow(budget.noise * s, 2);
        air += s * share.opacity;
        emission += s * share.emission;
        if (share.direction) {
            across += share.across;
            up += share.up;
        } else {
            undirected += std::hypot(share.across, share.up);
        }
        const double byGain = share.perY * share.y / n;
        received += byGain;
        perReference[share.a] += (1 - share.u) * byGain;
        perReference[share.b] += share.u * byGain;
        perInterval[share.a] += byGain;
    }
    value.meanUtc = time / n;
    value.fluxSfu = sum / n;
    value.refusal = members.size() < static_cast<std::size_t>(std::max(fewest, 1)) ? ValueRefusal::TooFewClean : ValueRefusal::None;
    double variance = white / (n * n) + std::pow(budget.opacityError * air / n, 2) + std::pow(budget.systemTemperatureError * emission / n, 2) + std::pow(pointingLossError(budget.station, (std::hypot(across, up) + undirected) / n) * sum / n, 2);
    for (const auto& [r, weight] : perReference)
        variance += std::pow(weight * budget.refs[r].relativeError, 2);
    // A steady receiver's whole dB are the same all day: the rounding is
    // shared by every reading of the mean, and by every reference.
    variance += std::pow(kBothRounded * budget.rounding * received, 2);
    for (const auto& [a, weight] : perInterval) {
        const double span = a + 1 < budget.refs.size() ? budget.refs[a + 1].utc - budget.refs[a].utc : 0.0;
        // A random walk's bridge between two references, averaged over the
        // interval, errs by its variance rate × span / 12.
        variance += weight * weight * budget.wander * span / 12.0;
    }
    value.error = std::sqrt(variance);
    value.totalError = std::hypot(value.error, budget.scaleError * *value.fluxSfu);
    if (value.refusal != ValueRefusal::None) {
        value.fluxSfu.reset();
        value.error = value.totalError = 0;
    }
    return value;
}

}  // namespace

bool hasFlag(unsigned flags, Flag flag)
{
    return (flags & static_cast<unsigned>(flag)) != 0;
}

const char* flagName(Flag flag)
{
    switch (flag) {
    case Flag::Moved:
        return "moved";
    case Flag::OffSun:
        return "off-sun";
    case Flag::DuringReference:
        return "reference";
    case Flag::DuringStow:
        return "stow";
    case Flag::DuringMeasurement:
        return "measurement";
    case Flag::Spike:
        return "spike";
    case Flag::NoReference:
        return "no-reference";
    case Flag::SunLow:
        return "sun-low";
    case Flag::Unreadable:
        return "unreadable";
    case Flag::GainStep:
        return "gain-step";
    }
    return "?";
}

BurstReach burstReach(const FluxDay& day, const FluxBurst& burst)
{
    BurstReach reach{burst.startUtc, std::max(burst.endUtc, day.readings.empty() ? burst.endUtc : day.readings.back().utc)};
    const auto quiet = [](const FluxReading& r) { return r.flags == 0 && r.fluxSfu && !r.inBurst; };
    for (const FluxReading& r : day.readings) {
        if (r.utc < burst.startUtc && quiet(r))
            reach.fromUtc = r.utc;
        if (r.utc > burst.endUtc && quiet(r)) {
            reach.toUtc = r.utc;
            break;
        }
    }
    return reach;
}

bool inWholeDecibels(double power)
{
    if (!finite(power) || !(power > 0))
        return false;
    const double decibels = 10.0 * std::log10(power);
    return std::abs(decibels - std::round(decibels)) <= kWholeDecibelTolerance;
}

double readingStepDecibels(std::size_t wholeDecibels, std::size_t readable)
{
    return readable > 0 && 2 * wholeDecibels >= readable ? 1.0 : 0.0;
}

double readingStepDecibels(const std::vector<Reading>& readings)
{
    std::size_t whole = 0;
    std::size_t readable = 0;
    for (const Reading& r : readings) {
        if (finite(r.power) && r.power > 0) {
            ++readable;
            whole += inWholeDecibels(r.power);
        }
    }
    return readingStepDecibels(whole, readable);
}

double stepRelativeError(double stepDecibels)
{
    return std::log(10.0) / 10.0 * stepDecibels / std::sqrt(12.0);
}

FluxDay workOutDay(const std::vector<Reading>& readings, const std::vector<Reference>& references, const FluxStation& station,
                   double transitUtc, const FluxOptions& options)
{
    FluxDay day;
    day.scale = station.scale.kind;
    day.scaleRelativeError = station.scale.relativeError;
    const std::vector<UsableReference> refs = usableReferences(references);
    day.referencesUsed = static_cast<int>(refs.size());
    day.readingStepDecibels = readingStepDecibels(readings);
    const double rounding = stepRelativeError(day.readingStepDecibels);
    const std::vector<bool> stepped = steppedIntervals(refs, options, day.readingStepDecibels);
    day.gainSteps = static_cast<int>(std::count(stepped.begin(), stepped.end(), true));

    // In time order; a reading without a time to place it by goes last, flagged.
    std::vector<std::size_t> order(readings.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        const double a = readings[x].utc;
        const double b = readings[y].utc;
        return finite(a) && (!finite(b) || a < b);
    });

    std::vector<FluxReading>& out = day.readings;
    out.resize(readings.size());
    std::vector<Share> shares(readings.size());
    const double offSun = options.offSunBeamwidths * station.beamwidthDegrees;
    // A wide beam sees the ground beside a low sun: its share warms the
    // system at that elevation as neither the air's arithmetic nor the
    // references on the same cold sky put back (the flux came out 8 % low
    // over a day of a 12.5° beam). The sun is low, too, until the horizon
    // lies a beam and a half off the beam's axis.
    const double lowest = std::max(options.lowestElevationDegrees, kBeamClearOfTheGround * station.beamwidthDegrees);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const Reading& r = readings[order[k]];
        FluxReading& o = out[k];
        o.utc = r.utc;
        if (!readable(r)) {
            o.flags = static_cast<unsigned>(Flag::Unreadable);
            continue;
        }
        const double sep = r.separationDegrees ? *r.separationDegrees : separation(r.antennaAzimuth, r.antennaElevation, r.sunAzimuth, r.sunElevation);
        o.flags = stateFlags(r.state);
        if (r.moved)
            o.flags |= static_cast<unsigned>(Flag::Moved);
        if (sep > offSun)
            o.flags |= static_cast<unsigned>(Flag::OffSun);
        if (r.sunElevation < lowest)
            o.flags |= static_cast<unsigned>(Flag::SunLow);
        const auto after = std::lower_bound(refs.begin(), refs.end(), r.utc, [](const UsableReference& ref, double t) { return ref.utc < t; });
        if (after == refs.end() || (after == refs.begin() && after->utc != r.utc) || (after->utc != r.utc && after->utc - (after - 1)->utc > options.longestReferenceGapSeconds)) {
            o.flags |= static_cast<unsigned>(Flag::NoReference);
            continue;
        }
        Share& share = shares[k];
        share.b = static_cast<std::size_t>(after - refs.begin());
        share.a = after->utc == r.utc ? share.b : share.b - 1;
        if (share.a != share.b && stepped[share.a])
            o.flags |= static_cast<unsigned>(Flag::GainStep);
        const UsableReference& a = refs[share.a];
        const UsableReference& b = refs[share.b];
        share.u = b.utc > a.utc ? (r.utc - a.utc) / (b.utc - a.utc) : 0.0;
        const double cold = a.power + (b.power - a.power) * share.u;
        share.y = r.power / cold;
        o.y = share.y;
        if (pointingGain(sep, station.beamwidthDegrees, station.pointingErrorDegrees) < kLeastGainForFlux || !(r.sunElevation > 0))
            continue;
        // S is linear in Y − 1: its value at Y = 2 is the factor itself.
        share.perY = fluxSfu(station, 2.0, sep, r.sunElevation);
        share.opacity = fluxOpacitySensitivity(station, r.sunElevation);
        share.emission = fluxSystemTemperatureSensitivity(station, r.sunElevation);
        if (r.separationDegrees) {
            share.across = *r.separationDegrees;
        } else {
            share.direction = true;
            share.across = std::remainder(r.antennaAzimuth - r.sunAzimuth, 360.0) * std::cos(r.sunElevation * kDegree);
            share.up = r.antennaElevation - r.sunElevation;
        }
        o.fluxSfu = share.perY * (share.y - 1.0);
    }

    // The readings the station did not flag, then those without spikes.
    std::vector<std::size_t> kept;
    std::vector<SeriesPoint> series;
    for (std::size_t k = 0; k < out.size(); ++k) {
        if (out[k].flags == 0 && out[k].fluxSfu) {
            kept.push_back(k);
            series.push_back({out[k].utc, *out[k].fluxSfu, shares[k].perY});
        }
    }
    const double cadence = cadenceSeconds(series);
    day.readingNoise = readingNoise(series, cadence);
    const std::vector<bool> spikes = findSpikes(series, day.readingNoise, cadence, options);
    std::vector<std::size_t> clean;
    std::vector<SeriesPoint> quietSeries;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (spikes[i]) {
            out[kept[i]].flags |= static_cast<unsigned>(Flag::Spike);
        } else {
            clean.push_back(kept[i]);
            quietSeries.push_back(series[i]);
        }
    }
    QuietAndBursts found = findQuietAndBursts(quietSeries, cadence, options, rounding);
    for (std::size_t i = 0; i < clean.size(); ++i) {
        FluxReading& o = out[clean[i]];
        o.quietSfu = found.quietSfu[i];
        o.quietScatterSfu = found.quietScatterSfu[i];
        o.inBurst = found.inBurst[i];
        // A burst shows once the averaged flux passes the threshold; whole
        // dB move the power received (the quiet flux and F together, S + F)
        // only in whole steps, so it must raise that by enough of them. The
        // power received is itself known only as read: its Y, the sun's and
        // the cold sky's roundings together, may be short of the truth by
        // up to a step.
        if (day.readingStepDecibels > 0 && o.quietSfu && !o.inBurst) {
            const double received = *o.quietSfu + shares[clean[i]].perY;
            if (!(received > 0))
                continue;
            const double threshold = options.burstSigma * o.quietScatterSfu / received;
            const double steps = std::ceil(10.0 * std::log10(1.0 + threshold) / day.readingStepDecibels - 1e-9);
            const double truest = received * std::pow(10.0, day.readingStepDecibels / 10.0);
            day.smallestBurstSfu = std::max(day.smallestBurstSfu, (std::pow(10.0, steps * day.readingStepDecibels / 10.0) - 1.0) * truest);
        }
    }
    day.gainWander = gainWander(refs, stepped, options.longestReferenceGapSeconds);
    const Budget budget{refs, day.gainWander, day.readingNoise, station.air.zenithOpacityError, station.scale.systemTemperatureError, station, station.scale.relativeError, rounding};
    for (FluxBurst& burst : found.bursts) {
        burst.scale = day.scale;
        burst.peakExcessTotalError = std::hypot(burst.peakExcessError, budget.scaleError * burst.peakExcessSfu);
        burst.integratedExcessTotalError = std::hypot(burst.integratedExcessError, budget.scaleError * burst.integratedExcessSfuSeconds);
    }
    day.bursts = std::move(found.bursts);

    for (std::size_t k = 0; k < out.size(); ++k) {
        FluxReading& o = out[k];
        if (!o.fluxSfu)
            continue;
        const Share& s = shares[k];
        const double span = refs[s.b].utc - refs[s.a].utc;
        const double cold = std::pow((1 - s.u) * refs[s.a].relativeError, 2) + std::pow(s.u * refs[s.b].relativeError, 2) + budget.wander * span * s.u * (1 - s.u);
        o.error = std::sqrt(std::pow(budget.noise * *o.fluxSfu, 2) + std::pow(s.perY * s.y, 2) * (cold + std::pow(kBothRounded * rounding, 2)) + std::pow(budget.opacityError * s.opacity * *o.fluxSfu, 2) + std::pow(budget.systemTemperatureError * s.emission * *o.fluxSfu, 2) + std::pow(pointingLossError(station, std::hypot(s.across, s.up)) * *o.fluxSfu, 2));
        o.totalError = std::hypot(o.error, budget.scaleError * *o.fluxSfu);
    }

    const auto quietBetween = [&](double from, double to) {
        std::vector<std::size_t> members;
        for (std::size_t k : clean) {
            if (!out[k].inBurst && out[k].utc >= from && out[k].utc <= to)
                members.push_back(k);
        }
        return members;
    };
    for (double offset : options.fixedTimesFromTransitSeconds) {
        const double at = transitUtc + offset;
        day.atFixedTimes.push_back(meanOf(quietBetween(at - options.fixedTimeWindowSeconds / 2, at + options.fixedTimeWindowSeconds / 2), out, shares, budget, at,
                                          options.fewestReadingsForFixedTime, day.scale));
    }
    day.daily = meanOf(quietBetween(-HUGE_VAL, HUGE_VAL), out, shares, budget, transitUtc, options.fewestReadingsForDay, day.scale);
    return day;
}

}  // namespace heliotrope::flux
