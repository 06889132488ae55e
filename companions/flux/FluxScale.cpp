#include "companions/flux/FluxScale.h"

#include "companions/sunnoise/SunNoise.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace heliotrope::flux {

namespace {

// π as the rest of the program writes it.
constexpr double kPi = 3.14159265358979;
constexpr double kDegree = kPi / 180.0;
// A noise source's excess noise is stated over the standard temperature.
constexpr double kStandardKelvin = 290;
constexpr double kEarthRadiusKm = 6371;
constexpr double kAirShellKm = 8;
const double kFourLn2 = 4.0 * std::log(2.0);
// dB to the relative change of the ratio it stands for, per dB.
const double kDecibelToRelative = std::log(10.0) / 10.0;
// How much the air's two parts change from day to day, as shares of their
// typical figures: the dry air with the pressure, the water vapour as it
// comes and goes (2 to 20 g/m³ over a year about the 7.5 of the standard).
constexpr double kDryAirSpread = 0.03;
constexpr double kWaterVapourSpread = 0.7;
// A dwell's readings kept within this many robust standard deviations of its median.
constexpr double kDwellReach = 5;
constexpr double kScatterPerMad = 1.4826;

bool finite(double value)
{
    return std::isfinite(value);
}

bool usable(const PowerMean& power)
{
    return finite(power.mean) && power.mean > 0 && finite(power.scatter) && power.scatter >= 0 && power.count >= 1;
}

bool usable(const Aperture& aperture)
{
    return finite(aperture.diameterMetres) && aperture.diameterMetres > 0 && finite(aperture.efficiency) && aperture.efficiency > 0 && aperture.efficiency <= 1 && finite(aperture.efficiencyError) && aperture.efficiencyError >= 0;
}

bool usableElevation(double degrees)
{
    return finite(degrees) && degrees > 0 && degrees <= 90;
}

ScaleResult refused(ScaleRefusal why)
{
    return ScaleResult{std::nullopt, why};
}

// F = 2 k Tsys / Ae in SFU, with the relative errors of Tsys and of the area.
FluxScale fromSystemTemperature(ScaleKind kind, double tsys, double tsysRelativeError, const Aperture& aperture, double elevation)
{
    const double area = aperture.efficiency * kPi * aperture.diameterMetres * aperture.diameterMetres / 4.0;
    FluxScale scale;
    scale.kind = kind;
    scale.sfuPerY = 2.0 * sunnoise::kBoltzmann * tsys / area / sunnoise::kSolarFluxUnit;
    scale.relativeError = std::hypot(tsysRelativeError, aperture.efficiencyError / aperture.efficiency);
    scale.elevationDegrees = elevation;
    scale.systemTemperatureKelvin = tsys;
    scale.systemTemperatureError = tsysRelativeError;
    return scale;
}

// The Y of two means and its standard error.
struct Ratio {
    double value = 0;
    double error = 0;
};

Ratio ratioOf(const PowerMean& high, const PowerMean& low)
{
    const double y = high.mean / low.mean;
    return {y, y * std::hypot(relativeError(high), relativeError(low))};
}

// The system temperature a calibration's factor Y implies, T / (Y − 1) with
// T the step in temperature behind it, and its error.
double systemRelativeError(double stepRelativeError, const Ratio& y)
{
    return std::hypot(stepRelativeError, y.error / (y.value - 1.0));
}

}  // namespace

double relativeError(const PowerMean& power)
{
    return power.scatter / (power.mean * std::sqrt(static_cast<double>(std::max(power.count, 1))));
}

ScaleResult scaleFromGOverT(const GOverTCalibration& calibration, double frequencyMegahertz)
{
    if (!finite(calibration.gOverTDecibelsPerKelvin) || !finite(calibration.errorDecibels) || calibration.errorDecibels < 0 || !usableElevation(calibration.elevationDegrees) || !finite(frequencyMegahertz) || frequencyMegahertz <= 0)
        return refused(ScaleRefusal::BadFigures);
    if (calibration.systemTemperatureKelvin && !(finite(*calibration.systemTemperatureKelvin) && *calibration.systemTemperatureKelvin > 0 && finite(calibration.systemTemperatureErrorKelvin) && calibration.systemTemperatureErrorKelvin >= 0))
        return refused(ScaleRefusal::BadFigures);
    if (!calibration.dayFluxTyped)
        return refused(ScaleRefusal::NotOnATypedDay);
    const double lambda = sunnoise::wavelengthMetres(frequencyMegahertz);
    const double gOverT = std::pow(10.0, calibration.gOverTDecibelsPerKelvin / 10.0);
    FluxScale scale;
    scale.kind = ScaleKind::GOverT;
    scale.sfuPerY = 8.0 * kPi * sunnoise::kBoltzmann / (gOverT * lambda * lambda) / sunnoise::kSolarFluxUnit;
    scale.relativeError = kDecibelToRelative * calibration.errorDecibels;
    scale.elevationDegrees = calibration.elevationDegrees;
    scale.systemTemperatureKelvin = calibration.systemTemperatureKelvin;
    if (calibration.systemTemperatureKelvin)
        scale.systemTemperatureError = calibration.systemTemperatureErrorKelvin / *calibration.systemTemperatureKelvin;
    scale.measuredThroughTheAir = true;
    return ScaleResult{scale, ScaleRefusal::None};
}

ScaleResult scaleFromHotCold(const HotColdCalibration& calibration, const Aperture& aperture)
{
    if (!usable(calibration.hot) || !usable(calibration.cold) || !usable(aperture) || !usableElevation(calibration.elevationDegrees))
        return refused(ScaleRefusal::BadFigures);
    const double step = calibration.ambientKelvin - calibration.coldSkyKelvin;
    if (!finite(step) || step <= 0 || calibration.coldSkyKelvin < 0 || !finite(calibration.ambientError) || calibration.ambientError < 0 || !finite(calibration.coldSkyError) || calibration.coldSkyError < 0)
        return refused(ScaleRefusal::BadFigures);
    const Ratio y = ratioOf(calibration.hot, calibration.cold);
    if (!(y.value > 1.0))
        return refused(ScaleRefusal::NoRise);
    const double tsys = step / (y.value - 1.0);
    const double stepError = std::hypot(calibration.ambientError, calibration.coldSkyError) / step;
    return ScaleResult{fromSystemTemperature(ScaleKind::HotCold, tsys, systemRelativeError(stepError, y), aperture, calibration.elevationDegrees), ScaleRefusal::None};
}

ScaleResult scaleFromSystemTemperature(ScaleKind kind, double systemKelvin, double relativeError, const Aperture& aperture,
                                       double elevationDegrees)
{
    if (kind == ScaleKind::GOverT || !finite(systemKelvin) || systemKelvin <= 0 || !finite(relativeError) || relativeError < 0
        || !usable(aperture) || !usableElevation(elevationDegrees))
        return refused(ScaleRefusal::BadFigures);
    return ScaleResult{fromSystemTemperature(kind, systemKelvin, relativeError, aperture, elevationDegrees), ScaleRefusal::None};
}

ScaleResult scaleFromNoiseSource(const NoiseSourceCalibration& calibration, const Aperture& aperture)
{
    if (!usable(calibration.on) || !usable(calibration.off) || !usable(aperture) || !usableElevation(calibration.elevationDegrees) || !finite(calibration.enrDecibels) || !finite(calibration.enrErrorDecibels) || calibration.enrErrorDecibels < 0)
        return refused(ScaleRefusal::BadFigures);
    const Ratio y = ratioOf(calibration.on, calibration.off);
    if (!(y.value > 1.0))
        return refused(ScaleRefusal::NoRise);
    const double excess = kStandardKelvin * std::pow(10.0, calibration.enrDecibels / 10.0);
    const double tsys = excess / (y.value - 1.0);
    return ScaleResult{fromSystemTemperature(ScaleKind::NoiseSource, tsys, systemRelativeError(kDecibelToRelative * calibration.enrErrorDecibels, y), aperture, calibration.elevationDegrees), ScaleRefusal::None};
}

std::optional<Air> typicalAir(double frequencyMegahertz)
{
    struct Point {
        double megahertz;
        double dry;  // dB at the zenith
        double wet;
    };
    static constexpr Point kZenith[] = {{1000, 0.033, 0.0001}, {3000, 0.037, 0.0011}, {5000, 0.038, 0.003}, {10000, 0.042, 0.015}, {12000, 0.043, 0.022}, {15000, 0.046, 0.05}};
    if (!(frequencyMegahertz >= kZenith[0].megahertz && frequencyMegahertz <= std::prev(std::end(kZenith))->megahertz))
        return std::nullopt;
    const Point* high = std::lower_bound(std::begin(kZenith), std::end(kZenith), frequencyMegahertz, [](const Point& p, double f) { return p.megahertz < f; });
    double dry = high->dry;
    double wet = high->wet;
    if (high != std::begin(kZenith)) {
        const Point* low = high - 1;
        const double u = (frequencyMegahertz - low->megahertz) / (high->megahertz - low->megahertz);
        dry = low->dry + (high->dry - low->dry) * u;
        wet = low->wet + (high->wet - low->wet) * u;
    }
    Air air;
    air.zenithOpacity = (dry + wet) * kDecibelToRelative;
    air.zenithOpacityError = std::hypot(kDryAirSpread * dry, kWaterVapourSpread * wet) * kDecibelToRelative;
    return air;
}

double airmass(double elevationDegrees)
{
    const double r = kEarthRadiusKm / kAirShellKm * std::sin(std::max(elevationDegrees, 0.0) * kDegree);
    return std::sqrt(r * r + 2.0 * kEarthRadiusKm / kAirShellKm + 1.0) - r;
}

double transmission(const Air& air, double elevationDegrees)
{
    return std::exp(-air.zenithOpacity * airmass(elevationDegrees));
}

double pointingGain(double separationDegrees, double beamwidthDegrees, double pointingErrorDegrees)
{
    const double spread = beamwidthDegrees * beamwidthDegrees * sunnoise::sunDiscCorrection(beamwidthDegrees);
    const double blurred = spread + 2.0 * kFourLn2 * pointingErrorDegrees * pointingErrorDegrees;
    return spread / blurred * std::exp(-kFourLn2 * separationDegrees * separationDegrees / blurred);
}

namespace {

// Tsys(e) / Tsys(ec): 1 without a system temperature to scale.
double emissionFactor(const FluxStation& station, double elevationDegrees)
{
    const FluxScale& scale = station.scale;
    if (!scale.systemTemperatureKelvin)
        return 1.0;
    const double rise = station.air.meanTemperatureKelvin * (transmission(station.air, scale.elevationDegrees) - transmission(station.air, elevationDegrees));
    return (*scale.systemTemperatureKelvin + rise) / *scale.systemTemperatureKelvin;
}

}  // namespace

double fluxSfu(const FluxStation& station, double y, double separationDegrees, double elevationDegrees)
{
    const FluxScale& scale = station.scale;
    const double disc = sunnoise::sunDiscCorrection(station.beamwidthDegrees);
    const double throughTheAir = scale.measuredThroughTheAir ? transmission(station.air, scale.elevationDegrees) : 1.0;
    return scale.sfuPerY * (y - 1.0) * disc * emissionFactor(station, elevationDegrees) * throughTheAir / (pointingGain(separationDegrees, station.beamwidthDegrees, station.pointingErrorDegrees) * transmission(station.air, elevationDegrees));
}

double fluxOpacitySensitivity(const FluxStation& station, double elevationDegrees)
{
    // Today's air only: the air of the calibration's day is in the scale
    // and in its error.
    const double x = airmass(elevationDegrees);
    double sensitivity = x;
    if (station.scale.systemTemperatureKelvin) {
        const double a = transmission(station.air, elevationDegrees);
        sensitivity += station.air.meanTemperatureKelvin * x * a / (*station.scale.systemTemperatureKelvin * emissionFactor(station, elevationDegrees));
    }
    return sensitivity;
}

double fluxSystemTemperatureSensitivity(const FluxStation& station, double elevationDegrees)
{
    const double factor = emissionFactor(station, elevationDegrees);
    return -(factor - 1.0) / factor;
}

PowerMean dwellMean(const std::vector<double>& powers)
{
    PowerMean mean;
    std::vector<double> kept;
    for (double p : powers) {
        if (finite(p))
            kept.push_back(p);
    }
    if (kept.empty())
        return mean;
    std::vector<double> sorted = kept;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted[sorted.size() / 2];
    for (double& v : sorted)
        v = std::abs(v - median);
    std::sort(sorted.begin(), sorted.end());
    const double reach = kDwellReach * kScatterPerMad * sorted[sorted.size() / 2];
    kept.erase(std::remove_if(kept.begin(), kept.end(), [&](double p) { return std::abs(p - median) > reach; }), kept.end());
    double sum = 0;
    for (double p : kept)
        sum += p;
    mean.count = static_cast<int>(kept.size());
    mean.mean = sum / mean.count;
    double squares = 0;
    for (double p : kept)
        squares += (p - mean.mean) * (p - mean.mean);
    mean.scatter = mean.count > 1 ? std::sqrt(squares / (mean.count - 1)) : 0.0;
    return mean;
}

}  // namespace heliotrope::flux
