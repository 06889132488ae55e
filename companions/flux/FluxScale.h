#pragma once

// What turns the sun's share of the receiver's power into solar flux units:
// the station's scale, the air the sun is seen through, and the beam. Plain
// C++, no Qt, beside the sun-noise arithmetic it stands on.
//
// For one reading, with Y the power on the sun over cold sky at the same
// elevation (both linear):
//
//   S = F · (Y − 1) · K · (Tsys(e) / Tsys(ec)) · Ac / (L · A(e))     SFU
//
//   F      the scale: SFU per unit of Y − 1 for a point source on the beam's
//          axis above the air, from one of three calibrations (below)
//   K      the sun's disc correction (sunnoise::sunDiscCorrection)
//   L      the beam's gain at the antenna's separation d from the sun's centre,
//          exp(−4 ln 2 (d / θs)²), θs = θ √K: the beam of width θ spread by
//          the sun's disc, the same spreading that K stands for
//   A(e)   the air's transmission at the sun's elevation e, exp(−τ X(e)),
//          τ the zenith opacity (nepers), X the airmass
//   Tsys   the system temperature on cold sky, which the air's own emission
//          raises at low elevations: Tsys(e) = Tsys(ec) + Tm (A(ec) − A(e)),
//          Tm the air's mean radiating temperature; ec the elevation of the
//          calibration. The references divide Y by the cold sky of the
//          moment, so Y − 1 falls as Tsys(e) rises; this factor puts it back.
//          Left at 1 when the scale knows no system temperature.
//   Ac     A(ec) for a G/T taken on the sun itself (through the air at ec),
//          1 for the scales that measure the system temperature directly.
//
// The three scales:
//   G/T    a sun-noise run on a day whose flux was typed in:
//          F = 8 π k / ((G/T) λ²) / 10⁻²²  (sunnoise's G/T turned round)
//   hot/cold  an ambient absorber over the feed against cold sky, Y_hc:
//          Tsys = (Tamb − Tcold) / (Y_hc − 1),  F = 2 k Tsys / Ae / 10⁻²²
//   noise source  a source of known excess noise ENR switched on cold sky, Y_ns:
//          Tsys = T0 · 10^(ENR/10) / (Y_ns − 1), T0 = 290 K,  F as for hot/cold
// Ae = η π D² / 4 the dish's effective area. Each scale carries its relative
// uncertainty, propagated from what it was made of.

#include <optional>
#include <vector>

namespace heliotrope::flux {

enum class ScaleKind { GOverT,
                       HotCold,
                       NoiseSource };

// A stretch of readings as a mean and its scatter: a reference on cold sky,
// the absorber, the noise source on or off. Linear power in the detector's
// own units.
struct PowerMean {
    double mean = 0;     // above 0
    double scatter = 0;  // standard deviation of one reading, at least 0
    int count = 0;       // readings in the mean, at least 1
};

// The mean's relative standard error: scatter / (mean √count).
double relativeError(const PowerMean& power);

// A dwell's readings (linear power) as their mean, without the interference
// that a single spike would lift it by: readings more than five robust
// standard deviations from the median are left out (and not counted). No
// readings, no mean (count 0).
PowerMean dwellMean(const std::vector<double>& powers);

struct Aperture {
    double diameterMetres = 0;
    double efficiency = 0;       // η, (0, 1]
    double efficiencyError = 0;  // its standard deviation, absolute (0.05 for 0.55 ± 0.05)
};

struct GOverTCalibration {
    double gOverTDecibelsPerKelvin = 0;
    double errorDecibels = 0;      // one standard deviation, from the run's Y and the typed flux's own error
    double elevationDegrees = 90;  // the sun's elevation during the run
    bool dayFluxTyped = false;     // worked out with the day's published flux, not a usual value
    // The system temperature on cold sky during the run, when known (the
    // run's own Tsys, or a hot/cold), and its error; without it no
    // correction for the air's emission is made.
    std::optional<double> systemTemperatureKelvin;
    double systemTemperatureErrorKelvin = 0;
};

struct HotColdCalibration {
    PowerMean hot;                 // the absorber over the feed
    PowerMean cold;                // cold sky
    double ambientKelvin = 290;    // the absorber's physical temperature
    double ambientError = 1;       // kelvin
    double coldSkyKelvin = 10;     // the antenna's temperature on that cold sky (sky, air, spillover)
    double coldSkyError = 3;       // kelvin
    double elevationDegrees = 90;  // where the cold sky was taken
};

struct NoiseSourceCalibration {
    PowerMean on;            // the source on, the dish on cold sky
    PowerMean off;           // the source off
    double enrDecibels = 0;  // the excess noise as the sun's noise enters the receiver (coupler's loss included)
    double enrErrorDecibels = 0;
    double elevationDegrees = 90;
};

struct FluxScale {
    ScaleKind kind = ScaleKind::GOverT;
    double sfuPerY = 0;        // F, SFU per unit of Y − 1
    double relativeError = 0;  // of F, one standard deviation
    double elevationDegrees = 90;
    std::optional<double> systemTemperatureKelvin;  // on cold sky at the calibration's elevation
    double systemTemperatureError = 0;              // relative; it weighs in the air's emission by elevation
    bool measuredThroughTheAir = false;             // taken on the sun: A(ec) in the arithmetic
};

enum class ScaleRefusal {
    None,
    NotOnATypedDay,  // a G/T from a usual flux, not the day's: not a scale to stand on
    NoRise,          // the absorber or the source read no more than cold sky
    BadFigures,      // a figure outside its range (non-finite, a mean not above 0, ...)
};

struct ScaleResult {
    std::optional<FluxScale> scale;
    ScaleRefusal refusal = ScaleRefusal::None;
};

ScaleResult scaleFromGOverT(const GOverTCalibration& calibration, double frequencyMegahertz);
ScaleResult scaleFromHotCold(const HotColdCalibration& calibration, const Aperture& aperture);
ScaleResult scaleFromNoiseSource(const NoiseSourceCalibration& calibration, const Aperture& aperture);
// The scale of a system temperature already worked out by one of the two
// (as the record keeps it): F = 2 k Tsys / Ae, its error the Tsys's with the
// aperture efficiency's.
ScaleResult scaleFromSystemTemperature(ScaleKind kind, double systemKelvin, double relativeError, const Aperture& aperture,
                                       double elevationDegrees);

// The air the sun is seen through.
struct Air {
    double zenithOpacity = 0;            // τ, nepers (dB / 4.343)
    double zenithOpacityError = 0;       // one standard deviation, nepers: the day's weather
    double meanTemperatureKelvin = 275;  // Tm, the air's mean radiating temperature
};

// The air of a standard atmosphere at sea level for 1 to 15 GHz: its zenith
// opacity near what ITU-R P.676 gives (the specific attenuations at 15 °C
// and 7.5 g/m³ of water vapour over equivalent heights of 6 km for the dry
// air and 2 km for the water vapour), rounded: dry 0.033 dB at 1 GHz to
// 0.046 at 15, water vapour 0.0001 dB at 1 GHz, 0.001 at 3, 0.003 at 5, 0.015
// at 10, 0.05 at 15, drawn straight between. Its error is the day's weather:
// 3 % of the dry part (the pressure) and 70 % of the water vapour's. Nothing
// outside that range, where the station must give its own; a station that
// knows its day's water vapour gives its own too.
std::optional<Air> typicalAir(double frequencyMegahertz);

// The airmass at an elevation (degrees, above 0): the path through a
// uniform shell 8 km high over a round earth, relative to the zenith's:
// 1/sin(e) within 1 % above 15° and 2 % at 10°, and 40 at the horizon
// instead of infinity.
double airmass(double elevationDegrees);

// The air's transmission at an elevation, exp(−τ X(e)).
double transmission(const Air& air, double elevationDegrees);

// The beam's gain at a separation from the sun's centre (degrees), the beam
// spread by the disc: exp(−4 ln 2 (d / θs)²), θs = θ √K. With a pointing
// error σ not in the readings' angles (rms an axis, degrees), the gain to
// expect: the beam spread by it as well, θp² = θs² + 8 ln 2 σ², and
// (θs / θp)² exp(−4 ln 2 (d / θp)²).
double pointingGain(double separationDegrees, double beamwidthDegrees, double pointingErrorDegrees = 0);

// The station as the arithmetic needs it.
struct FluxStation {
    double frequencyMegahertz = 0;
    double beamwidthDegrees = 0;      // θ, full width at half maximum
    double pointingErrorDegrees = 0;  // rms an axis not in the readings' angles: the pointing model's residual, the wind
    FluxScale scale;
    Air air;
};

// S in SFU for Y (linear) read at a separation from the sun (degrees) with
// the sun at an elevation (degrees), by the formula above.
double fluxSfu(const FluxStation& station, double y, double separationDegrees, double elevationDegrees);

// d ln S / d τ at an elevation: how much S moves, relatively, for a neper
// more of today's zenith opacity than the station assumed. Both ways the air
// acts: it dims the sun by X(e), and its emission, Tm X A(e) a neper, raises
// the system temperature; the second is the larger wherever Tsys is under
// Tm, and grows with the airmass as the first does.
double fluxOpacitySensitivity(const FluxStation& station, double elevationDegrees);

// d ln S / d ln Tsys(ec) at an elevation: the air's emission is put back in
// kelvin, so a system temperature stated too high takes too little of it
// out; nothing where the elevation is the calibration's.
double fluxSystemTemperatureSensitivity(const FluxStation& station, double elevationDegrees);

}  // namespace heliotrope::flux
