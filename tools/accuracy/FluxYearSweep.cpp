// How well the flux arithmetic (companions/flux) recovers a known sun over a
// year of simulated days (docs/flux-accuracy.md). The truth is
// companions/sunflux's: a quiet sun with the 27-day rotation and a slow
// trend, and bursts that rise and decay, from its seeded generator. A 3 m
// dish at 2800 MHz (or as given) in Tokyo tracks the sun above 10° and
// reads the power once a second, as a detector adds the sun's noise to the
// system's in linear power, through:
//   - a receiver whose gain drifts by 1 dB over a daily temperature cycle and
//     wanders at random besides (0.03 % in √minute), 0.2 % noise a reading;
//   - the air, its opacity drawn each day about the typical one for the
//     frequency by its stated error, both dimming the sun and adding to the
//     system's noise by elevation;
//   - a mount with a pointing error of its own each day (0.02° an axis, not
//     in the readings' angles) and 0.005° of wind a reading, commanded every
//     20 s (2 s moving each time), on three days in ten left uncommanded for
//     2 to 6 minutes (the sun drifts out of the beam);
//   - a reference on cold sky beside the sun at the start and every 10
//     minutes (3 s out, 60 s dwell, 3 s back), a sun-noise run of 5 minutes
//     three hours before transit, a stow for wind on one day in ten;
//   - interference spikes, a dozen a day, 1 to 5 s, 1 % to 100 % of the power.
// The station works each day out on three scales: a G/T from a sun-noise run
// of a typed day, a hot/cold calibration and a noise source, each made with
// errors drawn within what it states. Its values are held against the truth
// on the station's own scale: the truth times what the station reads for a
// known sun at the calibration's elevation on a day of the typical air.
//
// A burst of 3σ for 30 s: a burst of the truth whose own flux stands 3σ
// above the quiet sun for 30 s of clean readings, σ the day's median scatter
// of single readings as the station works it out; found when a burst said
// overlaps it. A burst said is false when no burst of the truth reached one σ
// in its time. Its peak is held against the truth's highest point in its time
// (all bursts together, as the station sees them) where that fell on a clean
// reading. Development only.
//
//   heliotrope-flux-year-sweep [--days N] [--frequency MHZ] [--dish METRES] [--seed N] [--check]
//
// --check: exit 1 when a target is missed (daily values' relative error at
// most 1 % rms; their stated 1σ covering the truth on 60-75 % of days, the
// band widened for a run shorter than a year by its sampling spread; at
// least 90 % of the bursts of 3σ for 30 s found; at most one false burst a
// month), on any of the three scales.

#include "companions/flux/FluxDay.h"
#include "companions/record/FluxRecord.h"
#include "companions/record/StationRecord.h"
#include "companions/sky/TrueSun.h"
#include "companions/sunflux/SunFlux.h"
#include "companions/sunnoise/SunNoise.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace heliotrope;
using flux::FluxDay;
using flux::PowerMean;
using flux::Reading;
using flux::StationState;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180.0;
constexpr double kDay = 86400;
const sky::Site kSite{35.68, 139.77, 40};  // Tokyo
// The station, from the command line: a 3 m dish at the F10.7 frequency by
// default.
double kFrequency = 2800;  // MHz
double kDish = 3.0;        // metres
constexpr double kEfficiency = 0.55;
constexpr double kEfficiencyError = 0.05;
constexpr double kLnaKelvin = 60;     // the receiver's own noise
constexpr double kGroundKelvin = 30;  // spillover and the cosmic background on cold sky
constexpr double kAmbientKelvin = 290;
constexpr double kReadingNoise = 0.002;
constexpr double kWanderPerRootMinute = 0.0003;
constexpr double kGainCycleDecibels = 1.0;  // peak to peak over the day
constexpr double kLowestTracking = 10;
constexpr double kReferenceEvery = 600;
constexpr double kReferenceDwell = 60;
constexpr double kSlew = 3;
constexpr double kReferenceOffsetBeams = 5;
constexpr double kCommandEvery = 20;
constexpr double kMoving = 2;
constexpr double kPointingErrorDegrees = 0.02;
constexpr double kWindDegrees = 0.005;
constexpr double kMeasurementSeconds = 300;
constexpr double kSpikesPerDay = 12;
constexpr double kCalibrationElevation = 45;
constexpr double kJst = 9 * 3600;

// The year's targets.
constexpr double kLargestDailyError = 0.01;
constexpr double kLeastCoverage = 0.60;
constexpr double kMostCoverage = 0.75;
constexpr double kLeastFound = 0.90;
constexpr double kMostFalsePerMonth = 1.0;

struct Options {
    int days = 365;
    double frequency = 2800;
    double dish = 3.0;
    std::uint64_t seed = 1;
    bool check = false;
    std::string record;  // a station's record to keep the days in, or none
};

double beamwidth()
{
    return sunnoise::estimatedBeamwidthDegrees(kFrequency, kDish);
}

double area(double efficiency)
{
    return efficiency * kPi * kDish * kDish / 4.0;
}

// The sun every minute of a day, drawn straight between (ERFA's sun is too
// dear for every second of a year).
struct SunTable {
    double start = 0;
    std::vector<sky::TrueSunPosition> minutes;

    void fill(double from)
    {
        start = from;
        minutes.clear();
        for (int m = 0; m <= 1441; ++m)
            minutes.push_back(sky::trueSunTopocentric(from + 60.0 * m, kSite));
    }
    void at(double utc, double& azimuth, double& elevation) const
    {
        const double x = (utc - start) / 60.0;
        const auto k = static_cast<std::size_t>(std::clamp(x, 0.0, 1440.0));
        const double u = x - static_cast<double>(k);
        const sky::TrueSunPosition& a = minutes[k];
        const sky::TrueSunPosition& b = minutes[k + 1];
        double dAz = b.azimuth - a.azimuth;
        if (dAz > 180)
            dAz -= 360;
        if (dAz < -180)
            dAz += 360;
        azimuth = std::fmod(a.azimuth + dAz * u + 360.0, 360.0);
        elevation = a.elevation + (b.elevation - a.elevation) * u;
    }
};

double angleBetween(double az1, double el1, double az2, double el2)
{
    const double h = std::pow(std::sin((el2 - el1) * kDegree / 2), 2) + std::cos(el1 * kDegree) * std::cos(el2 * kDegree) * std::pow(std::sin((az2 - az1) * kDegree / 2), 2);
    return 2.0 * std::asin(std::min(1.0, std::sqrt(h))) / kDegree;
}

// The station's three scales and, for each, the ratio of its flux to the
// truth's for the same sun (its own scale's error).
struct Scales {
    flux::FluxStation station[3];
    double ratio[3] = {1, 1, 1};
    double trueEfficiency = kEfficiency;
    const char* name[3] = {"G/T", "hot/cold", "noise source"};
};

// The system temperature on cold sky at an elevation, with the day's air.
double systemKelvin(const flux::Air& air, double elevation)
{
    return kLnaKelvin + kGroundKelvin + air.meanTemperatureKelvin * (1.0 - flux::transmission(air, elevation));
}

PowerMean drawnMean(double power, int count, std::mt19937_64& random)
{
    std::normal_distribution<double> noise(0.0, kReadingNoise);
    double sum = 0;
    double squares = 0;
    for (int i = 0; i < count; ++i) {
        const double p = power * (1 + noise(random));
        sum += p;
        squares += p * p;
    }
    const double mean = sum / count;
    return {mean, std::sqrt(std::max(0.0, squares / count - mean * mean) * count / (count - 1)), count};
}

Scales makeScales(const flux::Air& air, std::mt19937_64& random)
{
    std::normal_distribution<double> gauss(0.0, 1.0);
    Scales s;
    const double theta = beamwidth();
    const double trueEfficiency = kEfficiency + kEfficiencyError * gauss(random);
    s.trueEfficiency = trueEfficiency;
    const double tsys = systemKelvin(air, kCalibrationElevation);
    const double coldSky = tsys - kLnaKelvin;
    const flux::Aperture aperture{kDish, kEfficiency, kEfficiencyError};
    // G/T from a sun-noise run: the true G/T through the typical air at the
    // calibration's elevation, 0.15 dB off at most as often as it says.
    const double lambda = sunnoise::wavelengthMetres(kFrequency);
    const double trueGOverT = area(trueEfficiency) * 4 * kPi / (lambda * lambda) / tsys;
    flux::GOverTCalibration gt;
    gt.errorDecibels = 0.15;
    gt.gOverTDecibelsPerKelvin = 10 * std::log10(trueGOverT * flux::transmission(air, kCalibrationElevation)) + gt.errorDecibels * gauss(random);
    gt.elevationDegrees = kCalibrationElevation;
    gt.dayFluxTyped = true;
    // Hot/cold: the absorber at a temperature known to 1 K, the cold sky's
    // antenna temperature to 3 K.
    flux::HotColdCalibration hc;
    hc.hot = drawnMean(kLnaKelvin + kAmbientKelvin, 600, random);
    hc.cold = drawnMean(tsys, 600, random);
    hc.ambientKelvin = kAmbientKelvin + hc.ambientError * gauss(random);
    hc.coldSkyKelvin = coldSky + hc.coldSkyError * gauss(random);
    hc.elevationDegrees = kCalibrationElevation;
    // A noise source of 15 dB excess noise known to 0.2 dB.
    flux::NoiseSourceCalibration ns;
    ns.enrErrorDecibels = 0.2;
    const double enr = 15;
    ns.on = drawnMean(tsys + 290 * std::pow(10.0, enr / 10), 600, random);
    ns.off = drawnMean(tsys, 600, random);
    ns.enrDecibels = enr + ns.enrErrorDecibels * gauss(random);
    ns.elevationDegrees = kCalibrationElevation;
    // The G/T's system temperature, for the air's glow, from the station's hot/cold.
    const flux::ScaleResult hotCold = flux::scaleFromHotCold(hc, aperture);
    gt.systemTemperatureKelvin = hotCold.scale->systemTemperatureKelvin;
    gt.systemTemperatureErrorKelvin = hotCold.scale->systemTemperatureError * *gt.systemTemperatureKelvin;
    const flux::ScaleResult made[3] = {flux::scaleFromGOverT(gt, kFrequency), hotCold, flux::scaleFromNoiseSource(ns, aperture)};
    for (int k = 0; k < 3; ++k) {
        s.station[k] = {kFrequency, theta, std::hypot(kPointingErrorDegrees, kWindDegrees), *made[k].scale, air};
        // What the station reads for a known sun of 100 SFU on the beam's
        // axis at the calibration's elevation on a day of the typical air.
        const double disc = sunnoise::sunDiscCorrection(theta);
        const double ta = 100 * sunnoise::kSolarFluxUnit * area(trueEfficiency) * flux::transmission(air, kCalibrationElevation) / (2 * sunnoise::kBoltzmann * disc);
        s.ratio[k] = flux::fluxSfu(s.station[k], 1 + ta / tsys, 0, kCalibrationElevation) / 100;
    }
    return s;
}

struct Spike {
    double start = 0;
    double seconds = 0;
    double share = 0;  // of the power
};

// One simulated day: the readings, the references and what the truth needs
// beside them.
struct SimulatedDay {
    std::vector<Reading> readings;
    std::vector<flux::Reference> references;
    double transit = 0;
    double start = 0;
    double end = 0;
    bool tracked = false;
};

struct Station {
    std::mt19937_64 random;
    double wander = 0;  // the gain's random walk, relative
    double efficiency = kEfficiency;

    SimulatedDay simulate(const SunTable& sun, const sunflux::FluxHistory& truth, const flux::Air& typical)
    {
        SimulatedDay day;
        std::normal_distribution<double> gauss(0.0, 1.0);
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        double highest = -90;
        for (std::size_t m = 0; m < 1440; ++m) {
            const double t = sun.start + 60.0 * static_cast<double>(m);
            if (sun.minutes[m].elevation > highest) {
                highest = sun.minutes[m].elevation;
                day.transit = t;
            }
            if (sun.minutes[m].elevation > kLowestTracking) {
                if (!day.tracked)
                    day.start = t;
                day.tracked = true;
                day.end = t;
            }
        }
        if (!day.tracked)
            return day;
        flux::Air air = typical;
        air.zenithOpacity = std::max(0.0, typical.zenithOpacity + typical.zenithOpacityError * gauss(random));
        const double pointAz = kPointingErrorDegrees * gauss(random);
        const double pointEl = kPointingErrorDegrees * gauss(random);
        const double theta = beamwidth();
        const double disc = sunnoise::sunDiscCorrection(theta);
        const double measurement = day.transit - 3 * 3600;
        double stowFrom = -1;
        double stowTo = -1;
        if (uniform(random) < 0.1) {
            stowFrom = day.transit + 3600 * (0.5 + 2 * uniform(random));
            stowTo = stowFrom + 60 * (30 + 60 * uniform(random));
        }
        double strayFrom = -1;
        double strayTo = -1;
        if (uniform(random) < 0.3) {
            strayFrom = day.start + (day.end - day.start) * uniform(random);
            strayTo = strayFrom + 60 * (2 + 4 * uniform(random));
        }
        std::vector<Spike> spikes;
        std::poisson_distribution<int> spikeCount(kSpikesPerDay * (day.end - day.start) / kDay);
        for (int n = spikeCount(random); n > 0; --n)
            spikes.push_back({day.start + (day.end - day.start) * uniform(random), std::ceil(5 * uniform(random)), 0.01 * std::pow(100.0, uniform(random))});
        const double gainDay = 1 + 0.2 * uniform(random);
        const double walk = kWanderPerRootMinute / std::sqrt(60.0);
        double commandAz = 0;
        double commandEl = 0;
        double commanded = -1e9;
        double nextReference = day.start;
        double referenceStart = -1e9;
        std::vector<double> dwell;
        for (double t = day.start; t <= day.end; t += 1) {
            Reading r;
            r.utc = t;
            sun.at(t, r.sunAzimuth, r.sunElevation);
            wander += walk * gauss(random);
            const double cycle = 0.5 * (1 - std::cos(2 * kPi * (t + kJst - 5 * 3600) / kDay));
            const double gain = gainDay * std::pow(10.0, kGainCycleDecibels * cycle / 10) * (1 + wander);
            // What the station does this second: a reference when one is
            // due (never breaking into the sun-noise run or a stow; the
            // next one waits for them), else the run, the stow or tracking.
            if (t >= nextReference && !(t >= measurement && t < measurement + kMeasurementSeconds) && !(t >= stowFrom && t < stowTo)) {
                referenceStart = t;
                nextReference = t + kReferenceEvery;
                dwell.clear();
            }
            bool onSky = false;
            double offset = 0;  // degrees of azimuth on the sky beside the sun
            const double into = t - referenceStart;
            if (into < 2 * kSlew + kReferenceDwell) {
                r.state = StationState::Reference;
                r.moved = into < kSlew || into >= kSlew + kReferenceDwell;
                offset = kReferenceOffsetBeams * theta * (r.moved ? 0.5 : 1.0);
                onSky = true;
                commanded = -1e9;
            } else if (t >= measurement && t < measurement + kMeasurementSeconds) {
                r.state = StationState::Measurement;
                r.moved = true;
                offset = 2 * theta * std::sin(2 * kPi * (t - measurement) / 60);
                commanded = -1e9;
            } else if (t >= stowFrom && t < stowTo) {
                r.state = StationState::Stow;
                commanded = -1e9;
            }
            if (r.state == StationState::Tracking) {
                const bool stray = t >= strayFrom && t < strayTo;
                if (t - commanded >= kCommandEvery && !stray) {
                    commanded = t;
                    commandAz = r.sunAzimuth;
                    commandEl = r.sunElevation;
                }
                r.moved = t - commanded < kMoving;
                r.antennaAzimuth = commandAz;
                r.antennaElevation = commandEl;
            } else if (r.state == StationState::Stow) {
                r.antennaAzimuth = 0;
                r.antennaElevation = 90;
            } else {
                r.antennaAzimuth = r.sunAzimuth + offset / std::max(0.2, std::cos(r.sunElevation * kDegree));
                r.antennaElevation = r.sunElevation;
            }
            // The beam where it really points, and what the detector reads.
            const double realAz = r.antennaAzimuth + pointAz / std::max(0.2, std::cos(r.antennaElevation * kDegree)) + kWindDegrees * gauss(random);
            const double realEl = r.antennaElevation + pointEl + kWindDegrees * gauss(random);
            const double separation = angleBetween(realAz, realEl, r.sunAzimuth, r.sunElevation);
            const double sunTa = sunflux::totalFluxSfu(truth, t) * sunnoise::kSolarFluxUnit * area(efficiency) * flux::transmission(air, r.sunElevation) / (2 * sunnoise::kBoltzmann * disc);
            const double tsys = systemKelvin(air, r.antennaElevation);
            double power = gain * (tsys + sunTa * flux::pointingGain(separation, theta)) * (1 + kReadingNoise * gauss(random));
            for (const Spike& s : spikes) {
                if (t >= s.start && t < s.start + s.seconds)
                    power *= 1 + s.share;
            }
            r.power = power;
            if (onSky && !r.moved)
                dwell.push_back(power);
            if (onSky && into == kSlew + kReferenceDwell && !dwell.empty()) {
                day.references.push_back({referenceStart + kSlew, referenceStart + kSlew + static_cast<double>(dwell.size()) - 1, flux::dwellMean(dwell)});
            }
            day.readings.push_back(r);
        }
        return day;
    }
};

struct Tally {
    int days = 0;
    int valued = 0;
    int covered = 0;
    double squares = 0;
    double sum = 0;
    double stated = 0;
    int fixedValued = 0;
    int fixedCovered = 0;
    double fixedSquares = 0;
    int findable = 0;
    int found = 0;
    int peaksSeen = 0;
    int peaksWithin = 0;
    int strongSeen = 0;  // of bursts of 10σ and more
    int strongWithin = 0;
    int peaksWithinStated = 0;  // within 10 s or the peak time's stated error
    int detected = 0;
    int falseBursts = 0;
};

// The truth's burst excess (all bursts) at t.
double truthExcess(const sunflux::FluxHistory& truth, double t)
{
    return sunflux::totalFluxSfu(truth, t) - sunflux::quietFluxSfu(truth.quiet, t);
}

void score(Tally& tally, const FluxDay& day, const SimulatedDay& sim, const sunflux::FluxHistory& truth, double ratio)
{
    ++tally.days;
    const auto judge = [&](const flux::FluxValue& v, bool daily) {
        if (!v.fluxSfu)
            return;
        const double onScale = sunflux::quietFluxSfu(truth.quiet, v.meanUtc) * ratio;
        const double relative = (*v.fluxSfu - onScale) / onScale;
        const bool covered = std::abs(*v.fluxSfu - onScale) <= v.error;
        if (daily) {
            ++tally.valued;
            tally.covered += covered;
            tally.squares += relative * relative;
            tally.sum += relative;
            tally.stated += v.error / *v.fluxSfu;
        } else {
            ++tally.fixedValued;
            tally.fixedCovered += covered;
            tally.fixedSquares += relative * relative;
        }
    };
    judge(day.daily, true);
    for (const flux::FluxValue& v : day.atFixedTimes)
        judge(v, false);
    // The quiet scatter of single readings, the day's median: the σ of 3σ.
    std::vector<double> scatters;
    for (const flux::FluxReading& r : day.readings) {
        if (r.quietSfu && r.quietScatterSfu > 0)
            scatters.push_back(r.quietScatterSfu);
    }
    if (scatters.empty())
        return;
    std::nth_element(scatters.begin(), scatters.begin() + static_cast<std::ptrdiff_t>(scatters.size() / 2), scatters.end());
    const double sigma = scatters[scatters.size() / 2];
    const double first = sim.readings.front().utc;
    const auto readingAt = [&](double t) -> const flux::FluxReading* {
        const auto k = static_cast<std::ptrdiff_t>(std::llround(t - first));
        if (k < 0 || k >= static_cast<std::ptrdiff_t>(day.readings.size()))
            return nullptr;
        return &day.readings[static_cast<std::size_t>(k)];
    };
    for (const sunflux::Burst& b : sunflux::burstsBetween(truth, sim.start, sim.end)) {
        int seconds = 0;
        const double peak = sunflux::burstPeakUtc(b);
        // Over when it has fallen under one σ.
        const double over = peak + b.decaySeconds * std::log(std::max(1.0, b.peakSfu / sigma));
        for (double t = std::ceil(b.startUtc); t <= over; t += 1) {
            const flux::FluxReading* r = readingAt(t);
            if (r && r->flags == 0 && sunflux::burstFluxSfu(b, t) >= 3 * sigma)
                ++seconds;
        }
        if (seconds < 30)
            continue;
        ++tally.findable;
        tally.found += std::any_of(day.bursts.begin(), day.bursts.end(), [&](const flux::FluxBurst& d) { return d.startUtc <= over && d.endUtc >= b.startUtc; });
    }
    // Each burst said: false when the truth had no burst of a σ in its time;
    // else its peak against the truth's (all bursts together, as the station
    // sees them), when the truth's peak fell on a clean reading.
    for (const flux::FluxBurst& d : day.bursts) {
        ++tally.detected;
        double most = 0;
        double mostAt = d.peakUtc;
        for (double t = std::ceil(d.startUtc); t <= d.endUtc; t += 1) {
            const double excess = truthExcess(truth, t);
            if (excess > most) {
                most = excess;
                mostAt = t;
            }
        }
        if (most < d.quietScatterSfu) {
            ++tally.falseBursts;
        } else if (const flux::FluxReading* atPeak = readingAt(mostAt); atPeak && atPeak->flags == 0) {
            const bool within = std::abs(d.peakUtc - mostAt) <= 10;
            ++tally.peaksSeen;
            tally.peaksWithin += within;
            tally.peaksWithinStated += within || std::abs(d.peakUtc - mostAt) <= d.peakUtcError;
            if (d.peakExcessSfu >= 10 * d.quietScatterSfu) {
                ++tally.strongSeen;
                tally.strongWithin += within;
            }
        }
    }
}

bool parse(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--check") == 0)
            options.check = true;
        else if (std::strcmp(argv[i], "--days") == 0 && i + 1 < argc)
            options.days = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--frequency") == 0 && i + 1 < argc)
            options.frequency = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--dish") == 0 && i + 1 < argc)
            options.dish = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            options.seed = std::strtoull(argv[++i], nullptr, 10);
        else if (std::strcmp(argv[i], "--record") == 0 && i + 1 < argc)
            options.record = argv[++i];
        else
            return false;
    }
    return options.days > 0 && options.frequency >= 1000 && options.frequency <= 15000 && options.dish > 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: heliotrope-flux-year-sweep [--days N] [--frequency MHZ (1000 to 15000)] [--dish METRES] [--seed N] [--record FILE] [--check]\n");
        return 2;
    }
    kFrequency = options.frequency;
    kDish = options.dish;
    const auto began = std::chrono::steady_clock::now();
    // 2026-01-01 00:00 JST.
    const double first = 1767193200.0;
    sunflux::QuietSun quiet;
    // The quiet sun's spectrum from about 120 SFU at 2.8 GHz to 300 at 10 GHz.
    quiet.levelSfu = 120 * std::pow(kFrequency / 2800, 0.7);
    quiet.rotationAmplitudeSfu = quiet.levelSfu / 8;
    quiet.rotationPhaseUtc = first + 5 * kDay;
    quiet.trendSfuPerYear = -quiet.levelSfu / 20;
    quiet.epochUtc = first;
    sunflux::BurstGenerator generator;
    generator.burstsPerDay = 3;
    generator.smallestPeakSfu = 1;
    generator.largestPeakSfu = 3000;
    const sunflux::FluxHistory truth = sunflux::generateHistory(quiet, generator, first - kDay, options.days + 2, options.seed);
    const flux::Air typical = *flux::typicalAir(kFrequency);
    Station station;
    station.random.seed(options.seed * 7919 + 1);
    const Scales scales = makeScales(typical, station.random);
    station.efficiency = scales.trueEfficiency;
    Tally tally[3];
    SunTable sun;
    // The days on the G/T scale kept as a station keeps them, for the flux
    // report's pictures of months (heliotrope-rotctl --flux --since).
    std::unique_ptr<record::StationRecord> kept;
    if (!options.record.empty()) {
        kept = std::make_unique<record::StationRecord>(QString::fromStdString(options.record));
        if (!kept->open() || !kept->writable()) {
            std::fprintf(stderr, "heliotrope-flux-year-sweep: %s\n", qPrintable(kept->problem()));
            return 1;
        }
    }
    for (int d = 0; d < options.days; ++d) {
        const double dayStart = first + d * kDay;
        sun.fill(dayStart);
        const SimulatedDay sim = station.simulate(sun, truth, typical);
        if (!sim.tracked)
            continue;
        for (int k = 0; k < 3; ++k) {
            const flux::FluxDay worked = flux::workOutDay(sim.readings, sim.references, scales.station[k], sim.transit);
            score(tally[k], worked, sim, truth, scales.ratio[k]);
            if (kept && k == 0
                && !record::FluxRecord(*kept).keepFluxDay(QDate(2026, 1, 1).addDays(d), worked,
                                                          QStringLiteral("G/T (heliotrope-flux-year-sweep, seed %1)").arg(options.seed))) {
                std::fprintf(stderr, "heliotrope-flux-year-sweep: %s\n", qPrintable(kept->problem()));
                return 1;
            }
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("%d days from 2026-01-01 JST, seed %llu; %.1f m dish at %.0f MHz, beam %.2f°, Tokyo; readings every second with the sun above %.0f°; %.0f s.\n\n",
                options.days, static_cast<unsigned long long>(options.seed), kDish, kFrequency, beamwidth(), kLowestTracking, seconds);
    std::printf("| scale | its error (stated) | days valued | daily: rms error | mean | stated 1σ (mean) | covered by 1σ | fixed times: rms | covered | bursts of 3σ, 30 s | found | peaks within 10 s | of 10σ and more | within 10 s or the stated error | bursts said | false, a month |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n");
    bool met = true;
    const double months = options.days / 30.0;
    // The year's coverage band, widened by the extra sampling spread of a shorter run.
    const auto spread = [](double n) { return 2 * std::sqrt(0.68 * 0.32 / n); };
    for (int k = 0; k < 3; ++k) {
        const Tally& t = tally[k];
        const double rms = t.valued ? std::sqrt(t.squares / t.valued) : 0;
        const double coverage = t.valued ? static_cast<double>(t.covered) / t.valued : 0;
        const double found = t.findable ? static_cast<double>(t.found) / t.findable : 1;
        const double falsePerMonth = t.falseBursts / months;
        std::printf("| %s | %+.2f %% (±%.1f %%) | %d of %d | %.2f %% | %+.2f %% | %.2f %% | %.0f %% | %.2f %% | %.0f %% | %d | %.0f %% | %d of %d | %d of %d | %d of %d | %d | %.2f |\n", scales.name[k],
                    100 * (scales.ratio[k] - 1), 100 * scales.station[k].scale.relativeError, t.valued, t.days, 100 * rms, t.valued ? 100 * t.sum / t.valued : 0,
                    t.valued ? 100 * t.stated / t.valued : 0, 100 * coverage, t.fixedValued ? 100 * std::sqrt(t.fixedSquares / t.fixedValued) : 0,
                    t.fixedValued ? 100.0 * t.fixedCovered / t.fixedValued : 0, t.findable, 100 * found, t.peaksWithin, t.peaksSeen, t.strongWithin, t.strongSeen, t.peaksWithinStated, t.peaksSeen, t.detected, falsePerMonth);
        const double widen = t.valued ? std::max(0.0, spread(t.valued) - spread(365)) : 1;
        met = met && t.valued > 0 && rms <= kLargestDailyError && coverage >= kLeastCoverage - widen && coverage <= kMostCoverage + widen && found >= kLeastFound && falsePerMonth <= kMostFalsePerMonth;
    }
    std::printf("\nTargets: daily rms error ≤ %.0f %%, covered %.0f-%.0f %% of days, found ≥ %.0f %%, false ≤ %.0f a month: %s\n", 100 * kLargestDailyError,
                100 * kLeastCoverage, 100 * kMostCoverage, 100 * kLeastFound, kMostFalsePerMonth, met ? "met" : "MISSED");
    return options.check && !met ? 1 : 0;
}
