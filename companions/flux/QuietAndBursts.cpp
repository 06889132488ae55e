#include "companions/flux/QuietAndBursts.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace heliotrope::flux {

namespace {

// The standard deviation of a normal distribution per unit of its median
// absolute deviation.
constexpr double kScatterPerMad = 1.4826;
// A median's standard error per σ/√n.
constexpr double kMedianError = 1.2533;
// The quiet level is worked out on a grid this fine and drawn straight between.
constexpr double kQuietStepSeconds = 60;
// Points that must stand in a quiet window, as a share of the readings it could hold.
constexpr double kQuietFullness = 0.25;
constexpr int kQuietPasses = 5;
// How many of its own standard errors a burst's averaged excess may fall
// short of the threshold.
constexpr double kAllowedErrors = 2;

double median(std::vector<double>& values)
{
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    double m = *middle;
    if (values.size() % 2 == 0)
        m = (m + *std::max_element(values.begin(), middle)) / 2.0;
    return m;
}

double madScatter(std::vector<double>& values, double centre)
{
    for (double& v : values)
        v = std::abs(v - centre);
    return kScatterPerMad * median(values);
}

// The median of the points' flux in [from, to), skipping those marked.
std::optional<double> medianBetween(const std::vector<SeriesPoint>& points, double from, double to, const std::vector<bool>& skip,
                                    std::vector<double>& buffer)
{
    buffer.clear();
    auto it = std::lower_bound(points.begin(), points.end(), from, [](const SeriesPoint& p, double t) { return p.utc < t; });
    for (; it != points.end() && it->utc < to; ++it) {
        if (!skip[static_cast<std::size_t>(it - points.begin())])
            buffer.push_back(it->fluxSfu);
    }
    if (buffer.empty())
        return std::nullopt;
    return median(buffer);
}

// The running mean over the smoothing width, and how many points are in each.
struct Smoothed {
    std::vector<double> flux;
    std::vector<int> count;
};

Smoothed smooth(const std::vector<SeriesPoint>& points, double width)
{
    Smoothed s;
    s.flux.resize(points.size());
    s.count.resize(points.size());
    std::size_t lo = 0;
    std::size_t hi = 0;
    double sum = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        while (hi < points.size() && points[hi].utc <= points[i].utc + width / 2)
            sum += points[hi++].fluxSfu;
        while (points[lo].utc < points[i].utc - width / 2)
            sum -= points[lo++].fluxSfu;
        s.count[i] = static_cast<int>(hi - lo);
        s.flux[i] = sum / s.count[i];
    }
    return s;
}

struct Quiet {
    std::vector<std::optional<double>> level;
    std::vector<double> scatter;
    std::vector<double> levelError;  // the level's own standard error
};

// The running median of the points not in a burst, centred, on a grid, and
// the robust scatter of the points about it.
Quiet quietLevel(const std::vector<SeriesPoint>& points, const std::vector<bool>& inBurst, double cadence, const FluxOptions& options,
                 double rounding)
{
    Quiet quiet;
    quiet.level.assign(points.size(), std::nullopt);
    quiet.scatter.assign(points.size(), 0.0);
    quiet.levelError.assign(points.size(), 0.0);
    if (points.empty())
        return quiet;
    const double half = options.quietWindowSeconds / 2;
    const double step = std::min(kQuietStepSeconds, options.quietWindowSeconds / 10);
    const double first = points.front().utc;
    const auto nodes = static_cast<std::size_t>(std::floor((points.back().utc - first) / step)) + 2;
    const auto fewest = static_cast<std::size_t>(std::max(10.0, kQuietFullness * options.quietWindowSeconds / cadence));
    struct Node {
        bool present = false;
        double level = 0, scatter = 0, error = 0;
    };
    std::vector<Node> grid(nodes);
    std::vector<double> values;
    std::size_t lo = 0;
    std::size_t hi = 0;
    for (std::size_t k = 0; k < nodes; ++k) {
        const double t = first + static_cast<double>(k) * step;
        while (lo < points.size() && points[lo].utc < t - half)
            ++lo;
        hi = std::max(hi, lo);
        while (hi < points.size() && points[hi].utc <= t + half)
            ++hi;
        values.clear();
        for (std::size_t i = lo; i < hi; ++i) {
            if (!inBurst[i])
                values.push_back(points[i].fluxSfu);
        }
        if (values.size() < fewest)
            continue;
        Node& node = grid[k];
        node.present = true;
        node.level = median(values);
        node.scatter = madScatter(values, node.level);
        node.error = kMedianError * node.scatter / std::sqrt(static_cast<double>(values.size()));
    }
    // Where a long burst leaves no window quiet enough, the level is the
    // nearest one worked out, before or after it, not none: a burst outlasting
    // the window is still measured against the sun without it.
    std::vector<std::optional<std::size_t>> left(nodes);
    std::vector<std::optional<std::size_t>> right(nodes);
    for (std::size_t k = 0; k < nodes; ++k)
        left[k] = grid[k].present ? std::optional<std::size_t>(k) : (k > 0 ? left[k - 1] : std::nullopt);
    for (std::size_t k = nodes; k-- > 0;)
        right[k] = grid[k].present ? std::optional<std::size_t>(k) : (k + 1 < nodes ? right[k + 1] : std::nullopt);
    std::vector<Node> carried = grid;
    for (std::size_t k = 0; k < nodes; ++k) {
        if (grid[k].present)
            continue;
        if (left[k] && (!right[k] || k - *left[k] <= *right[k] - k))
            carried[k] = grid[*left[k]];
        else if (right[k])
            carried[k] = grid[*right[k]];
    }
    grid = std::move(carried);
    for (std::size_t i = 0; i < points.size(); ++i) {
        const double at = (points[i].utc - first) / step;
        const auto k = static_cast<std::size_t>(at);
        const Node& a = grid[k];
        const Node& b = grid[std::min(k + 1, nodes - 1)];
        const double u = at - static_cast<double>(k);
        if (a.present && b.present) {
            quiet.level[i] = a.level + (b.level - a.level) * u;
            quiet.scatter[i] = a.scatter + (b.scatter - a.scatter) * u;
            quiet.levelError[i] = std::max(a.error, b.error);
        } else if (a.present || b.present) {
            const Node& n = a.present ? a : b;
            quiet.level[i] = n.level;
            quiet.scatter[i] = n.scatter;
            quiet.levelError[i] = n.error;
        }
        // A steady sun in whole dB reads the same all day, its scatter 0:
        // the rounding of the power received is the least noise there is,
        // or there would be no threshold at all.
        if (rounding > 0 && quiet.level[i])
            quiet.scatter[i] = std::max(quiet.scatter[i], rounding * (*quiet.level[i] + points[i].sfuPerY));
    }
    return quiet;
}

struct Span {
    std::size_t first = 0;
    std::size_t last = 0;
};

// How far the averaged flux stands above the quiet level, in its scatters.
double sigmasAbove(const Smoothed& s, const Quiet& q, std::size_t i)
{
    if (!q.level[i] || !(q.scatter[i] > 0))
        return 0;
    return (s.flux[i] - *q.level[i]) / q.scatter[i];
}

std::vector<Span> burstSpans(const std::vector<SeriesPoint>& points, const Smoothed& s, const Quiet& q, double cadence, const FluxOptions& options)
{
    std::vector<Span> spans;
    const double reach = options.longestBurstGapSeconds + cadence;
    // The averaged excess is itself measured, to its standard error (the
    // average's noise and the quiet level's): a burst that truly stands at
    // the threshold must not be lost half the time to that error, so the
    // averaged excess is held to the threshold less two of them.
    const auto above = [&](std::size_t i) {
        if (!q.level[i] || !(q.scatter[i] > 0))
            return false;
        const double standardError = std::hypot(q.scatter[i] / std::sqrt(static_cast<double>(s.count[i])), q.levelError[i]);
        return s.flux[i] - *q.level[i] >= options.burstSigma * q.scatter[i] - kAllowedErrors * standardError;
    };
    const auto risen = [&](std::size_t i) { return sigmasAbove(s, q, i) > 1.0; };
    std::size_t i = 0;
    while (i < points.size()) {
        if (!above(i)) {
            ++i;
            continue;
        }
        std::size_t last = i;
        double aboveTime = cadence;
        std::size_t j = i + 1;
        for (; j < points.size(); ++j) {
            const double gap = points[j].utc - points[j - 1].utc;
            if (gap > reach)
                break;
            if (above(j)) {
                aboveTime += std::min(gap, 2 * cadence);
                last = j;
            } else if (points[j].utc - points[last].utc > options.smoothingSeconds) {
                break;
            }
        }
        if (aboveTime >= options.burstSeconds) {
            Span span{i, last};
            while (span.first > 0 && points[span.first].utc - points[span.first - 1].utc <= reach && risen(span.first - 1))
                --span.first;
            while (span.last + 1 < points.size() && points[span.last + 1].utc - points[span.last].utc <= reach && risen(span.last + 1))
                ++span.last;
            if (!spans.empty() && span.first <= spans.back().last)
                spans.back().last = std::max(spans.back().last, span.last);
            else
                spans.push_back(span);
        }
        i = std::max(last + 1, j);
    }
    return spans;
}

FluxBurst describe(const std::vector<SeriesPoint>& points, const Smoothed& s, const Quiet& q, const Span& span, double rounding)
{
    std::size_t peak = span.first;
    for (std::size_t k = span.first; k <= span.last; ++k) {
        if (q.level[k] && (!q.level[peak] || s.flux[k] - *q.level[k] > s.flux[peak] - *q.level[peak]))
            peak = k;
    }
    FluxBurst burst;
    burst.startUtc = points[span.first].utc;
    burst.endUtc = points[span.last].utc;
    burst.peakUtc = points[peak].utc;
    burst.peakSfu = s.flux[peak];
    burst.quietSfu = q.level[peak].value_or(0.0);
    burst.quietScatterSfu = q.scatter[peak];
    burst.peakExcessSfu = burst.peakSfu - burst.quietSfu;
    burst.peakExcessError = std::hypot(q.scatter[peak] / std::sqrt(static_cast<double>(s.count[peak])), q.levelError[peak]);
    // The peak and the quiet level stand a step or more apart, each rounded
    // on its own, and neither averages away.
    if (rounding > 0)
        burst.peakExcessError = std::hypot(burst.peakExcessError, rounding * (burst.peakSfu + points[peak].sfuPerY),
                                           rounding * (burst.quietSfu + points[peak].sfuPerY));
    // The peak could have been anywhere the burst's excess came within three
    // standard errors of its top: the earliest and the latest such point,
    // not the first dip of noise either side, which on a gradual burst's flat
    // top cut the stated error short of the truth's peak.
    const double top = burst.peakExcessSfu - 3 * q.scatter[peak] / std::sqrt(static_cast<double>(s.count[peak]));
    std::size_t early = peak;
    std::size_t late = peak;
    for (std::size_t k = span.first; k <= span.last; ++k) {
        if (q.level[k] && s.flux[k] - *q.level[k] >= top) {
            early = std::min(early, k);
            late = std::max(late, k);
        }
    }
    burst.peakUtcError = std::max(points[peak].utc - points[early].utc, points[late].utc - points[peak].utc);
    // The trapezoid over the points, the station's gaps drawn straight; each
    // point's noise weighs by the time it stands for, and the quiet level's
    // error is the same over the whole burst.
    double integral = 0;
    double noise = 0;
    double levelError = 0;
    double received = 0;
    for (std::size_t k = span.first; k <= span.last; ++k) {
        const double excess = points[k].fluxSfu - q.level[k].value_or(burst.quietSfu);
        const double before = k > span.first ? points[k].utc - points[k - 1].utc : 0.0;
        const double after = k < span.last ? points[k + 1].utc - points[k].utc : 0.0;
        integral += excess * (before + after) / 2;
        noise += std::pow(q.scatter[k] * (before + after) / 2, 2);
        levelError = std::max(levelError, q.levelError[k]);
        received += (points[k].fluxSfu + points[k].sfuPerY) * (before + after) / 2;
    }
    burst.integratedExcessSfuSeconds = integral;
    burst.integratedExcessError = std::hypot(std::sqrt(noise), levelError * (burst.endUtc - burst.startUtc));
    // Whole dB: the burst's readings rounded alike through it, as the quiet level is.
    if (rounding > 0)
        burst.integratedExcessError = std::hypot(burst.integratedExcessError, rounding * received,
                                                 rounding * (burst.quietSfu + points[peak].sfuPerY) * (burst.endUtc - burst.startUtc));
    return burst;
}

}  // namespace

double cadenceSeconds(const std::vector<SeriesPoint>& points)
{
    std::vector<double> steps;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double step = points[i].utc - points[i - 1].utc;
        if (step > 0)
            steps.push_back(step);
    }
    return steps.empty() ? 1.0 : median(steps);
}

double readingNoise(const std::vector<SeriesPoint>& points, double cadence)
{
    std::vector<double> differences;
    for (std::size_t i = 1; i < points.size(); ++i) {
        const double mean = (points[i].fluxSfu + points[i - 1].fluxSfu) / 2;
        if (points[i].utc - points[i - 1].utc <= 2 * cadence && mean > 0)
            differences.push_back((points[i].fluxSfu - points[i - 1].fluxSfu) / mean);
    }
    if (differences.size() < 2)
        return 0;
    std::vector<double> copy = differences;
    const double centre = median(copy);
    // The difference of two readings has √2 times one reading's noise.
    return madScatter(differences, centre) / std::sqrt(2.0);
}

std::vector<bool> findSpikes(const std::vector<SeriesPoint>& points, double noise, double cadence, const FluxOptions& options)
{
    std::vector<bool> spike(points.size(), false);
    if (!(noise > 0))
        return spike;
    const double window = options.spikeNeighbourSeconds;
    const auto margin = [&](double level) { return options.spikeSigma * noise * std::abs(level); };
    std::vector<bool> candidate(points.size(), false);
    std::vector<bool> self(points.size(), false);
    std::vector<double> buffer;
    for (std::size_t i = 0; i < points.size(); ++i) {
        self[i] = true;
        const std::optional<double> level = medianBetween(points, points[i].utc - window, points[i].utc + window + 1e-9, self, buffer);
        self[i] = false;
        candidate[i] = level && points[i].fluxSfu - *level > margin(*level);
    }
    std::size_t i = 0;
    while (i < points.size()) {
        if (!candidate[i]) {
            ++i;
            continue;
        }
        std::size_t last = i;
        while (last + 1 < points.size() && candidate[last + 1] && points[last + 1].utc - points[last].utc <= 2 * cadence)
            ++last;
        const double first = points[i].utc;
        const double end = points[last].utc;
        if (end - first + cadence <= options.longestSpikeSeconds) {
            const std::optional<double> before = medianBetween(points, first - window, first, candidate, buffer);
            const std::optional<double> after = medianBetween(points, end + 1e-9, end + window + 1e-9, candidate, buffer);
            if (before && after && std::abs(*before - *after) <= margin(std::max(std::abs(*before), std::abs(*after)))) {
                for (std::size_t k = i; k <= last; ++k)
                    spike[k] = true;
            }
        }
        i = last + 1;
    }
    return spike;
}

QuietAndBursts findQuietAndBursts(const std::vector<SeriesPoint>& points, double cadence, const FluxOptions& options, double rounding)
{
    QuietAndBursts result;
    result.inBurst.assign(points.size(), false);
    const Smoothed smoothed = smooth(points, options.smoothingSeconds);
    Quiet quiet;
    std::vector<Span> spans;
    for (int pass = 0; pass < kQuietPasses; ++pass) {
        quiet = quietLevel(points, result.inBurst, cadence, options, rounding);
        std::vector<Span> found = burstSpans(points, smoothed, quiet, cadence, options);
        const bool settled = pass > 0 && found.size() == spans.size() && std::equal(found.begin(), found.end(), spans.begin(), [](const Span& a, const Span& b) { return a.first == b.first && a.last == b.last; });
        spans = std::move(found);
        std::fill(result.inBurst.begin(), result.inBurst.end(), false);
        for (const Span& span : spans)
            std::fill(result.inBurst.begin() + static_cast<std::ptrdiff_t>(span.first), result.inBurst.begin() + static_cast<std::ptrdiff_t>(span.last) + 1, true);
        if (settled || spans.empty())
            break;
    }
    for (const Span& span : spans)
        result.bursts.push_back(describe(points, smoothed, quiet, span, rounding));
    result.quietSfu = quiet.level;
    result.quietScatterSfu = quiet.scatter;
    return result;
}

}  // namespace heliotrope::flux
