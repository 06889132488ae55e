// The sun's peak in a cut: GSL's fit of a Gaussian on a baseline and the
// five-point closed form, on cuts made from known beams, and their refusals;
// and the turning of the centres into the bridge's offsets.

#include "companions/beamfit/BeamFit.h"
#include "companions/measure/CalibrationResult.h"

#include <QTest>

#include <cmath>
#include <random>

using namespace heliotrope::measure;
using namespace heliotrope::beamfit;

namespace {

const double kFourLn2 = 4.0 * std::log(2.0);

// What the detector reads, in dB: the sun's noise added to the system's in
// linear power, Y (the rise at the centre) given in dB.
double beam(double x, double centre, double width, double yDecibels, double baseline)
{
    const double u = (x - centre) / width;
    return baseline + 10.0 * std::log10(1.0 + (std::pow(10.0, yDecibels / 10.0) - 1.0) * std::exp(-kFourLn2 * u * u));
}

std::vector<CutPoint> cut(double centre, double width, double peak, double baseline, double span, double step,
                          double noise, unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, noise);
    std::vector<CutPoint> points;
    for (double x = -span; x <= span + 1e-9; x += step)
        points.push_back({x, beam(x, centre, width, peak, baseline) + (noise > 0 ? gauss(random) : 0.0), noise, 1});
    return points;
}

// How often stated standard deviations cover the truth. For honest ones
// about 68 % within 1σ and 95 % within 2σ (a little less from few degrees of
// freedom or spreads themselves estimated from four readings); the bounds are
// over three times the binomial scatter of 200 runs, and a σ stated half or
// twice what it is falls outside them.
struct Coverage {
    int runs = 0;
    int withinOne = 0;
    int withinTwo = 0;
    void add(double error, double sigma)
    {
        ++runs;
        withinOne += std::abs(error) <= sigma;
        withinTwo += std::abs(error) <= 2 * sigma;
    }
    void verify(const char* what) const
    {
        const double one = double(withinOne) / runs;
        const double two = double(withinTwo) / runs;
        QVERIFY2(one > 0.55 && one < 0.80 && two > 0.84,
                 qPrintable(QStringLiteral("%1: %2 within 1σ, %3 within 2σ").arg(QLatin1String(what)).arg(one).arg(two)));
    }
};

}  // namespace

class TestBeamFit : public QObject {
    Q_OBJECT

private slots:
    void fitFindsTheBeamWithHonestUncertainties();
    void threePointErrorsMatchTheirScatter();
    void fivePointOffsetErrorsMatchTheirScatter();
    void fitRefusesWhatItDidNotFind();
    void threePointsGiveTheBeamExactly();
    void threePointsRefuseWhatIsNoPeak();
    void threePointsOffTheLineAreBroughtOntoIt();
    void centresBecomeOffsetsInTheBridgeConvention();
};

void TestBeamFit::fitFindsTheBeamWithHonestUncertainties()
{
    // Two hundred noisy cuts through a known beam: every uncertainty the fit
    // states covers the truth as often as a standard deviation should.
    Coverage centre, width, y, base;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const auto points = cut(0.24, 1.7, 10, -30, 2.55, 0.425, 0.1, seed);
        const BeamFitResult fit = fitBeamCut(points, 2.5);  // a poor starting width on purpose
        QVERIFY2(fit.ok(), qPrintable(QStringLiteral("seed %1 refused %2").arg(seed).arg(int(fit.refusal))));
        QVERIFY2(fit.residualRms > 0.01 && fit.residualRms < 0.5, qPrintable(QString::number(fit.residualRms)));
        centre.add(fit.centre - 0.24, fit.centreError);
        width.add(fit.width - 1.7, fit.widthError);
        y.add(fit.yDecibels - 10, fit.yDecibelsError);
        base.add(fit.baseline + 30, fit.baselineError);
    }
    // Thirteen points, four parameters: the scale comes from nine degrees of
    // freedom, so the coverage is Student's, a little under the normal's.
    centre.verify("centre");
    width.verify("width");
    y.verify("Y");
    base.verify("baseline");

    // A short cut, a beamwidth either side, that never reaches the cold sky:
    // the rise and the baseline are then found together, and Y's error is
    // honest only with their covariance taken off.
    Coverage shortY;
    for (unsigned seed = 1; seed <= 200; ++seed) {
        const BeamFitResult fit = fitBeamCut(cut(0.1, 1.7, 3, -30, 1.7, 0.34, 0.1, seed), 1.7);
        QVERIFY2(fit.ok(), qPrintable(QStringLiteral("seed %1 refused %2").arg(seed).arg(int(fit.refusal))));
        shortY.add(fit.yDecibels - 3, fit.yDecibelsError);
    }
    shortY.verify("Y of a short cut");
    // Five points for four parameters is the least a cut can be fitted from.
    QVERIFY(fitBeamCut(cut(0.1, 1.7, 10, -30, 1.7, 0.85, 0.05, 1), 1.7).ok());
}

void TestBeamFit::threePointErrorsMatchTheirScatter()
{
    // Five-point patterns read four times a point at 0.1 dB, the baseline
    // four times too: the errors propagated from the readings' spreads cover
    // the truth as often as standard deviations should.
    std::mt19937 random(28);
    std::normal_distribution<double> noise(0.0, 0.1);
    const auto read = [&](double truth) {
        double values[4];
        double sum = 0;
        for (double& v : values)
            sum += v = truth + noise(random);
        const double mean = sum / 4;
        double squares = 0;
        for (const double v : values)
            squares += (v - mean) * (v - mean);
        return CutPoint{0, mean, std::sqrt(squares / 3), 4};
    };
    Coverage centre, width, y;
    for (int run = 0; run < 300; ++run) {
        const double xs[3] = {-0.85, 0.0, 0.85};
        CutPoint points[3];
        for (int i = 0; i < 3; ++i) {
            points[i] = read(beam(xs[i], 0.3, 1.7, 6, -30));
            points[i].offset = xs[i];
        }
        const CutPoint sky = read(-30);
        const BeamFitResult fit = threePointBeam(points, sky.power, sky.spread / 2);
        QVERIFY2(fit.ok(), qPrintable(QStringLiteral("run %1 refused %2").arg(run).arg(int(fit.refusal))));
        centre.add(fit.centre - 0.3, fit.centreError);
        width.add(fit.width - 1.7, fit.widthError);
        y.add(fit.yDecibels - 6, fit.yDecibelsError);
    }
    centre.verify("three-point centre");
    width.verify("three-point width");
    y.verify("three-point Y");
}

void TestBeamFit::fivePointOffsetErrorsMatchTheirScatter()
{
    // The five-point pattern as the bridge evaluates it, at 60° elevation
    // (an offset across is twice its azimuth there), the cold sky read on
    // both sides, every point four readings at 0.1 dB: the stated errors of
    // the azimuth offset and of Y are those of the scatter of 1000 runs,
    // within 8 % (the scatter of 1000 runs is known to 2 %).
    std::mt19937 random(31);
    std::normal_distribution<double> noise(0.0, 0.1);
    const auto at = [&](PointRole role, double xel, double el) {
        MeasuredPoint p;
        p.role = role;
        p.plannedCrossElevation = p.crossElevation = xel;
        p.plannedElevation = p.elevation = el;
        p.sunElevation = 60;
        const double u2 = (std::pow(xel - 0.3, 2) + std::pow(el + 0.2, 2)) / (1.7 * 1.7);
        const double truth = -30 + 10 * std::log10(1 + (std::pow(10, 0.6) - 1) * std::exp(-kFourLn2 * u2));
        double values[4];
        double sum = 0;
        for (double& v : values)
            sum += v = truth + noise(random);
        p.dwell.power = sum / 4;
        double squares = 0;
        for (const double v : values)
            squares += (v - p.dwell.power) * (v - p.dwell.power);
        p.dwell.spread = std::sqrt(squares / 3);
        p.dwell.count = 4;
        return p;
    };
    double azimuthSquares = 0, azimuthStated = 0, ySquares = 0, yStated = 0;
    const int runs = 1000;
    for (int run = 0; run < runs; ++run) {
        const std::vector<MeasuredPoint> points{at(PointRole::Baseline, -6, 0), at(PointRole::Centre, 0, 0),
                                                at(PointRole::CrossElevation, -0.85, 0), at(PointRole::CrossElevation, 0.85, 0),
                                                at(PointRole::Elevation, 0, -0.85), at(PointRole::Elevation, 0, 0.85),
                                                at(PointRole::Baseline, 6, 0)};
        const CalibrationOutcome outcome = evaluateCalibration(CalibrationPattern::FivePoint, points, 1.7);
        QVERIFY2(outcome.ok, qPrintable(outcome.refusal));
        azimuthSquares += std::pow(outcome.azimuthOffset - 0.6, 2);
        azimuthStated += std::pow(outcome.azimuthOffsetError, 2);
        ySquares += std::pow(outcome.crossElevationFit.yDecibels - 6, 2);
        yStated += std::pow(outcome.crossElevationFit.yDecibelsError, 2);
    }
    const double azimuthRatio = std::sqrt(azimuthStated / azimuthSquares);
    const double yRatio = std::sqrt(yStated / ySquares);
    qInfo("five-point, stated error over scatter: azimuth %.3f, Y %.3f", azimuthRatio, yRatio);
    QVERIFY2(std::abs(azimuthRatio - 1) < 0.08 && std::abs(yRatio - 1) < 0.08,
             qPrintable(QStringLiteral("stated ÷ scattered: azimuth %1, Y %2").arg(azimuthRatio).arg(yRatio)));
}

void TestBeamFit::fitRefusesWhatItDidNotFind()
{
    // The sun 4° off a ±2.55° scan: a rising edge, no peak inside.
    BeamFitResult fit = fitBeamCut(cut(4.0, 1.7, 10, -30, 2.55, 0.85, 0.1, 7), 1.7);
    QVERIFY(!fit.ok());
    QVERIFY(fit.refusal == FitRefusal::CentreOutsideSpan || fit.refusal == FitRefusal::NotConverged
            || fit.refusal == FitRefusal::NoPeak);
    QVERIFY(fit.highestAtEdge);

    // No sun at all (the receiver off): noise only.
    fit = fitBeamCut(cut(0, 1.7, 0, -30, 2.55, 0.85, 0.1, 3), 1.7);
    QVERIFY2(!fit.ok(), qPrintable(QStringLiteral("Y %1 ± %2 dB").arg(fit.yDecibels).arg(fit.yDecibelsError)));

    // Too few points for four parameters and a residual.
    fit = fitBeamCut(cut(0, 1.7, 10, -30, 0.85, 0.85, 0, 1), 1.7);
    QCOMPARE(fit.refusal, FitRefusal::TooFewPoints);

    // A dip is not a sun.
    fit = fitBeamCut(cut(0, 1.7, -5, -30, 2.55, 0.425, 0.05, 9), 1.7);
    QVERIFY(!fit.ok());
}

void TestBeamFit::threePointsGiveTheBeamExactly()
{
    // Unequal spacing, as a rotator settling within its tolerance leaves it.
    const double xs[3] = {-0.83, 0.02, 0.87};
    CutPoint points[3];
    for (int i = 0; i < 3; ++i)
        points[i] = {xs[i], beam(xs[i], 0.4, 1.7, 10, -30), 0.1, 4};
    const BeamFitResult fit = threePointBeam(points, -30, 0.05);
    QVERIFY(fit.ok());
    QVERIFY(std::abs(fit.centre - 0.4) < 1e-9);
    QVERIFY(std::abs(fit.width - 1.7) < 1e-9);
    QVERIFY(std::abs(fit.yDecibels - 10) < 1e-9);
    // 0.1 dB per reading, 4 readings a point: a few thousandths of a degree.
    QVERIFY2(fit.centreError > 0.001 && fit.centreError < 0.05, qPrintable(QString::number(fit.centreError)));
    QVERIFY(fit.widthError > 0);
}

void TestBeamFit::threePointsRefuseWhatIsNoPeak()
{
    // Rising all the way: the peak is beyond the outer point.
    CutPoint rising[3] = {{-0.85, beam(-0.85, 2.0, 1.7, 10, -30), 0, 1},
                          {0, beam(0, 2.0, 1.7, 10, -30), 0, 1},
                          {0.85, beam(0.85, 2.0, 1.7, 10, -30), 0, 1}};
    BeamFitResult fit = threePointBeam(rising, -30, 0);
    QCOMPARE(fit.refusal, FitRefusal::CentreOutsideSpan);
    QVERIFY(fit.highestAtEdge);
    // A point at or below the baseline: the logarithm has nothing to work on.
    CutPoint flat[3] = {{-0.85, -30.2, 0, 1}, {0, -25, 0, 1}, {0.85, -29, 0, 1}};
    fit = threePointBeam(flat, -30, 0);
    QCOMPARE(fit.refusal, FitRefusal::NoPeak);
    // A dip.
    CutPoint dip[3] = {{-0.85, -22, 0, 1}, {0, -25, 0, 1}, {0.85, -22, 0, 1}};
    fit = threePointBeam(dip, -30, 0);
    QCOMPARE(fit.refusal, FitRefusal::NoPeak);
    // Sky far beside the sun: a hundredth-of-a-dB bump that the readings'
    // own scatter (0.1 dB, four readings a point) makes. No sun, no offsets.
    CutPoint sky[3] = {{-0.85, -29.97, 0.1, 4}, {0, -29.90, 0.1, 4}, {0.85, -29.98, 0.1, 4}};
    fit = threePointBeam(sky, -30, 0.05);
    QCOMPARE(fit.refusal, FitRefusal::NoPeak);
}

void TestBeamFit::threePointsOffTheLineAreBroughtOntoIt()
{
    // An elevation cut whose points a whole-degree azimuth left at 0.35°,
    // −0.45° and 0° across a 5° beam centred 0.3° across: read as they
    // stand they make the beam 4 % wider than it is; with the cross axis's
    // Gaussian divided out it is the beam again.
    const auto separable = [](double across, double along) {
        const double u = (across - 0.3) / 5.0;
        const double v = (along + 0.4) / 5.0;
        const double y = std::pow(10.0, 1.2) - 1.0;
        return -30 + 10.0 * std::log10(1.0 + y * std::exp(-kFourLn2 * (u * u + v * v)));
    };
    const double along[3] = {-2.5, 0, 2.5};
    const double across[3] = {0.35, -0.45, 0.0};
    CutPoint standing[3];
    CutPoint brought[3];
    BeamFitResult acrossAxis;
    acrossAxis.centre = 0.3;
    acrossAxis.width = 5.0;
    for (int i = 0; i < 3; ++i) {
        standing[i] = {along[i], separable(across[i], along[i]), 0.05, 4};
        brought[i] = onTheOtherAxisPeak(standing[i], across[i], acrossAxis, -30);
    }
    const double asTheyStand = threePointBeam(standing, -30, 0.01).width;
    QVERIFY2(std::abs(asTheyStand - 5.0) > 0.2, qPrintable(QString::number(asTheyStand)));
    const BeamFitResult fit = threePointBeam(brought, -30, 0.01);
    QVERIFY2(std::abs(fit.width - 5.0) < 1e-6 && std::abs(fit.centre + 0.4) < 1e-6, qPrintable(QString::number(fit.width)));
}

void TestBeamFit::centresBecomeOffsetsInTheBridgeConvention()
{
    // A beam 0.3° along cross-elevation at 60° elevation is 0.6° of azimuth;
    // the offsets are the rotator reading minus the sun.
    std::vector<MeasuredPoint> points;
    for (double x = -2.55; x <= 2.56; x += 0.425) {
        MeasuredPoint p;
        p.role = PointRole::CrossElevation;
        p.crossElevation = x;
        p.elevation = -0.2;
        p.dwell.power = beam(x, 0.3, 1.7, 10, -30);
        p.dwell.spread = 0.01;
        p.dwell.count = 3;
        p.sunElevation = 60;
        points.push_back(p);
        p.role = PointRole::Elevation;
        p.crossElevation = 0.3;
        p.elevation = x;
        p.dwell.power = beam(x, -0.2, 1.6, 10, -30);
        points.push_back(p);
    }
    MeasuredPoint skipped;
    skipped.skipped = true;
    skipped.dwell.power = 1000;  // never used
    points.push_back(skipped);
    const CalibrationOutcome outcome = evaluateCalibration(CalibrationPattern::Cross, points, 1.7);
    QVERIFY2(outcome.ok, qPrintable(outcome.refusal));
    QVERIFY(std::abs(outcome.azimuthOffset - 0.6) < 1e-6);
    QVERIFY(std::abs(outcome.elevationOffset + 0.2) < 1e-6);
    QVERIFY(std::abs(outcome.elevationFit.width - 1.6) < 1e-6);

    // A cut whose peak lies outside: refused, with the reason in both languages.
    for (MeasuredPoint& p : points) {
        if (p.role == PointRole::Elevation)
            p.dwell.power = beam(p.elevation, 4.0, 1.6, 10, -30);
    }
    const CalibrationOutcome refused = evaluateCalibration(CalibrationPattern::Cross, points, 1.7);
    QVERIFY(!refused.ok);
    QVERIFY2(refused.refusal.contains(QStringLiteral("elevation")) && refused.refusal.contains(QStringLiteral("仰角")),
             qPrintable(refused.refusal));
}

QTEST_GUILESS_MAIN(TestBeamFit)
#include "tst_beamfit.moc"
