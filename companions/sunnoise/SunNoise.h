#pragma once

// The arithmetic of a sun-noise measurement: how much more noise the receiver
// sees on the sun than on cold sky (Y), what that ratio should be for a given
// station, and the station's figure of merit G/T that it implies. Plain C++, no
// Qt, so that it is tested alone.
//
// The formulas are the usual ones of microwave and moonbounce practice:
//   S   = F · 10⁻²² W m⁻² Hz⁻¹         the solar flux F, typed in solar flux units
//   Ae  = η · π · D² / 4               effective area of a dish of diameter D
//   Ta  = S · Ae / (2 k · K)           antenna temperature on the sun; the 1/2:
//                                       a receiver takes one polarisation of
//                                       the sun's unpolarised noise
//   Y   = 1 + Ta / Tsys                the ratio sun / cold sky (in dB: 10·log10)
//   G/T = 8 π k (Y − 1) · K / (S · λ²) in dB/K: 10·log10
// K corrects for the sun's disc (0.5° across) filling part of a narrow beam:
//   K = 1 + 0.38 · (0.5° / θ)²,  θ = 70° · λ / D  (the dish's half-power beamwidth)
// K is under 1.04 (0.15 dB) for beams wider than 1.6° and grows to 1.38 (1.4 dB)
// for a 0.5° beam; it is applied to every result, since it fades by itself as
// the beam widens.

#include <optional>
#include <vector>

namespace heliotrope::sunnoise {

inline constexpr double kBoltzmann = 1.380649e-23;     // J/K, exact since 2019
inline constexpr double kSpeedOfLight = 299792458.0;   // m/s
inline constexpr double kSolarFluxUnit = 1e-22;        // W m⁻² Hz⁻¹ per SFU
inline constexpr double kSunDiscDegrees = 0.5;         // the radio sun's diameter, degrees
inline constexpr double kBeamwidthFactorDegrees = 70;  // θ ≈ 70° · λ / D for a typical dish feed

// One measurement of the sun and of cold sky, in dB on the power source's own
// scale (only their difference means anything).
struct PowerPair {
    double sunDecibels = 0;
    double coldDecibels = 0;
};

struct YFactor {
    double meanDecibels = 0;  // mean over the repeats of sun − cold, dB
    // Sample standard deviation of sun − cold over the repeats, dB; absent
    // with a single repeat, where there is no spread to speak of.
    std::optional<double> standardDeviationDecibels;
    int repeats = 0;
};

// Y from the repeats; nothing when there are none.
std::optional<YFactor> yFactor(const std::vector<PowerPair>& repeats);

// The sun's power as it would read on the beam's axis, when the dish stood
// offsetDegrees from the sun (a rotator that reaches only whole degrees):
// the sun's share of the power, (Y − 1), is divided by the Gaussian beam's
// gain there, exp(−4 ln 2 (offset / beamwidth)²). dB in, dB out; the
// beamwidth (degrees, FWHM) must be above 0.
double sunDecibelsOnAxis(double sunDecibels, double coldDecibels, double offsetDegrees, double beamwidthDegrees);

// The station for the expected Y and for G/T. Every value is the caller's to
// check: frequency and diameter above 0, efficiency in (0, 1], flux above 0.
struct Station {
    double fluxSfu = 0;  // the day's solar flux at the frequency, solar flux units
    double frequencyMegahertz = 0;
    double dishDiameterMetres = 0;
    double efficiency = 0;  // aperture efficiency η, 0 to 1 (0.5 to 0.65 for most dishes)
};

double wavelengthMetres(double frequencyMegahertz);
// θ = 70° · λ / D, degrees.
double estimatedBeamwidthDegrees(double frequencyMegahertz, double dishDiameterMetres);
// K = 1 + 0.38 · (0.5° / θ)², at least 1.
double sunDiscCorrection(double beamwidthDegrees);
// Ta = S · Ae / (2 k K), kelvin.
double sunAntennaTemperatureKelvin(const Station& station);
// 10·log10(1 + Ta / Tsys) for a system temperature in kelvin (above 0).
double expectedYDecibels(const Station& station, double systemTemperatureKelvin);
// 10·log10(8 π k (Y − 1) K / (S λ²)) from a measured Y in dB; nothing when Y
// is not above 0 dB (no sun seen, no G/T to speak of).
std::optional<double> gOverTDecibelsPerKelvin(const Station& station, double yDecibels);
// An expected Y worked out for another day's flux: the sun's antenna
// temperature goes with the flux, the system's stays, so Y − 1 scales by
// toSfu / fromSfu. Both fluxes above 0.
double expectedYDecibelsAtFlux(double expectedYDecibels, double fromSfu, double toSfu);
// The system temperature a measured Y implies: Ta / (Y − 1), kelvin; nothing
// when Y is not above 0 dB.
std::optional<double> systemTemperatureKelvin(const Station& station, double yDecibels);

}  // namespace heliotrope::sunnoise
