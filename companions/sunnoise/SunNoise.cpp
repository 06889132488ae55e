#include "companions/sunnoise/SunNoise.h"

#include <algorithm>
#include <cmath>

namespace heliotrope::sunnoise {

namespace {

// π as the rest of the program writes it.
constexpr double kPi = 3.14159265358979;
constexpr double kSunDiscCoefficient = 0.38;

double decibels(double ratio)
{
    return 10.0 * std::log10(ratio);
}

double ratio(double decibels)
{
    return std::pow(10.0, decibels / 10.0);
}

double beamwidthFor(const Station& station)
{
    return estimatedBeamwidthDegrees(station.frequencyMegahertz, station.dishDiameterMetres);
}

}  // namespace

std::optional<YFactor> yFactor(const std::vector<PowerPair>& repeats)
{
    if (repeats.empty())
        return std::nullopt;
    YFactor y;
    y.repeats = static_cast<int>(repeats.size());
    double sum = 0;
    for (const PowerPair& pair : repeats)
        sum += pair.sunDecibels - pair.coldDecibels;
    y.meanDecibels = sum / y.repeats;
    if (y.repeats > 1) {
        double squares = 0;
        for (const PowerPair& pair : repeats) {
            const double d = pair.sunDecibels - pair.coldDecibels - y.meanDecibels;
            squares += d * d;
        }
        y.standardDeviationDecibels = std::sqrt(squares / (y.repeats - 1));
    }
    return y;
}

double wavelengthMetres(double frequencyMegahertz)
{
    return kSpeedOfLight / (frequencyMegahertz * 1e6);
}

double estimatedBeamwidthDegrees(double frequencyMegahertz, double dishDiameterMetres)
{
    return kBeamwidthFactorDegrees * wavelengthMetres(frequencyMegahertz) / dishDiameterMetres;
}

double sunDiscCorrection(double beamwidthDegrees)
{
    const double share = kSunDiscDegrees / beamwidthDegrees;
    return std::max(1.0, 1.0 + kSunDiscCoefficient * share * share);
}

double sunAntennaTemperatureKelvin(const Station& station)
{
    const double flux = station.fluxSfu * kSolarFluxUnit;
    const double area = station.efficiency * kPi * station.dishDiameterMetres * station.dishDiameterMetres / 4.0;
    return flux * area / (2.0 * kBoltzmann * sunDiscCorrection(beamwidthFor(station)));
}

double expectedYDecibels(const Station& station, double systemTemperatureKelvin)
{
    return decibels(1.0 + sunAntennaTemperatureKelvin(station) / systemTemperatureKelvin);
}

std::optional<double> gOverTDecibelsPerKelvin(const Station& station, double yDecibels)
{
    if (!(yDecibels > 0))
        return std::nullopt;
    const double lambda = wavelengthMetres(station.frequencyMegahertz);
    const double flux = station.fluxSfu * kSolarFluxUnit;
    return decibels(8.0 * kPi * kBoltzmann * (ratio(yDecibels) - 1.0) * sunDiscCorrection(beamwidthFor(station)) / (flux * lambda * lambda));
}

double expectedYDecibelsAtFlux(double expectedYDecibels, double fromSfu, double toSfu)
{
    return decibels(1.0 + (ratio(expectedYDecibels) - 1.0) * toSfu / fromSfu);
}

std::optional<double> systemTemperatureKelvin(const Station& station, double yDecibels)
{
    if (!(yDecibels > 0))
        return std::nullopt;
    return sunAntennaTemperatureKelvin(station) / (ratio(yDecibels) - 1.0);
}

double sunDecibelsOnAxis(double sunDecibels, double coldDecibels, double offsetDegrees, double beamwidthDegrees)
{
    const double ratio = offsetDegrees / beamwidthDegrees;
    const double gain = std::exp(-4.0 * std::log(2.0) * ratio * ratio);
    const double y = std::pow(10.0, (sunDecibels - coldDecibels) / 10.0);
    return coldDecibels + 10.0 * std::log10(1.0 + (y - 1.0) / gain);
}

}  // namespace heliotrope::sunnoise
