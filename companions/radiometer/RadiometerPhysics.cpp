#include "companions/radiometer/RadiometerPhysics.h"

#include "companions/sky/TrueSun.h"
#include "companions/sunnoise/SunNoise.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace heliotrope::radiometer {

namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kDegree = kPi / 180.0;
constexpr double kSecondsPerHour = 3600;
constexpr double kSecondsPerDay = 86400;

double ratio(double decibels)
{
    return std::pow(10.0, decibels / 10.0);
}

// Elevation as the sky has it, for a beam taken over the top (e > 90°).
double skyElevation(double elevation)
{
    return elevation > 90 ? 180 - elevation : elevation;
}

double zenithOpacity(const PhysicalModel& model)
{
    return -std::log(1.0 - model.zenithSkyKelvin / kAtmosphereKelvin);
}

double airMass(double elevation)
{
    return 1.0 / std::sin(std::max(skyElevation(elevation), kLowestSkyElevation) * kDegree);
}

// One generator per period from the seed and the period's number, so that
// the period's draws are the same however one came to it.
std::mt19937_64 periodGenerator(std::uint64_t seed, double period)
{
    const std::uint64_t n = static_cast<std::uint64_t>(static_cast<std::int64_t>(period));
    return std::mt19937_64(seed * 0x9E3779B97F4A7C15ULL ^ (n + 0x632BE59BD9B4E019ULL) * 0xBF58476D1CE4E5B9ULL);
}

double uniform(std::mt19937_64& random)
{
    return static_cast<double>(random() >> 11) * 0x1.0p-53;
}

bool spikeInHour(const Spikes& spikes, std::uint64_t seed, double hour, double utc)
{
    std::mt19937_64 random = periodGenerator(seed, hour);
    const double meanGap = kSecondsPerHour / spikes.perHour;
    for (double t = hour * kSecondsPerHour - std::log(1.0 - uniform(random)) * meanGap; t < (hour + 1) * kSecondsPerHour;
         t += -std::log(1.0 - uniform(random)) * meanGap) {
        if (utc >= t && utc < t + spikes.seconds)
            return true;
    }
    return false;
}

}  // namespace

double beamwidthDegrees(const PhysicalModel& model)
{
    return sunnoise::estimatedBeamwidthDegrees(model.frequencyMegahertz, model.dishDiameterMetres);
}

double airTransmission(const PhysicalModel& model, double elevation)
{
    return std::exp(-zenithOpacity(model) * airMass(elevation));
}

double rainDecibels(const PhysicalModel& model, double utc)
{
    double heaviest = 0;
    for (const Rain& rain : model.rains) {
        if (utc < rain.startUtc || utc > rain.startUtc + rain.seconds)
            continue;
        const double s = std::sin(kPi * (utc - rain.startUtc) / rain.seconds);
        heaviest = std::max(heaviest, rain.depthDecibels * s * s);
    }
    return heaviest;
}

double systemKelvin(const PhysicalModel& model, double elevation, double utc)
{
    const double e = skyElevation(elevation);
    const double t = airTransmission(model, e);
    const double clearSky = kAtmosphereKelvin * (1.0 - t) + kCosmicKelvin * t;
    const double rain = 1.0 / ratio(rainDecibels(model, utc));
    const double sky = clearSky * rain + kAtmosphereKelvin * (1.0 - rain);
    const double sigma = beamwidthDegrees(model) / (2.0 * std::sqrt(2.0 * std::log(2.0)));
    const double belowHorizon = 0.5 * std::erfc(e / (sigma * std::sqrt(2.0)));
    const double spill = model.spillover * (1.0 + std::cos(e * kDegree)) / 2.0;
    return model.receiverKelvin + (1.0 - belowHorizon) * sky + (belowHorizon + spill) * kGroundKelvin;
}

double gainDecibels(const PhysicalModel& model, double utc, double longitude)
{
    const double hour = std::fmod(utc / kSecondsPerHour + longitude / 15.0, 24.0);
    double gain = model.gainDecibels - model.driftDecibels / 2.0 * std::cos(2.0 * kPi * (hour - model.warmestHour) / 24.0);
    if (model.lnaStep && utc >= model.lnaStep->utc)
        gain -= model.lnaStep->lossDecibels;
    return gain;
}

bool spikeAt(const Spikes& spikes, std::uint64_t seed, double utc)
{
    if (!(spikes.perHour > 0))
        return false;
    // A spike is shorter than an hour: one begun in the hour before may last into this one.
    const double hour = std::floor(utc / kSecondsPerHour);
    return spikeInHour(spikes, seed, hour, utc) || spikeInHour(spikes, seed, hour - 1, utc);
}

std::vector<sunflux::Burst> burstsForDays(const sunflux::BurstGenerator& generator, std::uint64_t seed, double fromUtc,
                                          double toUtc)
{
    std::vector<sunflux::Burst> bursts;
    for (double day = std::floor(fromUtc / kSecondsPerDay); day * kSecondsPerDay < toUtc; ++day) {
        const std::vector<sunflux::Burst> more = sunflux::generateBursts(generator, day * kSecondsPerDay, (day + 1) * kSecondsPerDay,
                                                                         periodGenerator(seed, day)());
        bursts.insert(bursts.end(), more.begin(), more.end());
    }
    return bursts;
}

PhysicalReading physicalReading(const PhysicalModel& model, const Sight& sight, double fluxSfu, std::uint64_t spikeSeed,
                                const Feed& feed)
{
    PhysicalReading reading;
    reading.systemKelvin = feed.absorberKelvin ? model.receiverKelvin + *feed.absorberKelvin
                                               : systemKelvin(model, sight.beamElevation, sight.utc);
    if (feed.sourceEnrDecibels)
        reading.systemKelvin += kNoiseSourceStandardKelvin * ratio(*feed.sourceEnrDecibels);
    if (!feed.absorberKelvin && sight.sunElevation > 0 && fluxSfu > 0) {
        const sunnoise::Station station{fluxSfu, model.frequencyMegahertz, model.dishDiameterMetres, model.efficiency};
        const double separation = sky::skySeparation(sight.beamAzimuth, skyElevation(sight.beamElevation), sight.sunAzimuth,
                                                     sight.sunElevation);
        const double share = separation / beamwidthDegrees(model);
        const double beam = std::exp(-4.0 * std::log(2.0) * share * share);
        const double path = airTransmission(model, sight.sunElevation) / ratio(rainDecibels(model, sight.utc));
        reading.sunKelvin = sunnoise::sunAntennaTemperatureKelvin(station) * beam * path;
    }
    reading.spike = spikeAt(model.spikes, spikeSeed, sight.utc);
    reading.totalKelvin = (reading.systemKelvin + reading.sunKelvin) * (reading.spike ? ratio(model.spikes.decibels) : 1.0);
    reading.gainDecibels = gainDecibels(model, sight.utc, sight.longitude);
    const double watts = sunnoise::kBoltzmann * reading.totalKelvin * model.bandwidthMegahertz * 1e6 * ratio(reading.gainDecibels);
    reading.detectorDbm = 10.0 * std::log10(watts / 1e-3);
    reading.kelvin = reading.totalKelvin * ratio(reading.gainDecibels - model.gainDecibels);
    return reading;
}

}  // namespace heliotrope::radiometer
