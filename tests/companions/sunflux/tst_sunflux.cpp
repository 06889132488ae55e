// The sun's flux model: the rotation's period and the burst's shape where an
// observer would look for them, the file read back to the bit, and the same
// bursts from the same seed.

#include "companions/sunflux/SunFlux.h"

#include <QTest>

#include <cmath>
#include <sstream>

using namespace heliotrope::sunflux;

class TestSunFlux : public QObject {
    Q_OBJECT

private slots:
    void theQuietSunTurnsEvery27DaysAndDrifts();
    void aBurstRisesPeaksAndDecaysOnTheQuietSun();
    void aHistoryReadsBackAsWrittenAndBadFilesAreNamed();
    void theGeneratorRepeatsItsSeedAndItsRate();
};

namespace {

constexpr double kT0 = 1.7e9;

}  // namespace

void TestSunFlux::theQuietSunTurnsEvery27DaysAndDrifts()
{
    const QuietSun quiet{120, 15, kRotationDays, kT0 + 3 * kSecondsPerDay, 10, kT0};
    // The maximum where the phase says, the minimum half a rotation on, the
    // maximum again a rotation later, less the trend over it.
    const double top = kT0 + 3 * kSecondsPerDay;
    QCOMPARE(quietFluxSfu(quiet, top), 120 + 15 + 10 * 3 / 365.25);
    QVERIFY(std::abs(quietFluxSfu(quiet, top + 13.5 * kSecondsPerDay) - (120 - 15 + 10 * 16.5 / 365.25)) < 1e-9);
    QVERIFY(std::abs(quietFluxSfu(quiet, top + 27 * kSecondsPerDay) - (135 + 10 * 30 / 365.25)) < 1e-9);
    // The largest of the days around it is the one a rotation on.
    double best = 0;
    int bestDay = 0;
    for (int day = 20; day < 35; ++day)
        if (const double s = quietFluxSfu(quiet, top + day * kSecondsPerDay); s > best)
            best = s, bestDay = day;
    QCOMPARE(bestDay, 27);
    QVERIFY(!isValid(QuietSun{120, 130, 27, 0, 0, 0}));  // would go below zero
}

void TestSunFlux::aBurstRisesPeaksAndDecaysOnTheQuietSun()
{
    const Burst burst{kT0 + 100, 20, 50, 120};
    const FluxHistory history{QuietSun{100, 0, 27, 0, 0, kT0}, {burst}};
    QCOMPARE(totalFluxSfu(history, kT0 + 99), 100.0);
    QVERIFY(std::abs(totalFluxSfu(history, kT0 + 110) - 125) < 1e-9);  // half way up at half the rise
    QCOMPARE(burstPeakUtc(burst), kT0 + 120);
    QCOMPARE(totalFluxSfu(history, kT0 + 120), 150.0);
    QVERIFY(totalFluxSfu(history, kT0 + 119) < 150 && totalFluxSfu(history, kT0 + 121) < 150);
    QVERIFY(std::abs(totalFluxSfu(history, kT0 + 240) - (100 + 50 / M_E)) < 1e-9);  // one decay time on
    QCOMPARE(totalFluxSfu(history, burstEndUtc(burst) + 1), 100.0);
    // Found while under way, not after its end; a burst begun days before
    // (within the longest span) still counts.
    QCOMPARE(burstsBetween(history, kT0, kT0 + 100).size(), std::size_t(1));
    QCOMPARE(burstsBetween(history, burstEndUtc(burst) + 1, kT0 + 1e5).size(), std::size_t(0));
    const Burst slow{kT0 - 2 * kSecondsPerDay, 3600, 1000, kLongestDecaySeconds};
    const FluxHistory later{history.quiet, {slow, burst}};
    QVERIFY(totalFluxSfu(later, kT0 + 99) > 100.001);
}

void TestSunFlux::aHistoryReadsBackAsWrittenAndBadFilesAreNamed()
{
    FluxHistory history{QuietSun{97.25, 11.5, 27.3, kT0 + 0.1, -3.5, kT0 - 7}, {}};
    history.bursts = generateBursts(BurstGenerator{}, kT0, kT0 + 10 * kSecondsPerDay, 7);
    QVERIFY(history.bursts.size() > 5);
    std::stringstream file;
    writeFluxHistory(file, history);
    ReadProblem problem;
    const std::optional<FluxHistory> back = readFluxHistory(file, &problem);
    QVERIFY(back);
    QCOMPARE(problem.problem, FileProblem::None);
    QCOMPARE(back->quiet.levelSfu, history.quiet.levelSfu);
    QCOMPARE(back->quiet.rotationPhaseUtc, history.quiet.rotationPhaseUtc);
    QCOMPARE(back->bursts.size(), history.bursts.size());
    for (std::size_t i = 0; i < history.bursts.size(); ++i) {
        QCOMPARE(back->bursts[i].startUtc, history.bursts[i].startUtc);
        QCOMPARE(back->bursts[i].decaySeconds, history.bursts[i].decaySeconds);
    }

    // Written by hand, out of order and with comments: sorted when read.
    std::istringstream hand("# a day\nheliotrope-sunflux 1\nquiet 100 0 27 0 0 0\nburst 500 10 20 30  # late\nburst 100 10 20 30\n");
    const std::optional<FluxHistory> handRead = readFluxHistory(hand, &problem);
    QVERIFY(handRead && handRead->bursts.size() == 2 && handRead->bursts[0].startUtc == 100);

    const struct {
        const char* text;
        FileProblem problem;
        int line;
    } bad[] = {
        {"quiet 100 0 27 0 0 0\n", FileProblem::NotTheFormat, 1},
        {"heliotrope-sunflux 1\nburst 1 1 1 1\n", FileProblem::NoQuiet, 0},
        {"heliotrope-sunflux 1\nquiet 100 0 27 0 0 0\nquiet 100 0 27 0 0 0\n", FileProblem::TwoQuiet, 3},
        {"heliotrope-sunflux 1\nquiet 100 0 27 0 0 0\nburst 1 1 1\n", FileProblem::WrongFieldCount, 3},
        {"heliotrope-sunflux 1\nquiet 100 0 27 0 0 0\nburst 1 1 1,5 1\n", FileProblem::BadNumber, 3},
        {"heliotrope-sunflux 1\nquiet 100 0 27 0 0 0\nburst 1 1 nan 1\n", FileProblem::BadNumber, 3},
        {"heliotrope-sunflux 1\nquiet 100 0 27 0 0 0\nburst 1 0 10 1\n", FileProblem::OutOfRange, 3},
        {"heliotrope-sunflux 1\nquiet -5 0 27 0 0 0\n", FileProblem::OutOfRange, 2},
        {"heliotrope-sunflux 1\nflare 1 1 1 1\n", FileProblem::UnknownLine, 2},
    };
    for (const auto& b : bad) {
        std::istringstream in(b.text);
        QVERIFY2(!readFluxHistory(in, &problem), b.text);
        QCOMPARE(problem.problem, b.problem);
        QCOMPARE(problem.line, b.line);
    }
}

void TestSunFlux::theGeneratorRepeatsItsSeedAndItsRate()
{
    const BurstGenerator generator{4, 5, 2000, 1.0, 10, 300, 60, 1800};
    const FluxHistory year = generateHistory(QuietSun{}, generator, kT0, 365, 42);
    const FluxHistory again = generateHistory(QuietSun{}, generator, kT0, 365, 42);
    const FluxHistory other = generateHistory(QuietSun{}, generator, kT0, 365, 43);
    QCOMPARE(year.bursts.size(), again.bursts.size());
    QCOMPARE(year.bursts.back().peakSfu, again.bursts.back().peakSfu);
    QVERIFY(year.bursts.front().startUtc != other.bursts.front().startUtc);
    // 1460 expected, Poisson: within 4σ (±153).
    QVERIFY2(std::abs(double(year.bursts.size()) - 1460) < 153, qPrintable(QString::number(year.bursts.size())));
    // Every burst within its limits and in order; the power law puts about
    // (5/50)^1 = 10 % of them above 50 SFU.
    int above50 = 0;
    for (std::size_t i = 0; i < year.bursts.size(); ++i) {
        const Burst& b = year.bursts[i];
        QVERIFY(isValid(b) && b.peakSfu >= 5 && b.peakSfu <= 2000 && b.riseSeconds <= 300 && b.decaySeconds >= 60);
        QVERIFY(i == 0 || b.startUtc >= year.bursts[i - 1].startUtc);
        above50 += b.peakSfu > 50;
    }
    QVERIFY2(std::abs(above50 / double(year.bursts.size()) - 0.1) < 0.03, qPrintable(QString::number(above50)));
    QVERIFY(generateBursts(BurstGenerator{0}, kT0, kT0 + 1e7, 1).empty());
}

QTEST_APPLESS_MAIN(TestSunFlux)
#include "tst_sunflux.moc"
