#include "companions/rotctl/bridge/SelfTracking.h"

#include <cmath>

namespace heliotrope::rotctl {

namespace {

// The sun climbs at most 0.25° a minute: ten-minute steps cannot step over a
// sunrise and the setting that follows it.
constexpr double kStepSeconds = 600;
constexpr double kLookAheadSeconds = 2 * 86400;
constexpr double kWithinSeconds = 1;
// A polar night's search is not made again every tick.
constexpr double kSearchAgainSeconds = 3600;

}  // namespace

std::optional<Sunrise> nextSunrise(double fromUtcSeconds, const heliotrope::sky::Site& site, heliotrope::sky::Refraction refraction,
                                   const heliotrope::sky::Atmosphere& atmosphere, double elevation)
{
    using heliotrope::sky::trueSunTopocentric;
    const auto above = [&](double utc) { return trueSunTopocentric(utc, site, refraction, atmosphere).elevation - elevation; };
    double before = fromUtcSeconds;
    double heightBefore = above(before);
    for (double after = fromUtcSeconds + kStepSeconds; after <= fromUtcSeconds + kLookAheadSeconds; after += kStepSeconds) {
        const double heightAfter = above(after);
        if (heightBefore <= 0 && heightAfter > 0) {
            double low = before;
            double high = after;
            while (high - low > kWithinSeconds) {
                const double middle = (low + high) / 2;
                (above(middle) > 0 ? high : low) = middle;
            }
            return Sunrise{high, trueSunTopocentric(high, site, refraction, atmosphere).azimuth};
        }
        before = after;
        heightBefore = heightAfter;
    }
    return std::nullopt;
}

SelfTracking::SelfTracking(const heliotrope::sky::Site& site, heliotrope::sky::Refraction refraction,
                           const heliotrope::sky::Atmosphere& atmosphere)
    : m_site(site)
    , m_refraction(refraction)
    , m_atmosphere(atmosphere)
{
}

SelfTrackingTarget SelfTracking::at(qint64 utcMilliseconds, double lowestElevation)
{
    const double utc = static_cast<double>(utcMilliseconds) / 1000.0;
    SelfTrackingTarget out;
    out.sun = m_tracker.at(utc, m_site, m_refraction, m_atmosphere);
    if (out.sun.elevation > lowestElevation) {
        m_sunriseKnown = false;
        out.target = companions::SetPoint{out.sun.azimuth, out.sun.elevation};
        return out;
    }
    out.night = true;
    const bool stale = !m_sunriseKnown || m_sunriseElevation != lowestElevation || (m_sunrise && utc >= m_sunrise->utcSeconds)
        || (!m_sunrise && utc - m_sunriseSought >= kSearchAgainSeconds) || utc < m_sunriseSought;
    if (stale) {
        m_sunrise = nextSunrise(utc, m_site, m_refraction, m_atmosphere, lowestElevation);
        m_sunriseElevation = lowestElevation;
        m_sunriseSought = utc;
        m_sunriseKnown = true;
    }
    out.sunrise = m_sunrise;
    // With no sunrise to wait for, the dish waits under the sun, as low as it goes.
    out.target = companions::SetPoint{m_sunrise ? m_sunrise->azimuth : out.sun.azimuth, lowestElevation};
    return out;
}

}  // namespace heliotrope::rotctl
