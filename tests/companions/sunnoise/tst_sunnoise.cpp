// The sun-noise arithmetic against figures worked out by hand, so that a wrong
// constant, a lost factor 1/2 or a dB taken twice shows.

#include "companions/sunnoise/SunNoise.h"

#include <QTest>

#include <cmath>
#include <random>

using namespace heliotrope::sunnoise;

class TestSunNoise : public QObject {
    Q_OBJECT

private slots:
    void yIsTheMeanDifferenceWithItsSpread();
    void gOverTAndExpectedYMatchAHandCalculation();
    void theSunsDiscCorrectionFadesForWideBeams();
    void noSunSeenGivesNoGOverT();
    void aSunReadOffTheAxisIsBroughtOntoIt();
};

namespace {

// 1.2 m dish at 10368 MHz, 55 % efficient, on a 100 SFU day.
Station tenGigahertzStation()
{
    return Station{100, 10368, 1.2, 0.55};
}

void verifyClose(double got, double expected, double tolerance, const char* what)
{
    QVERIFY2(std::abs(got - expected) <= tolerance,
             qPrintable(QStringLiteral("%1: expected %2, got %3 (error %4, tolerance %5)")
                            .arg(QLatin1String(what))
                            .arg(expected, 0, 'g', 10)
                            .arg(got, 0, 'g', 10)
                            .arg(got - expected)
                            .arg(tolerance)));
}

}  // namespace

void TestSunNoise::yIsTheMeanDifferenceWithItsSpread()
{
    QVERIFY(!yFactor({}));

    // Sun − cold: 10, 11, 12 dB → mean 11, sample standard deviation 1.
    const std::optional<YFactor> y = yFactor({{-40, -50}, {-38, -49}, {-35, -47}});
    QVERIFY(y);
    QCOMPARE(y->repeats, 3);
    verifyClose(y->meanDecibels, 11, 1e-12, "mean Y");
    QVERIFY(y->standardDeviationDecibels);
    verifyClose(*y->standardDeviationDecibels, 1, 1e-12, "standard deviation");

    // One repeat: a Y, but no spread.
    const std::optional<YFactor> single = yFactor({{3.5, 1.0}});
    QVERIFY(single);
    verifyClose(single->meanDecibels, 2.5, 1e-12, "single Y");
    QVERIFY(!single->standardDeviationDecibels);

    // The spread stated is the scatter the repeats really have: over 400
    // seeded runs of five repeats, sun and cold each read with 0.2 dB of
    // noise, the mean square of the stated standard deviations is the
    // variance of a difference, 0.08 dB² (within 12 %, over three times its
    // own scatter), and the means scatter by that over √5.
    std::mt19937 random(28);
    std::normal_distribution<double> noise(0.0, 0.2);
    double squares = 0;
    double meanSquares = 0;
    constexpr int kRuns = 400;
    for (int run = 0; run < kRuns; ++run) {
        std::vector<PowerPair> repeats;
        for (int i = 0; i < 5; ++i)
            repeats.push_back({-20 + noise(random), -30 + noise(random)});
        const std::optional<YFactor> seeded = yFactor(repeats);
        squares += *seeded->standardDeviationDecibels * *seeded->standardDeviationDecibels;
        meanSquares += (seeded->meanDecibels - 10) * (seeded->meanDecibels - 10);
    }
    verifyClose(squares / kRuns, 0.08, 0.0096, "mean square of the stated spreads");
    verifyClose(meanSquares / kRuns, 0.08 / 5, 0.0032, "mean square error of Y");
}

void TestSunNoise::gOverTAndExpectedYMatchAHandCalculation()
{
    // By hand, for 100 SFU, 10368 MHz, a 1.2 m dish, η = 0.55:
    //   λ   = 299792458 / 10368e6            = 0.0289152 m
    //   θ   = 70° · 0.0289152 / 1.2          = 1.68672°
    //   K   = 1 + 0.38 · (0.5 / 1.68672)²    = 1.033392
    //   Ae  = 0.55 · π · 1.2² / 4            = 0.622035 m²
    //   Ta  = 1e-20 · 0.622035 / (2 · 1.380649e-23 · 1.033392) = 217.990 K
    //   expected Y at Tsys 100 K: 10·log10(1 + 2.17990) = 5.0241 dB
    // A measured Y of 10·log10(11) = 10.4139 dB (Y − 1 = 10):
    //   G/T = 10·log10(8π · 1.380649e-23 · 10 · 1.033392 / (1e-20 · 0.0289152²))
    //       = 10·log10(428.89) = 26.3234 dB/K
    //   Tsys = 217.990 / 10 = 21.799 K
    const Station station = tenGigahertzStation();
    verifyClose(wavelengthMetres(station.frequencyMegahertz), 0.0289152, 1e-7, "wavelength");
    verifyClose(estimatedBeamwidthDegrees(station.frequencyMegahertz, station.dishDiameterMetres), 1.68672, 1e-5,
                "beamwidth");
    verifyClose(sunAntennaTemperatureKelvin(station), 217.990, 1e-3, "sun's antenna temperature");
    verifyClose(expectedYDecibels(station, 100), 5.0241, 1e-4, "expected Y at 100 K");

    const double y = 10 * std::log10(11.0);
    const std::optional<double> gOverT = gOverTDecibelsPerKelvin(station, y);
    QVERIFY(gOverT);
    verifyClose(*gOverT, 26.3234, 1e-4, "G/T");
    const std::optional<double> systemTemperature = systemTemperatureKelvin(station, y);
    QVERIFY(systemTemperature);
    verifyClose(*systemTemperature, 21.799, 1e-3, "system temperature");

    // The expected Y for the system temperature the measurement implies is the
    // measured Y: the two formulas are one relation read both ways.
    verifyClose(expectedYDecibels(station, *systemTemperature), y, 1e-9, "Y round trip");
}

void TestSunNoise::theSunsDiscCorrectionFadesForWideBeams()
{
    verifyClose(sunDiscCorrection(0.5), 1.38, 1e-12, "K for a beam as wide as the sun");
    verifyClose(sunDiscCorrection(5.4), 1.003258, 1e-6, "K for a 3 m dish at 1296 MHz");
    QVERIFY(sunDiscCorrection(60) >= 1.0);
}

void TestSunNoise::noSunSeenGivesNoGOverT()
{
    const Station station = tenGigahertzStation();
    QVERIFY(!gOverTDecibelsPerKelvin(station, 0));
    QVERIFY(!gOverTDecibelsPerKelvin(station, -0.4));
    QVERIFY(!systemTemperatureKelvin(station, 0));
    QVERIFY(!gOverTDecibelsPerKelvin(station, std::nan("")));
}

void TestSunNoise::aSunReadOffTheAxisIsBroughtOntoIt()
{
    // Half a beamwidth off, the beam's gain is one half: a sun 10 times the
    // cold sky's power (Y − 1 = 9) is 19 times it on the axis, 12.788 dB.
    QVERIFY(std::abs(heliotrope::sunnoise::sunDecibelsOnAxis(-20, -30, 2.5, 5.0) - (-30 + 12.7875)) < 1e-3);
    // On the axis, nothing changes.
    QCOMPARE(heliotrope::sunnoise::sunDecibelsOnAxis(-20, -30, 0, 5.0), -20.0);
}

QTEST_GUILESS_MAIN(TestSunNoise)
#include "tst_sunnoise.moc"
