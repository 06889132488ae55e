#pragma once

// What the bridge points at when it tracks the sun by itself (--track-sun),
// with no window: by day the real sun for the site, by night the azimuth
// where the sun will next rise at the rotator's lowest elevation, so that
// the dish is waiting there at dawn (or, with --night stow, its stow
// position, which the bridge takes from its options). "Day" is the sun above
// that lowest elevation: a rotator that cannot point lower than 5° waits
// until the sun is there.
//
// Times are UTC, seconds or milliseconds since 1970 as named; angles are
// degrees in the sky's terms (azimuth from north through east).

#include "companions/common/PointingRead.h"
#include "companions/sky/TrueSun.h"

#include <QtGlobal>

#include <optional>

namespace heliotrope::rotctl {

struct Sunrise {
    double utcSeconds = 0;
    double azimuth = 0;  // where the sun stands as it climbs through the elevation asked
};

// The next instant after `fromUtcSeconds` at which the sun climbs through
// `elevation` at the site, to within a second; nothing when it does not
// within two days (a polar night, or a rotator whose lowest elevation the
// sun never reaches).
std::optional<Sunrise> nextSunrise(double fromUtcSeconds, const heliotrope::sky::Site& site, heliotrope::sky::Refraction refraction,
                                   const heliotrope::sky::Atmosphere& atmosphere, double elevation);

struct SelfTrackingTarget {
    companions::SetPoint target;           // what to point at now
    bool night = false;                    // the sun below the lowest elevation
    heliotrope::sky::TrueSunPosition sun;  // the sun now
    std::optional<Sunrise> sunrise;        // by night: the next one (none in a polar night)
};

class SelfTracking {
public:
    SelfTracking(const heliotrope::sky::Site& site, heliotrope::sky::Refraction refraction, const heliotrope::sky::Atmosphere& atmosphere);

    // The target at `utcMilliseconds` for a rotator that points no lower than
    // `lowestElevation`. The night's sunrise is found once and kept until it
    // comes (or the lowest elevation changes).
    SelfTrackingTarget at(qint64 utcMilliseconds, double lowestElevation);

private:
    heliotrope::sky::Site m_site;
    heliotrope::sky::Refraction m_refraction;
    heliotrope::sky::Atmosphere m_atmosphere;
    heliotrope::sky::TrueSunTracker m_tracker;
    std::optional<Sunrise> m_sunrise;
    double m_sunriseElevation = 0;  // the lowest elevation m_sunrise was found for
    double m_sunriseSought = 0;     // UTC seconds: when no sunrise was found, not sought again for a while
    bool m_sunriseKnown = false;
};

}  // namespace heliotrope::rotctl
