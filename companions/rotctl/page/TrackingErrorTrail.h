#pragma once

// The tracking error over the last hour, for the page's plot: every ten
// seconds while the station tracks (by itself or after the window), the
// angle on the sky between what it tracks and where the rotator reads,
// through the offsets. Nothing is kept while it measures, is held, waits
// for the night, has no reading or cannot read the rotator (the last
// reading is not where the dish is): those are gaps, not errors. Nor is the
// slew back to the sun after such a gap (a reference on cold sky, a stow
// resumed): once tracking again, the trail keeps the error from the first
// sample at which it no longer falls, or a minute on, whichever comes first,
// so that a rotator that never arrives is still shown.

#include <QJsonObject>

#include <deque>
#include <optional>

namespace heliotrope::rotctl {

class Bridge;
class StationDesk;

class TrackingErrorTrail {
public:
    static constexpr qint64 kSpanMs = 3600 * 1000;
    static constexpr qint64 kEveryMs = 10 * 1000;
    static constexpr qint64 kLongestSlewMs = 60 * 1000;

    // The error now, degrees on the sky; nothing when the station is not tracking.
    static std::optional<double> errorNow(const Bridge& bridge, const StationDesk& desk);
    // Kept unless one was kept within the last half interval, or the rotator
    // is still on its way after a gap; older than kSpanMs forgotten. No
    // error: not tracking.
    void sample(qint64 utcMs, std::optional<double> errorDegrees);
    // {"beamwidthDegrees": …|null, "points": [[utcMs, degrees], …]}
    QJsonObject json(std::optional<double> beamwidthDegrees) const;

private:
    struct Point {
        qint64 utcMs = 0;
        double degrees = 0;
    };
    std::deque<Point> m_points;
    qint64 m_lastMs = 0;
    // After a gap, while the rotator slews back: since when, and the error last seen.
    bool m_settling = true;
    std::optional<double> m_settlingDegrees;
    qint64 m_settlingSinceMs = 0;
};

}  // namespace heliotrope::rotctl
