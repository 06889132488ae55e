#include "companions/sky/TrueSun.h"

#include <erfa.h>
#include <erfam.h>

#include <cmath>

namespace heliotrope::sky {

namespace {

constexpr double kDegreesPerRadian = ERFA_DR2D;
constexpr double kRadiansPerDegree = ERFA_DD2R;
constexpr double kUnixEpochJulianDate = 2440587.5;
constexpr double kSecondsPerDay = 86400.0;
// ERFA takes the radio formula for any wavelength above 100 µm.
constexpr double kRadioWavelengthMicrometres = 10000.0;
constexpr double kOpticalWavelengthMicrometres = 0.574;

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

} // namespace

TrueSunPosition trueSunTopocentric(double utcUnixSeconds, const Site& site, Refraction refraction,
                                   const Atmosphere& atmosphere)
{
    TrueSunPosition result;
    double utc1 = 0;
    double utc2 = 0;
    if (!std::isfinite(utcUnixSeconds) || !utcJulianDate(utcUnixSeconds, utc1, utc2))
        return result;

    const bool refracted = refraction != Refraction::None;
    const double pressure = refracted ? atmosphere.pressure : 0.0; // 0 hPa: ERFA leaves refraction out
    const double wavelength =
        refraction == Refraction::Radio ? kRadioWavelengthMicrometres : kOpticalWavelengthMicrometres;
    eraASTROM astrom{};
    double equationOfOrigins = 0;
    const int status = eraApco13(utc1, utc2, 0.0, site.longitude * kRadiansPerDegree,
                                 site.latitude * kRadiansPerDegree, site.height, 0.0, 0.0, pressure,
                                 atmosphere.temperature, atmosphere.relativeHumidity, wavelength, &astrom,
                                 &equationOfOrigins);
    if (status < 0)
        return result;

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
    result.status = status == 0 ? EphemerisStatus::Good : EphemerisStatus::DubiousYear;
    return result;
}

double skySeparation(double azimuth1, double elevation1, double azimuth2, double elevation2)
{
    return eraSeps(azimuth1 * kRadiansPerDegree, elevation1 * kRadiansPerDegree, azimuth2 * kRadiansPerDegree,
                   elevation2 * kRadiansPerDegree)
        * kDegreesPerRadian;
}

} // namespace heliotrope::sky
