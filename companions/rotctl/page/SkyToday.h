#pragma once

// The sun's day at the station's site, for the page's sky chart: its path
// across today's sky (the JST day, as everything the station says), and the
// next sunrise and sunset, the sun's centre crossing the horizon in the sky
// the bridge tracks in. Worked out once and kept until the day or the event
// has passed: the page asks every second or two.

#include "companions/rotctl/truesun/TrueSunOptions.h"

#include <optional>
#include <vector>

namespace heliotrope::rotctl {

struct SkyPoint {
    double utcSeconds = 0;
    double azimuth = 0;
    double elevation = 0;
};

class SkyToday {
public:
    explicit SkyToday(const TrueSunOptions& sky);

    // Nothing without a site.
    bool known() const { return m_sky.site.has_value(); }
    // Every ten minutes of today's JST day while the sun is up, and the
    // sun's rise and set within it.
    const std::vector<SkyPoint>& path(double utcSeconds);
    std::optional<double> nextSunrise(double utcSeconds);
    std::optional<double> nextSunset(double utcSeconds);
    std::optional<SkyPoint> sunAt(double utcSeconds) const;

private:
    // The next instant after `fromUtc`, within two days, at which the sun
    // climbs (rising) or sinks through the horizon, to within a second.
    std::optional<double> nextCrossing(double fromUtc, bool rising) const;
    double elevationAt(double utcSeconds) const;

    TrueSunOptions m_sky;
    std::vector<SkyPoint> m_path;
    qint64 m_pathDay = -1;
    std::optional<double> m_sunrise;
    std::optional<double> m_sunset;
    double m_sunriseSought = -1;  // with none found, not sought again for an hour
    double m_sunsetSought = -1;
};

}  // namespace heliotrope::rotctl
