#include "companions/rotctl/page/SkyToday.h"

#include <cmath>

namespace heliotrope::rotctl {

namespace {

constexpr double kJstSeconds = 9 * 3600.0;
constexpr double kDaySeconds = 86400.0;
constexpr double kPathStep = 600.0;
constexpr double kScanStep = 300.0;  // no rise follows a set within five minutes outside the polar circles' edge
constexpr double kLookAhead = 2 * kDaySeconds;
constexpr double kSeekAgain = 3600.0;

}  // namespace

SkyToday::SkyToday(const TrueSunOptions& sky)
    : m_sky(sky)
{
}

double SkyToday::elevationAt(double utcSeconds) const
{
    return heliotrope::sky::trueSunTopocentric(utcSeconds, *m_sky.site, m_sky.refraction, m_sky.atmosphere).elevation;
}

std::optional<SkyPoint> SkyToday::sunAt(double utcSeconds) const
{
    if (!known())
        return std::nullopt;
    const heliotrope::sky::TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(utcSeconds, *m_sky.site, m_sky.refraction, m_sky.atmosphere);
    if (sun.status == heliotrope::sky::EphemerisStatus::Failed)
        return std::nullopt;
    return SkyPoint{utcSeconds, sun.azimuth, sun.elevation};
}

const std::vector<SkyPoint>& SkyToday::path(double utcSeconds)
{
    if (!known()) {
        m_path.clear();
        return m_path;
    }
    const auto day = static_cast<qint64>(std::floor((utcSeconds + kJstSeconds) / kDaySeconds));
    if (day == m_pathDay)
        return m_path;
    m_pathDay = day;
    m_path.clear();
    const double begin = static_cast<double>(day) * kDaySeconds - kJstSeconds;
    for (double t = begin; t <= begin + kDaySeconds; t += kPathStep)
        if (const std::optional<SkyPoint> sun = sunAt(t); sun && sun->elevation >= 0)
            m_path.push_back(*sun);
    return m_path;
}

std::optional<double> SkyToday::nextCrossing(double fromUtc, bool rising) const
{
    double before = fromUtc;
    double elevationBefore = elevationAt(before);
    for (double t = fromUtc + kScanStep; t <= fromUtc + kLookAhead; t += kScanStep) {
        const double elevation = elevationAt(t);
        const bool crossed = rising ? (elevationBefore < 0 && elevation >= 0) : (elevationBefore >= 0 && elevation < 0);
        if (crossed) {
            double low = before;
            double high = t;
            while (high - low > 1.0) {
                const double middle = (low + high) / 2;
                const bool above = elevationAt(middle) >= 0;
                ((above == rising) ? high : low) = middle;
            }
            return high;
        }
        before = t;
        elevationBefore = elevation;
    }
    return std::nullopt;
}

std::optional<double> SkyToday::nextSunrise(double utcSeconds)
{
    if (!known())
        return std::nullopt;
    if ((m_sunrise && *m_sunrise <= utcSeconds) || (!m_sunrise && utcSeconds - m_sunriseSought >= kSeekAgain)) {
        m_sunrise = nextCrossing(utcSeconds, true);
        m_sunriseSought = utcSeconds;
    }
    return m_sunrise;
}

std::optional<double> SkyToday::nextSunset(double utcSeconds)
{
    if (!known())
        return std::nullopt;
    if ((m_sunset && *m_sunset <= utcSeconds) || (!m_sunset && utcSeconds - m_sunsetSought >= kSeekAgain)) {
        m_sunset = nextCrossing(utcSeconds, false);
        m_sunsetSought = utcSeconds;
    }
    return m_sunset;
}

}  // namespace heliotrope::rotctl
