#pragma once

// The radiometer in physical units: what a total-power receiver on a dish
// reads, in kelvin of antenna temperature and in the detector's dBm.
//
//   T_sys(el)  = T_rx + (1 − b) · T_sky(el) + b · T_ground + s(el) · T_ground
//   T_sky(el)  = T_atm (1 − e^(−τ m)) + T_cmb e^(−τ m),  m = 1 / sin(max(el, 2°)),
//                τ = −ln(1 − T_zenith / T_atm)          (the zenith's sky temperature gives the opacity)
//   b(el)      = ½ erfc(el / (σ √2)),  σ = θ / (2 √(2 ln 2))   the main beam's share below the horizon
//   s(el)      = spillover · (1 + cos el) / 2                  the feed's spill past the rim, most towards
//                                                              the horizon, half of it at the zenith
//   T_sun      = S · Ae / (2 k K) · exp(−4 ln 2 (d / θ)²) · e^(−τ m_sun) · r
//                (sunnoise's antenna temperature for the flux S, the effective area Ae = η π D² / 4 and
//                 the disc correction K; the Gaussian beam at the separation d of the sun from where the
//                 beam really points; the air's and the rain's transmissions on the way; nothing with
//                 the sun below the horizon)
//   rain       transmission r = 10^(−A(t)/10) with A(t) = depth · sin²(π (t − start) / length) while it
//              rains: the sun is dimmed by r, the sky behind it too, and the wet air radiates
//              T_rain (1 − r) on its own
//   T_total    = T_sys + T_sun, times 10^(spike/10) within an interference spike
//   absorber   over the feed, at its physical temperature T_abs: the feed sees it alone, neither
//              sky nor ground nor sun: T_sys = T_rx + T_abs
//   source     a noise source coupled in ahead of the receiver, switched on: T_total gains
//              T0 · 10^(ENR/10), T0 = 290 K, its excess noise as it enters the receiver
//   G(t) dB    = gain − (drift / 2) · cos(2π (h − h_warm) / 24) − (LNA step, from its moment on)
//                h the site's mean solar hour: the amplifiers lose gain as they warm, least at the
//                warmest hour h_warm
//   detector   = k · T_total · B · G(t), in dBm
//   kelvin     = T_total · G(t) / gain: the power in kelvin on the receiver's nominal scale, which
//                drifts and steps with the gain as the detector does, as a meter calibrated once would
//
// θ is the dish's beamwidth as sunnoise estimates it (70° λ / D), so that the
// sun-noise arithmetic reads the very Y this model makes. Times are the
// radiometer's clock, Unix UTC seconds. Plain C++, no Qt.

#include "companions/sunflux/SunFlux.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace heliotrope::radiometer {

inline constexpr double kAtmosphereKelvin = 275;  // the air's mean radiating temperature, and the rain's
inline constexpr double kGroundKelvin = 290;
inline constexpr double kCosmicKelvin = 2.725;
inline constexpr double kLowestSkyElevation = 2;  // degrees: below it the air's path is taken as there

struct LnaStep {
    double utc = 0;           // from this moment on, Unix UTC s
    double lossDecibels = 0;  // the gain lost, dB, 0 to 40
};

struct Rain {
    double startUtc = 0;       // Unix UTC s
    double seconds = 600;      // how long it rains, above 0
    double depthDecibels = 3;  // the attenuation at its heaviest, dB, above 0 to 30
};

struct Spikes {
    double perHour = 0;    // mean rate of interference spikes, 0 to 3600
    double seconds = 1;    // each one's length, above 0 to 60
    double decibels = 10;  // how far above the reading without it, above 0 to 60
};

struct PhysicalModel {
    double receiverKelvin = 60;  // the receiver's noise temperature at the feed, K
    double zenithSkyKelvin = 8;  // the clear sky at the zenith, K, 0 to below T_atm
    double spillover = 0.03;     // share of the feed's pattern past the dish's rim, 0 to 0.5
    double frequencyMegahertz = 10368;
    double dishDiameterMetres = 1.2;
    double efficiency = 0.55;       // aperture efficiency, (0, 1]
    double bandwidthMegahertz = 1;  // the detector's bandwidth
    double gainDecibels = 60;       // feed to detector, nominal
    double driftDecibels = 0;       // the gain's daily peak-to-peak, dB
    double warmestHour = 14;        // mean solar hour of the day's warmest, 0 to 24
    std::optional<LnaStep> lnaStep;
    std::vector<Rain> rains;
    Spikes spikes;
};

// Where the beam really points and where the sun is, degrees, at utc.
struct Sight {
    double utc = 0;
    double beamAzimuth = 0;
    double beamElevation = 0;
    double sunAzimuth = 0;
    double sunElevation = 0;
    double longitude = 0;  // the site's, degrees east, for its solar hour
};

// What is put over or into the feed at the moment of a reading.
struct Feed {
    std::optional<double> absorberKelvin;     // an absorber over the feed, at this temperature
    std::optional<double> sourceEnrDecibels;  // a noise source on, of this excess noise
};

inline constexpr double kNoiseSourceStandardKelvin = 290;

struct PhysicalReading {
    double systemKelvin = 0;  // T_sys, with the rain's own emission
    double sunKelvin = 0;     // T_sun through the beam, the air and the rain
    double totalKelvin = 0;   // T_sys + T_sun, and a spike's power if one is on
    double gainDecibels = 0;  // G(t)
    double detectorDbm = 0;
    double kelvin = 0;  // on the nominal gain's scale
    bool spike = false;
};

double beamwidthDegrees(const PhysicalModel& model);
// The clear air's transmission towards an elevation (degrees), 0 to 1.
double airTransmission(const PhysicalModel& model, double elevation);
// The rain's attenuation at utc, dB (the heaviest where rains overlap).
double rainDecibels(const PhysicalModel& model, double utc);
// T_sys towards the beam's elevation at utc, kelvin.
double systemKelvin(const PhysicalModel& model, double elevation, double utc);
double gainDecibels(const PhysicalModel& model, double utc, double longitude);

// Interference spikes as a Poisson process, the same for the same seed
// whatever moment one starts looking (each hour draws its own from the seed
// and the hour), so that programs started one per reading agree.
bool spikeAt(const Spikes& spikes, std::uint64_t seed, double utc);

// Bursts from the generator for the days [fromUtc, toUtc) touch, each day
// drawn from the seed and the day alone, for the same reason.
std::vector<sunflux::Burst> burstsForDays(const sunflux::BurstGenerator& generator, std::uint64_t seed, double fromUtc,
                                          double toUtc);

// The reading, noiseless, for the sun's flux at the moment (SFU, at the
// model's frequency).
PhysicalReading physicalReading(const PhysicalModel& model, const Sight& sight, double fluxSfu, std::uint64_t spikeSeed,
                                const Feed& feed = {});

}  // namespace heliotrope::radiometer
