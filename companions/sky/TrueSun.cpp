#include "companions/sky/TrueSun.h"

#include <erfa.h>
#include <erfam.h>

#include <algorithm>
#include <cmath>

namespace heliotrope::sky {

const char* refractionName(Refraction refraction)
{
    switch (refraction) {
    case Refraction::None:
        return "none";
    case Refraction::Optical:
        return "optical";
    case Refraction::Radio:
        return "radio";
    }
    return "none";
}

std::optional<Refraction> refractionNamed(std::string_view name)
{
    for (const Refraction refraction : {Refraction::None, Refraction::Optical, Refraction::Radio}) {
        if (name == refractionName(refraction))
            return refraction;
    }
    return std::nullopt;
}

namespace {

constexpr double kDegreesPerRadian = ERFA_DR2D;
constexpr double kRadiansPerDegree = ERFA_DD2R;
constexpr double kUnixEpochJulianDate = 2440587.5;
constexpr double kSecondsPerDay = 86400.0;
// ERFA takes the radio formula for any wavelength above 100 µm.
constexpr double kRadioWavelengthMicrometres = 10000.0;
constexpr double kOpticalWavelengthMicrometres = 0.574;
// The tracker's orbit nodes: every ten minutes of TT.
constexpr double kNodesPerDay = 144.0;
// k, the Gaussian gravitational constant: the sun's GM is k² au³/day².
constexpr double kGaussianGravitation = 0.01720209895;

// ERFA's quasi Julian date for UTC from the calendar, so that a day with a
// leap second is counted as ERFA counts it.
bool utcJulianDate(double utcUnixSeconds, double& utc1, double& utc2)
{
    const double days = std::floor(utcUnixSeconds / kSecondsPerDay);
    double secondsOfDay = utcUnixSeconds - days * kSecondsPerDay;
    int year = 0;
    int month = 0;
    int day = 0;
    double fraction = 0;
    if (eraJd2cal(kUnixEpochJulianDate, days, &year, &month, &day, &fraction) != 0)
        return false;
    const int hour = static_cast<int>(secondsOfDay / 3600.0);
    secondsOfDay -= hour * 3600.0;
    const int minute = static_cast<int>(secondsOfDay / 60.0);
    secondsOfDay -= minute * 60.0;
    return eraDtf2d("UTC", year, month, day, hour, minute, secondsOfDay, &utc1, &utc2) >= 0;
}

// The instant on ERFA's time scales. status: 0 good, +1 dubious year, −1 refused.
struct Instant {
    double tt1 = 0;  // TT as a two-part Julian date
    double tt2 = 0;
    double ut11 = 0;  // UT1, taken equal to UTC
    double ut12 = 0;
    int status = -1;
};

Instant instantFromUtc(double utcUnixSeconds)
{
    Instant instant;
    double utc1 = 0;
    double utc2 = 0;
    if (!std::isfinite(utcUnixSeconds) || !utcJulianDate(utcUnixSeconds, utc1, utc2))
        return instant;
    double tai1 = 0;
    double tai2 = 0;
    if (eraUtctai(utc1, utc2, &tai1, &tai2) < 0)
        return instant;
    eraTaitt(tai1, tai2, &instant.tt1, &instant.tt2);
    instant.status = eraUtcut1(utc1, utc2, 0.0, &instant.ut11, &instant.ut12);  // UT1 − UTC taken as 0
    return instant;
}

// eraApco13's chain for the site and instant, with the Earth's orbit given
// and one change: the nutation is IAU 2000B (eraNut00b, 77 terms) under the
// IAU 2006 precession instead of IAU 2000A (1,365 terms). The two differ by
// about 1 mas, a ten-thousandth of a pointing error of 0.005°, and 2000A
// alone cost 330,000 instructions a call.
void siteAstrometry(const Instant& instant, const EarthOrbit& earth, const Site& site, double pressure,
                    double temperature, double relativeHumidity, double wavelength, eraASTROM& astrom)
{
    // Bias-precession-nutation: IAU 2006 precession (Fukushima-Williams
    // angles), IAU 2000B nutation.
    double gamb = 0;
    double phib = 0;
    double psib = 0;
    double epsa = 0;
    eraPfw06(instant.tt1, instant.tt2, &gamb, &phib, &psib, &epsa);
    double nutationLongitude = 0;
    double nutationObliquity = 0;
    eraNut00b(instant.tt1, instant.tt2, &nutationLongitude, &nutationObliquity);
    double bpn[3][3];
    eraFw2m(gamb, phib, psib + nutationLongitude, epsa + nutationObliquity, bpn);
    double cipX = 0;
    double cipY = 0;
    eraBpn2xy(bpn, &cipX, &cipY);
    const double cioLocator = eraS06(instant.tt1, instant.tt2, cipX, cipY);

    const double earthRotationAngle = eraEra00(instant.ut11, instant.ut12);
    const double tioLocator = eraSp00(instant.tt1, instant.tt2);
    double refractionA = 0;
    double refractionB = 0;
    eraRefco(pressure, temperature, relativeHumidity, wavelength, &refractionA, &refractionB);

    double barycentric[2][3];
    std::copy(&earth.barycentric[0][0], &earth.barycentric[0][0] + 6, &barycentric[0][0]);
    double heliocentricPosition[3];
    std::copy(earth.heliocentric[0], earth.heliocentric[0] + 3, heliocentricPosition);
    eraApco(instant.tt1, instant.tt2, barycentric, heliocentricPosition, cipX, cipY, cioLocator,
            earthRotationAngle, site.longitude * kRadiansPerDegree, site.latitude * kRadiansPerDegree, site.height,
            0.0, 0.0, tioLocator, refractionA, refractionB, &astrom);
}

EarthOrbit exactOrbit(double tt1, double tt2)
{
    EarthOrbit earth;
    earth.tt1 = tt1;
    earth.tt2 = tt2;
    eraEpv00(tt1, tt2, earth.heliocentric, earth.barycentric);
    earth.valid = true;
    return earth;
}

TrueSunPosition sunFor(const Instant& instant, const EarthOrbit& earth, const Site& site, Refraction refraction,
                       const Atmosphere& atmosphere)
{
    TrueSunPosition result;
    const bool refracted = refraction != Refraction::None;
    const double pressure = refracted ? atmosphere.pressure : 0.0;  // 0 hPa: ERFA leaves refraction out
    const double wavelength = refraction == Refraction::Radio ? kRadioWavelengthMicrometres : kOpticalWavelengthMicrometres;
    eraASTROM astrom{};
    siteAstrometry(instant, earth, site, pressure, atmosphere.temperature, atmosphere.relativeHumidity, wavelength,
                   astrom);

    // astrom.eh points from the sun to the observer (the site, not the
    // Earth's centre): the sun is the other way, at astrom.em au.
    double towardsSun[3] = {-astrom.eh[0], -astrom.eh[1], -astrom.eh[2]};
    double aberrated[3];
    eraAb(towardsSun, astrom.v, astrom.em, astrom.bm1, aberrated);
    double intermediate[3];
    eraRxp(astrom.bpn, aberrated, intermediate);
    double rightAscension = 0;
    double declination = 0;
    eraC2s(intermediate, &rightAscension, &declination);

    double azimuth = 0;
    double zenithDistance = 0;
    double hourAngle = 0;
    double observedDeclination = 0;
    double observedRightAscension = 0;
    eraAtioq(rightAscension, declination, &astrom, &azimuth, &zenithDistance, &hourAngle, &observedDeclination,
             &observedRightAscension);

    result.azimuth = eraAnp(azimuth) * kDegreesPerRadian;
    result.elevation = 90.0 - zenithDistance * kDegreesPerRadian;
    result.status = instant.status == 0 ? EphemerisStatus::Good : EphemerisStatus::DubiousYear;
    return result;
}

}  // namespace

TrueSunPosition trueSunTopocentric(double utcUnixSeconds, const Site& site, Refraction refraction,
                                   const Atmosphere& atmosphere)
{
    const Instant instant = instantFromUtc(utcUnixSeconds);
    if (instant.status < 0)
        return TrueSunPosition{};
    return sunFor(instant, exactOrbit(instant.tt1, instant.tt2), site, refraction, atmosphere);
}

TrueSunPosition TrueSunTracker::at(double utcUnixSeconds, const Site& site, Refraction refraction,
                                   const Atmosphere& atmosphere)
{
    const Instant instant = instantFromUtc(utcUnixSeconds);
    if (instant.status < 0)
        return TrueSunPosition{};
    // The nearest whole ten minutes of TT, so that the result does not depend
    // on the instants asked before.
    const double nodeFraction = std::round(instant.tt2 * kNodesPerDay) / kNodesPerDay;
    if (!m_node.valid || m_node.tt1 != instant.tt1 || m_node.tt2 != nodeFraction)
        m_node = exactOrbit(instant.tt1, nodeFraction);
    return sunFor(instant, carriedOrbit(m_node, (instant.tt1 - m_node.tt1) + (instant.tt2 - m_node.tt2)), site,
                  refraction, atmosphere);
}

EarthOrbit carriedOrbit(const EarthOrbit& node, double days)
{
    // The sun's pull on the Earth, au/day²; the planets' and the Moon's change
    // the position by under 10 m in five minutes.
    const double* p = node.heliocentric[0];
    const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    const double pull = -kGaussianGravitation * kGaussianGravitation / (r * r * r);
    EarthOrbit carried = node;
    carried.tt2 += days;
    for (int i = 0; i < 3; ++i) {
        const double acceleration = pull * p[i];
        for (auto* pv : {carried.heliocentric, carried.barycentric}) {
            pv[0][i] += pv[1][i] * days + 0.5 * acceleration * days * days;
            pv[1][i] += acceleration * days;
        }
    }
    return carried;
}

double skySeparation(double azimuth1, double elevation1, double azimuth2, double elevation2)
{
    return eraSeps(azimuth1 * kRadiansPerDegree, elevation1 * kRadiansPerDegree, azimuth2 * kRadiansPerDegree,
                   elevation2 * kRadiansPerDegree)
        * kDegreesPerRadian;
}

}  // namespace heliotrope::sky
