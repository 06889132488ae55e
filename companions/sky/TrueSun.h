#pragma once

#include <optional>
#include <string_view>

// Where the real sun stands for a site, from ERFA (the IAU's SOFA routines
// under a free licence), as opposed to the window's fixed model, which can be
// nearly 2° off. Plain C++: no Qt, so that it is tested alone.
//
// The sun is the topocentric apparent sun: the sun's centre as seen from the
// site, with the light time, annual and diurnal aberration, precession,
// nutation, the Earth's rotation and the site's height and latitude on the
// WGS84 ellipsoid taken into account. UT1 − UTC is taken as 0 (it stays within
// ±0.9 s, under 0.004° of the sun's motion) and polar motion as 0 (under 0.3″).
// Precession IAU 2006, nutation IAU 2000B (within 1 mas of 2000A at a fifth
// of the cost). Against python3-ephem, 2024-2030: within 0.9″.

namespace heliotrope::sky {

struct Site {
    double latitude = 0;   // degrees, geodetic, north positive, −90 to 90
    double longitude = 0;  // degrees, east positive, −180 to 180
    double height = 0;     // metres above the ellipsoid, −500 to 9000
};

enum class Refraction {
    None,     // the geometric direction, as the window's model means its elevation
    Optical,  // visible light (0.574 µm), ERFA's refraction constants
    Radio,    // radio waves (any wavelength above 100 µm), humidity matters
};

// The air the refraction is computed for; ignored with Refraction::None.
// "none", "optical", "radio": the names the command line and the saved
// calibration use; nothing for any other name.
const char* refractionName(Refraction refraction);
std::optional<Refraction> refractionNamed(std::string_view name);

struct Atmosphere {
    double pressure = 1013.25;      // hPa at the site, 0 to 1100 (0: no refraction)
    double temperature = 15;        // °C, −60 to 60
    double relativeHumidity = 0.5;  // 0 to 1
};

enum class EphemerisStatus {
    Good,
    DubiousYear,  // outside ERFA's leap-second table: still computed, a warning
    Failed,       // ERFA refused the date; no position
};

struct TrueSunPosition {
    double azimuth = 0;    // degrees from north through east, 0 to 360
    double elevation = 0;  // degrees above the horizon, −90 to 90
    EphemerisStatus status = EphemerisStatus::Failed;
};

// The sun for `site` at `utcUnixSeconds` (seconds since 1970-01-01 00:00 UTC,
// as the system clock counts them, without leap seconds). With refraction,
// ERFA's model is good to about 0.01° above 15° elevation and degrades
// towards the horizon: below about 3° it keeps the value at 3° and the real
// refraction (about 0.5° at the horizon) is not followed.
TrueSunPosition trueSunTopocentric(double utcUnixSeconds, const Site& site, Refraction refraction = Refraction::None,
                                   const Atmosphere& atmosphere = {});

// The Earth's heliocentric and barycentric position and velocity (au, au/day)
// at a TT instant, as ERFA's eraEpv00 gives them.
struct EarthOrbit {
    double tt1 = 0;  // TT as a two-part Julian date
    double tt2 = 0;
    double heliocentric[2][3] = {};
    double barycentric[2][3] = {};
    bool valid = false;
};

// The orbit `days` later (a few minutes either way), carried on with the
// velocity and the sun's pull: the position is good to about 10 m over five
// minutes, under 0.00001″ seen from the sun.
EarthOrbit carriedOrbit(const EarthOrbit& node, double days);

// The same sun as trueSunTopocentric, for a caller that asks again and again
// for nearby instants (the rotator bridge, every 750 ms). The Earth's orbit,
// three quarters of the cost, is computed at the nearest whole ten minutes of
// TT and carried to the instant asked; the result differs from
// trueSunTopocentric's by under 0.0001″ (about 60,000 instructions a call
// instead of 380,000, plus one full orbit each ten minutes). One tracker per
// thread: it keeps that node.
class TrueSunTracker {
public:
    TrueSunPosition at(double utcUnixSeconds, const Site& site, Refraction refraction = Refraction::None,
                       const Atmosphere& atmosphere = {});

private:
    EarthOrbit m_node;
};

// The angle on the sky between two directions given as azimuth and elevation,
// in degrees, 0 to 180.
double skySeparation(double azimuth1, double elevation1, double azimuth2, double elevation2);

}  // namespace heliotrope::sky
