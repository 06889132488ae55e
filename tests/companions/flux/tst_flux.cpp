// The flux arithmetic on days made to order: a known sun through a known
// station, so that a lost factor between the scales, a drift not followed, a
// reading kept that should not be or a burst made of a spike shows.

#include "companions/flux/FluxDay.h"
#include "companions/sunnoise/SunNoise.h"

#include <QTest>

#include <cmath>
#include <functional>
#include <random>

using namespace heliotrope;
using namespace heliotrope::flux;

class TestFlux : public QObject {
    Q_OBJECT

private slots:
    void fluxIsTheSunNoiseArithmeticTurnedRound();
    void theThreeScalesAgreeOnOneDay();
    void aDecibelOfGainDriftIsFollowedByTheReferences();
    void readingsAcrossAGainStepAreFlagged();
    void flagsSayWhyAndKeepReadingsOutOfTheQuietValues();
    void aBurstIsFoundAndASpikeIsNot();
    void aSlowBurstsPeakIsNotStatedCloserThanItCanBeTimed();
    void aDayWithoutEnoughReadingsSaysSo();
    void wholeDecibelsAreInTheErrorsAndTheBurstsSeen();
};

namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kFrequency = 2800;
constexpr double kDish = 3.0;
constexpr double kEfficiency = 0.55;
constexpr double kBeam = 2.5;
constexpr double kTsys = 100;
constexpr double kTransit = 1767236400;  // 2026-01-01 03:00 UTC, noon in Japan

double area()
{
    return kEfficiency * kPi * kDish * kDish / 4;
}

// The G/T scale of the station below, exactly as it is.
FluxStation station(const Air& air = {})
{
    const double lambda = sunnoise::wavelengthMetres(kFrequency);
    GOverTCalibration gt;
    gt.gOverTDecibelsPerKelvin = 10 * std::log10(4 * kPi * area() / (lambda * lambda) / kTsys);
    gt.errorDecibels = 0.1;
    gt.dayFluxTyped = true;
    gt.systemTemperatureKelvin = kTsys;
    return {kFrequency, kBeam, 0, *scaleFromGOverT(gt, kFrequency).scale, air};
}

// A day of 1 s readings with the sun at 30° to 50°, the station on it, a
// reference every referenceEvery seconds (60 s on cold sky beside the sun).
struct Day {
    double from = kTransit - 3 * 3600;
    double to = kTransit + 3 * 3600;
    double noise = 0.002;
    double referenceEvery = 600;
    std::function<double(double)> flux = [](double) { return 100.0; };
    std::function<double(double)> gain = [](double) { return 1.0; };
    // What the station did at each second; tracking on the sun unless said.
    std::function<void(Reading&)> station = [](Reading&) {};
    std::uint64_t seed = 1;

    std::vector<Reading> readings;
    std::vector<Reference> references;

    void make()
    {
        std::mt19937_64 random(seed);
        std::normal_distribution<double> gauss(0, noise);
        const double disc = sunnoise::sunDiscCorrection(kBeam);
        std::vector<double> dwell;
        for (double t = from; t <= to; t += 1) {
            const double into = std::fmod(t - from, referenceEvery);
            Reading r;
            r.utc = t;
            r.sunAzimuth = 180 + 15 * (t - kTransit) / 3600;
            r.sunElevation = 50 - 20 * std::abs(t - kTransit) / (3 * 3600);
            r.antennaAzimuth = r.sunAzimuth;
            r.antennaElevation = r.sunElevation;
            if (into < 60) {
                r.state = StationState::Reference;
                r.antennaAzimuth += 5 * kBeam / std::cos(r.sunElevation * kPi / 180);
            }
            station(r);
            const double separation = std::hypot((r.antennaAzimuth - r.sunAzimuth) * std::cos(r.sunElevation * kPi / 180), r.antennaElevation - r.sunElevation);
            const double ta = flux(t) * sunnoise::kSolarFluxUnit * area() / (2 * sunnoise::kBoltzmann * disc);
            r.power = gain(t) * (kTsys + ta * pointingGain(separation, kBeam)) * (1 + gauss(random));
            if (r.state == StationState::Reference)
                dwell.push_back(r.power);
            if (into == 59) {
                references.push_back({t - 59, t, dwellMean(dwell)});
                dwell.clear();
            }
            readings.push_back(r);
        }
    }
};

int countFlagged(const FluxDay& day, Flag flag)
{
    int n = 0;
    for (const FluxReading& r : day.readings)
        n += hasFlag(r.flags, flag);
    return n;
}

// The day as a radio's S-meter gives it: every power rounded to a whole dB,
// the references their rounded dwells.
void roundToWholeDecibels(Day& day)
{
    for (Reading& r : day.readings)
        r.power = std::pow(10.0, std::round(10 * std::log10(r.power)) / 10);
    for (Reference& ref : day.references) {
        std::vector<double> dwell;
        for (const Reading& r : day.readings)
            if (r.utc >= ref.startUtc && r.utc <= ref.endUtc)
                dwell.push_back(r.power);
        ref.power = dwellMean(dwell);
    }
}

// Readings flagged for that reason alone.
int countOnly(const FluxDay& day, Flag flag)
{
    int n = 0;
    for (const FluxReading& r : day.readings)
        n += r.flags == static_cast<unsigned>(flag);
    return n;
}

}  // namespace

void TestFlux::fluxIsTheSunNoiseArithmeticTurnedRound()
{
    // A 1.2 m dish at 10368 MHz: the G/T sunnoise gives for Y = 9 dB on a
    // 120 SFU day is turned back into 120 SFU, the disc's correction in both.
    const sunnoise::Station dish{120, 10368, 1.2, 0.55};
    const double beam = sunnoise::estimatedBeamwidthDegrees(10368, 1.2);
    GOverTCalibration gt;
    gt.gOverTDecibelsPerKelvin = *sunnoise::gOverTDecibelsPerKelvin(dish, 9.0);
    gt.dayFluxTyped = true;
    const FluxStation s{10368, beam, 0, *scaleFromGOverT(gt, 10368).scale, {}};
    const double y = std::pow(10.0, 0.9);
    QVERIFY(std::abs(fluxSfu(s, y, 0, 90) - 120) < 1e-9);
    // Half the disc-spread beam off the sun the beam gives half: the flux is
    // the same for twice the sun's share.
    const double half = beam * std::sqrt(sunnoise::sunDiscCorrection(beam)) / 2;
    QVERIFY(std::abs(fluxSfu(s, 1 + (y - 1) / 2, half, 90) - 120) < 1e-9);
    // Through 0.1 neper of zenith opacity at 30° (airmass 2 within 0.2 %),
    // the sun read dimmer by e^−0.2 is 120 SFU above the air.
    FluxStation throughAir = s;
    throughAir.air.zenithOpacity = 0.1;
    throughAir.scale.elevationDegrees = 90;
    const double dimmed = 1 + (y - 1) * transmission(throughAir.air, 30) / transmission(throughAir.air, 90);
    QVERIFY(std::abs(fluxSfu(throughAir, dimmed, 0, 30) - 120) < 1e-9);
    QVERIFY(std::abs(airmass(30) - 2) < 0.004);
    // The air also glows: a station of 100 K at the zenith, calibrated there
    // on the sun through 0.05 neper of 275 K air, sees at 10° a sky hotter by
    // 275 (A(90) − A(10)) K and a sun dimmer by A(10) / A(90); 100 SFU all
    // the same.
    const Air air{0.05, 0, 275};
    const double lambda = sunnoise::wavelengthMetres(kFrequency);
    GOverTCalibration zenith;
    zenith.gOverTDecibelsPerKelvin = 10 * std::log10(4 * kPi * area() / (lambda * lambda) * transmission(air, 90) / kTsys);
    zenith.dayFluxTyped = true;
    zenith.systemTemperatureKelvin = kTsys;
    const FluxStation glowing{kFrequency, kBeam, 0, *scaleFromGOverT(zenith, kFrequency).scale, air};
    const double aboveTheAir = 100 * sunnoise::kSolarFluxUnit * area() / (2 * sunnoise::kBoltzmann * sunnoise::sunDiscCorrection(kBeam));
    const double coldSkyAt10 = kTsys + 275 * (transmission(air, 90) - transmission(air, 10));
    QVERIFY(std::abs(fluxSfu(glowing, 1 + aboveTheAir * transmission(air, 10) / coldSkyAt10, 0, 10) - 100) < 1e-9);
    // A G/T worked out with a usual flux, not the day's, is no scale.
    gt.dayFluxTyped = false;
    QCOMPARE(scaleFromGOverT(gt, 10368).refusal, ScaleRefusal::NotOnATypedDay);
}

void TestFlux::theThreeScalesAgreeOnOneDay()
{
    Day day;
    day.flux = [](double t) { return 100 + 2 * (t - kTransit) / 3600; };
    day.make();
    const Aperture aperture{kDish, kEfficiency, 0.05};
    HotColdCalibration hc;
    hc.hot = {kTsys - hc.coldSkyKelvin + hc.ambientKelvin, 0, 1};
    hc.cold = {kTsys, 0, 1};
    NoiseSourceCalibration ns;
    ns.enrDecibels = 15;
    ns.enrErrorDecibels = 0.2;
    ns.on = {kTsys + 290 * std::pow(10.0, 1.5), 0, 1};
    ns.off = {kTsys, 0, 1};
    const ScaleResult scales[] = {ScaleResult{station().scale, ScaleRefusal::None}, scaleFromHotCold(hc, aperture), scaleFromNoiseSource(ns, aperture)};
    const ScaleKind kinds[] = {ScaleKind::GOverT, ScaleKind::HotCold, ScaleKind::NoiseSource};
    for (int k = 0; k < 3; ++k) {
        QVERIFY(scales[k].scale);
        const FluxStation s{kFrequency, kBeam, 0, *scales[k].scale, {}};
        const FluxDay d = workOutDay(day.readings, day.references, s, kTransit);
        QCOMPARE(d.daily.scale, kinds[k]);
        QVERIFY(d.daily.fluxSfu);
        const double truth = day.flux(d.daily.meanUtc);
        // The scales were made exactly: only the readings' own error is left.
        QVERIFY2(std::abs(*d.daily.fluxSfu - truth) < 3 * d.daily.error, qPrintable(QStringLiteral("scale %1: %2 against %3 ± %4").arg(k).arg(*d.daily.fluxSfu).arg(truth).arg(d.daily.error)));
        QVERIFY(d.daily.error < 0.002 * truth);
        QVERIFY(d.daily.totalError > scales[k].scale->relativeError * truth * 0.99);
        QCOMPARE(int(d.atFixedTimes.size()), 3);
        for (const FluxValue& v : d.atFixedTimes)
            QVERIFY(v.fluxSfu && std::abs(*v.fluxSfu - day.flux(v.meanUtc)) < 4 * v.error);
    }
}

void TestFlux::aDecibelOfGainDriftIsFollowedByTheReferences()
{
    Day day;
    day.gain = [&day](double t) { return std::pow(10.0, 0.1 * (t - day.from) / (day.to - day.from)); };
    day.make();
    const FluxDay d = workOutDay(day.readings, day.references, station(), kTransit);
    // Between each two references the flux is 100 SFU, as the sun, within
    // 0.2 %: the 26 % the gain rose is gone.
    for (std::size_t r = 0; r + 1 < day.references.size(); ++r) {
        double sum = 0;
        int n = 0;
        for (const FluxReading& reading : d.readings) {
            if (reading.flags == 0 && reading.utc > day.references[r].endUtc && reading.utc < day.references[r + 1].startUtc) {
                sum += *reading.fluxSfu;
                ++n;
            }
        }
        QVERIFY(n > 400);
        QVERIFY2(std::abs(sum / n - 100) < 0.2, qPrintable(QStringLiteral("after reference %1: %2").arg(r).arg(sum / n)));
    }
    QVERIFY(std::abs(*d.daily.fluxSfu - 100) < 0.1);
    QCOMPARE(d.gainSteps, 0);

    // A receiver warming 3 dB over the six hours, a site flagging steps of
    // 0.2 dB, and two references lost at noon: the half hour between the
    // two either side drifted 0.25 dB, as the trend says, and is no step.
    Day warming;
    warming.gain = [&warming](double t) { return std::pow(10.0, 0.3 * (t - warming.from) / (warming.to - warming.from)); };
    warming.make();
    const std::size_t noon = warming.references.size() / 2;
    warming.references.erase(warming.references.begin() + static_cast<std::ptrdiff_t>(noon), warming.references.begin() + static_cast<std::ptrdiff_t>(noon) + 2);
    FluxOptions fine;
    fine.gainStepDecibels = 0.2;
    const FluxDay w = workOutDay(warming.readings, warming.references, station(), kTransit, fine);
    QCOMPARE(w.gainSteps, 0);
    QVERIFY2(std::abs(*w.daily.fluxSfu - 100) < 0.2, qPrintable(QString::number(*w.daily.fluxSfu)));
}

void TestFlux::readingsAcrossAGainStepAreFlagged()
{
    // An LNA losing a dB mid-interval, on a gain drifting a dB over the day.
    Day day;
    const double step = kTransit + 250;
    day.gain = [&day, step](double t) { return std::pow(10.0, 0.1 * (t - day.from) / (day.to - day.from) - (t >= step ? 0.1 : 0.0)); };
    day.make();
    const FluxDay d = workOutDay(day.readings, day.references, station(), kTransit);
    QCOMPARE(d.gainSteps, 1);
    double lowest = 1e9;
    for (const FluxReading& r : d.readings) {
        // Between the middles of the references either side of the step
        // (at the transit and ten minutes on), every reading; none elsewhere.
        const bool straddles = r.utc > kTransit + 29.5 && r.utc < kTransit + 629.5;
        QVERIFY2(hasFlag(r.flags, Flag::GainStep) == straddles, qPrintable(QString::number(r.utc - step)));
        if (r.flags == 0)
            lowest = std::min(lowest, *r.fluxSfu);
    }
    // What would have come out 21 % low is not in the quiet values.
    QVERIFY2(lowest > 98, qPrintable(QString::number(lowest)));
    QVERIFY2(std::abs(*d.daily.fluxSfu - 100) < 0.1, qPrintable(QString::number(*d.daily.fluxSfu)));
}

void TestFlux::flagsSayWhyAndKeepReadingsOutOfTheQuietValues()
{
    Day day;
    const double t0 = kTransit - 3600 + 100;  // between two references
    day.station = [t0](Reading& r) {
        const double s = r.utc - t0;
        if (s >= 0 && s < 20)
            r.moved = true;
        else if (s >= 100 && s < 130)
            r.antennaElevation += 0.15 * kBeam;  // 0.15 beam off
        else if (s >= 150 && s < 180)
            r.antennaElevation += 0.07 * kBeam;  // within a tenth: on the sun
        else if (s >= 200 && s < 500)
            r.state = StationState::Stow;
        else if (s >= 800 && s < 1100) {
            // A sun-noise run: the dish on the sun and off it, the power swinging far more than any burst.
            r.state = StationState::Measurement;
            r.antennaAzimuth += kBeam * std::sin(s / 10);
        }
        if (r.utc > kTransit + 3 * 3600 - 200)
            r.sunElevation = 4;
    };
    day.make();
    // A spike of interference, 4 s at half the power again; a power that is
    // no number; a dip of 3 s (a shadow), which interference never makes.
    for (Reading& r : day.readings) {
        if (r.utc >= t0 + 1500 && r.utc < t0 + 1504)
            r.power *= 1.5;
        if (r.utc >= t0 + 1650 && r.utc < t0 + 1653)
            r.power *= 0.7;
        if (r.utc >= t0 + 1300 && r.utc < t0 + 1303)
            r.power = std::nan("");
    }
    // And the last reference lost: the readings after the one before have no Y.
    day.references.pop_back();
    const FluxDay d = workOutDay(day.readings, day.references, station(), kTransit);
    QCOMPARE(countOnly(d, Flag::Moved), 20);
    QCOMPARE(countOnly(d, Flag::OffSun), 30);
    QCOMPARE(countOnly(d, Flag::DuringStow), 300);
    QCOMPARE(countFlagged(d, Flag::DuringMeasurement), 300);
    QCOMPARE(countOnly(d, Flag::Unreadable), 3);
    QCOMPARE(countOnly(d, Flag::Spike), 4);
    QCOMPARE(countFlagged(d, Flag::SunLow), 200);
    QVERIFY(countFlagged(d, Flag::NoReference) >= 540);
    QVERIFY(countFlagged(d, Flag::DuringReference) >= 36 * 60);
    QCOMPARE(QString::fromLatin1(flagName(Flag::OffSun)), QStringLiteral("off-sun"));
    // None of them in the quiet values, nor made a burst of.
    int clean = 0;
    for (const FluxReading& r : d.readings)
        clean += r.flags == 0;
    QCOMPARE(d.daily.cleanReadings, clean);
    QVERIFY(d.bursts.empty());
    QVERIFY(std::abs(*d.daily.fluxSfu - 100) < 3 * d.daily.error);
}

void TestFlux::aBurstIsFoundAndASpikeIsNot()
{
    // σ: the quiet day's scatter of single readings.
    Day quiet;
    quiet.make();
    double scatter = 0;
    for (const FluxReading& r : workOutDay(quiet.readings, quiet.references, station(), kTransit).readings)
        scatter = std::max(scatter, r.quietScatterSfu);
    QVERIFY(scatter > 0.1 && scatter < 0.5);
    // A burst of 5σ at its peak, rising in 20 s and decaying in 60: above 3σ
    // for about 40 s. A spike of 20σ for 5 s; another of 4σ, under the
    // spikes' threshold, for 5 s.
    const double start = kTransit - 1800 + 120;  // clear of the references
    const double peak = start + 20;
    const double spike = kTransit + 1800 + 200;
    const double weak = kTransit + 3600 + 200;
    Day day;
    day.flux = [&](double t) {
        double s = 100;
        if (t >= start && t < peak)
            s += 5 * scatter * std::pow(std::sin(kPi / 2 * (t - start) / 20), 2);
        else if (t >= peak)
            s += 5 * scatter * std::exp(-(t - peak) / 60);
        if (t >= spike && t < spike + 5)
            s += 20 * scatter;
        if (t >= weak && t < weak + 5)
            s += 4 * scatter;
        return s;
    };
    day.make();
    const FluxDay d = workOutDay(day.readings, day.references, station(), kTransit);
    QCOMPARE(int(d.bursts.size()), 1);
    const FluxBurst& b = d.bursts.front();
    QVERIFY2(std::abs(b.peakUtc - peak) <= 10, qPrintable(QString::number(b.peakUtc - peak)));
    // A quick rise is timed to tens of seconds at 5σ, and says so.
    QVERIFY2(b.peakUtcError > 0 && b.peakUtcError <= 30, qPrintable(QString::number(b.peakUtcError)));
    QVERIFY(b.startUtc < peak && b.endUtc > peak + 30);
    QVERIFY(std::abs(b.peakExcessSfu - 5 * scatter) < 1.5 * scatter);
    // Its excess is a mean of the smoothing's readings, and stated so: well
    // under one reading's scatter, the quiet level's own error within it.
    QVERIFY2(b.peakExcessError > 0 && b.peakExcessError < 0.5 * scatter, qPrintable(QString::number(b.peakExcessError / scatter)));
    // Its integral: 5σ × (20/2 + 60) s, within the part under one σ that is left out.
    QVERIFY(std::abs(b.integratedExcessSfuSeconds - 5 * scatter * 70) < 0.3 * 5 * scatter * 70);
    QCOMPARE(countFlagged(d, Flag::Spike), 5);
    // Its readings are kept out of the quiet values.
    int inBurst = 0;
    for (const FluxReading& r : d.readings)
        inBurst += r.inBurst;
    QVERIFY(inBurst >= 30);
    QCOMPARE(d.daily.cleanReadings + inBurst, int(std::count_if(d.readings.begin(), d.readings.end(), [](const FluxReading& r) { return r.flags == 0; })));
    // What the burst may have spoilt reaches from the last quiet reading
    // before it to the first after.
    const BurstReach seen = burstReach(d, b);
    QVERIFY2(seen.fromUtc < b.startUtc && seen.fromUtc >= b.startUtc - 2, qPrintable(QString::number(seen.fromUtc - b.startUtc)));
    QVERIFY2(seen.toUtc > b.endUtc && seen.toUtc <= b.endUtc + 2, qPrintable(QString::number(seen.toUtc - b.endUtc)));

    // A sun-noise run that had the dish while the burst rose: the burst is
    // seen only after it, and its reach goes back over the run.
    Day hidden;
    hidden.flux = [&](double t) { return t < start ? 100.0 : t < peak ? 100 + 10 * scatter * (t - start) / 20
                                                                      : 100 + 10 * scatter * std::exp(-(t - peak) / 60); };
    hidden.station = [&](Reading& r) {
        if (r.utc >= start - 50 && r.utc < start + 15) {  // after the reference before
            r.state = StationState::Measurement;
            r.antennaAzimuth += kBeam * std::sin((r.utc - start) / 10);
        }
    };
    hidden.make();
    const FluxDay h = workOutDay(hidden.readings, hidden.references, station(), kTransit);
    QCOMPARE(int(h.bursts.size()), 1);
    QVERIFY(h.bursts.front().startUtc >= start + 15);
    const BurstReach over = burstReach(h, h.bursts.front());
    QVERIFY2(over.fromUtc < start - 50 && over.fromUtc >= start - 52, qPrintable(QString::number(over.fromUtc - start)));
    QVERIFY(over.toUtc > h.bursts.front().endUtc);
}

void TestFlux::aSlowBurstsPeakIsNotStatedCloserThanItCanBeTimed()
{
    // A gradual burst: ten minutes' rise to 3 SFU, five minutes' decay. Its
    // top is flat within the noise for a minute and more before it, clear
    // of the references.
    const double start = kTransit + 1800 + 300;
    const double peak = start + 600;
    int covered = 0;
    for (std::uint64_t seed = 1; seed <= 8; ++seed) {
        Day day;
        day.from = kTransit - 1800;  // two and a half hours: the burst and the quiet either side
        day.to = kTransit + 2 * 3600;
        day.seed = seed;
        day.flux = [&](double t) {
            if (t < start)
                return 100.0;
            if (t < peak)
                return 100 + 3 * std::pow(std::sin(kPi / 2 * (t - start) / 600), 2);
            return 100 + 3 * std::exp(-(t - peak) / 300);
        };
        day.make();
        const FluxDay d = workOutDay(day.readings, day.references, station(), kTransit);
        QCOMPARE(int(d.bursts.size()), 1);
        const FluxBurst& b = d.bursts.front();
        const bool within = std::abs(b.peakUtc - peak) <= b.peakUtcError;
        if (!within)
            qInfo("seed %d: peak %+.0f s, said ± %.0f s", int(seed), b.peakUtc - peak, b.peakUtcError);
        covered += within;
    }
    QCOMPARE(covered, 8);
}

void TestFlux::aDayWithoutEnoughReadingsSaysSo()
{
    Day day;
    day.from = kTransit - 600;
    day.to = kTransit + 600;
    day.make();
    const FluxDay d = workOutDay(day.readings, day.references, station(), kTransit);
    QVERIFY(!d.daily.fluxSfu);
    QCOMPARE(d.daily.refusal, ValueRefusal::TooFewClean);
    QVERIFY(d.daily.cleanReadings > 0 && d.daily.cleanReadings < 1800);
    QVERIFY(!d.atFixedTimes[0].fluxSfu);
    QCOMPARE(d.atFixedTimes[0].refusal, ValueRefusal::NoReadings);
    // The transit's value has enough.
    QVERIFY(d.atFixedTimes[1].fluxSfu);
    // No references at all: nothing is worked out, and every reading says why.
    const FluxDay none = workOutDay(day.readings, {}, station(), kTransit);
    QCOMPARE(none.daily.refusal, ValueRefusal::NoReadings);
    QCOMPARE(countFlagged(none, Flag::NoReference), int(day.readings.size()));
}

void TestFlux::wholeDecibelsAreInTheErrorsAndTheBurstsSeen()
{
    // A steady receiver (0.01 dB) in whole dB, the gain set so that the
    // rounding takes the sun and the cold sky each its own way. The day's
    // error covers what the rounding did to it, which no mean takes away;
    // the readings all alike, the threshold is the rounding's, and a burst
    // of the least the day says it surely shows, for two minutes, is found.
    const double start = kTransit - 1800 + 120;
    const double y = 1 + 100 * sunnoise::kSolarFluxUnit * area() / (2 * sunnoise::kBoltzmann * sunnoise::sunDiscCorrection(kBeam)) / kTsys;
    const double oneStep = (std::pow(10.0, 0.1) - 1) * 100 * y / (y - 1);  // a step of the power on the quiet sun, SFU
    for (const double offset : {0.3, 0.6}) {
        Day decimal;
        decimal.gain = [offset](double) { return std::pow(10.0, offset / 10); };
        decimal.make();
        Day whole = decimal;
        roundToWholeDecibels(whole);
        const FluxDay d = workOutDay(decimal.readings, decimal.references, station(), kTransit);
        const FluxDay w = workOutDay(whole.readings, whole.references, station(), kTransit);
        QVERIFY(d.readingStepDecibels == 0 && d.smallestBurstSfu == 0 && w.readingStepDecibels == 1 && w.daily.fluxSfu && d.daily.fluxSfu);
        const double off = *w.daily.fluxSfu - *d.daily.fluxSfu;
        // Two uniform roundings at their ends come to 2.45 of its standard
        // deviations, and the decibel's curve adds to one way.
        QVERIFY2(std::abs(off) < 3 * w.daily.error && w.daily.error < 0.12 * *w.daily.fluxSfu,
                 qPrintable(QStringLiteral("offset %1 dB: %2 SFU off, said ± %3").arg(offset).arg(off).arg(w.daily.error)));
        QVERIFY(w.atFixedTimes[1].error > 0.9 * w.daily.error && w.readings[7300].error > 0.9 * w.daily.error);
        QVERIFY(w.gainSteps == 0 && w.bursts.empty() && w.readings[7300].quietScatterSfu > 0.05 * 100);
        QVERIFY2(w.smallestBurstSfu >= oneStep && w.smallestBurstSfu < 1.6 * oneStep, qPrintable(QString::number(w.smallestBurstSfu / oneStep)));
        Day burst;
        burst.gain = decimal.gain;
        burst.flux = [&](double t) { return t >= start && t < start + 120 ? 100 + w.smallestBurstSfu : 100.0; };
        burst.make();
        roundToWholeDecibels(burst);
        const FluxDay b = workOutDay(burst.readings, burst.references, station(), kTransit);
        QCOMPARE(int(b.bursts.size()), 1);
        const FluxBurst& found = b.bursts.front();
        QVERIFY2(std::abs(found.peakExcessSfu - w.smallestBurstSfu) < 3 * found.peakExcessError,
                 qPrintable(QStringLiteral("%1 ± %2 for %3").arg(found.peakExcessSfu).arg(found.peakExcessError).arg(w.smallestBurstSfu)));
    }
}

QTEST_GUILESS_MAIN(TestFlux)
#include "tst_flux.moc"
