// The bridge's day decision in true-sun mode: the real sun replaces the
// window's set-point by day, the night passes through, the guard against a
// wrong site or clock trips and clears once each, ERFA's statuses are said
// once; and the tracker the bridge computes it with agrees with the full
// computation.

#include "companions/common/ConsoleText.h"
#include "companions/rotctl/truesun/TrueSunPointing.h"

#include <QTest>

#include <cmath>

using namespace heliotrope::companions;
using namespace heliotrope::rotctl;

using heliotrope::sky::Site;

Q_DECLARE_METATYPE(heliotrope::sky::Atmosphere)
Q_DECLARE_METATYPE(heliotrope::sky::Refraction)

class TestTrueSunPointing : public QObject {
    Q_OBJECT

private slots:
    void dayCommandsTheRealSunAndNightPassesThrough();
    void guardTripsAndClearsOnceEachWay();
    void ephemerisStatusesAreSaidOnce();
    void trackerAgreesWithTheFullComputation();
    void refractionFollowsEachFigureOfTheAir_data();
    void refractionFollowsEachFigureOfTheAir();
};

namespace {

const Site kHachioji{35.64, 139.3, 0};
// 2026-10-03 12:00 JST, near the model's largest error of the year.
constexpr qint64 kNoonMs = 1790996400000;
// 2031-06-21 09:00 JST: past Debian's ERFA 2.0.0 leap-second table.
constexpr qint64 kLaterYearMs = 1939766400000;

heliotrope::sky::TrueSunPosition exactSun(qint64 ms, const Site& site = kHachioji)
{
    return heliotrope::sky::trueSunTopocentric(static_cast<double>(ms) / 1000.0, site);
}

}  // namespace

void TestTrueSunPointing::dayCommandsTheRealSunAndNightPassesThrough()
{
    TrueSunPointing pointing(kHachioji, heliotrope::sky::Refraction::None, {});
    const heliotrope::sky::TrueSunPosition sun = exactSun(kNoonMs);
    QVERIFY(sun.elevation > 30);

    // The window's model is 1-2 degrees off: a set-point that far is commanded as the real sun.
    const SetPoint window{sun.azimuth + 0.8, sun.elevation - 1.5};
    const TrueSunDecision day = pointing.decide(window, kNoonMs);
    QVERIFY(!day.windowCommanded);
    QVERIFY(day.notices.isEmpty());
    QVERIFY2(std::abs(day.target.azimuth - sun.azimuth) < 1e-6 && std::abs(day.target.elevation - sun.elevation) < 1e-6,
             qPrintable(QStringLiteral("target %1 %2, sun %3 %4")
                            .arg(day.target.azimuth)
                            .arg(day.target.elevation)
                            .arg(sun.azimuth)
                            .arg(sun.elevation)));
    QVERIFY(day.windowMinusTrue && std::abs(*day.windowMinusTrue - 1.5) < 0.2);

    // A night message (elevation exactly 0, the sunrise azimuth) is commanded as it came.
    const SetPoint night{65.2, 0.0};
    const TrueSunDecision parked = pointing.decide(night, kNoonMs);
    QVERIFY(parked.windowCommanded);
    QVERIFY(!parked.trueSun);
    QCOMPARE(parked.target.azimuth, 65.2);
    QCOMPARE(parked.target.elevation, 0.0);

    // The sun three hours earlier (a test's clock offset): the window's
    // set-point is judged at its own instant, the sun of the other hour commanded.
    const qint64 morningMs = kNoonMs - 3 * 3600 * 1000;
    const heliotrope::sky::TrueSunPosition morning = exactSun(morningMs);
    const TrueSunDecision shifted = pointing.decide(window, morningMs, kNoonMs);
    QVERIFY(!shifted.windowCommanded && shifted.notices.isEmpty());
    QVERIFY(std::abs(shifted.target.azimuth - morning.azimuth) < 1e-6 && std::abs(shifted.target.elevation - morning.elevation) < 1e-6);

    // Refraction lifts the commanded sun, more for radio than for light.
    TrueSunPointing optical(kHachioji, heliotrope::sky::Refraction::Optical, {});
    TrueSunPointing radio(kHachioji, heliotrope::sky::Refraction::Radio, {});
    const double lift = optical.decide(window, kNoonMs).target.elevation - sun.elevation;
    const double radioLift = radio.decide(window, kNoonMs).target.elevation - sun.elevation;
    QVERIFY2(lift > 0.005 && lift < 0.05 && radioLift > lift, qPrintable(QStringLiteral("%1 %2").arg(lift).arg(radioLift)));
}

void TestTrueSunPointing::guardTripsAndClearsOnceEachWay()
{
    TrueSunPointing pointing(kHachioji, heliotrope::sky::Refraction::None, {});
    const heliotrope::sky::TrueSunPosition sun = exactSun(kNoonMs);
    const auto at = [&](double elevationOff) { return pointing.decide({sun.azimuth, sun.elevation - elevationOff}, kNoonMs); };

    // 10 degrees off: said once, with both positions and the gap in both languages.
    const TrueSunDecision tripped = at(10);
    QVERIFY(tripped.windowCommanded);
    QCOMPARE(tripped.target.elevation, sun.elevation - 10);
    QCOMPARE(tripped.notices.size(), 1);
    const QString line = tripped.notices.first();
    for (const QString& part : {QStringLiteral("10.00°"), QStringLiteral("本当の太陽"), QStringLiteral("real sun"),
                                degreesText(sun.azimuth), degreesText(sun.elevation), degreesText(sun.elevation - 10)})
        QVERIFY2(line.contains(part), qPrintable(part + QStringLiteral(" not in: ") + line));
    QVERIFY(pointing.guardTripped());
    QVERIFY(at(9).notices.isEmpty());
    // Between the clearing and the tripping gap: still the window's set-point, nothing said.
    const TrueSunDecision hovering = at(2.8);
    QVERIFY(hovering.windowCommanded);
    QVERIFY(hovering.notices.isEmpty());

    // Back within 2.5 degrees: said once, the real sun again.
    const TrueSunDecision cleared = at(1.0);
    QVERIFY(!cleared.windowCommanded);
    QCOMPARE(cleared.notices.size(), 1);
    QVERIFY(cleared.notices.first().contains(QStringLiteral("再び合いました")));
    QVERIFY(cleared.notices.first().contains(QStringLiteral("agree again")));
    QVERIFY(at(2.8).notices.isEmpty());  // not tripped again below 3 degrees
    QVERIFY(!at(2.8).windowCommanded);
    QCOMPARE(at(3.5).notices.size(), 1);
}

void TestTrueSunPointing::ephemerisStatusesAreSaidOnce()
{
    TrueSunPointing pointing(kHachioji, heliotrope::sky::Refraction::None, {});
    const heliotrope::sky::TrueSunPosition later = exactSun(kLaterYearMs);
    QCOMPARE(later.status, heliotrope::sky::EphemerisStatus::DubiousYear);
    QVERIFY(later.elevation > 10);

    // Dubious year: a warning, once, and the real sun still commanded.
    const TrueSunDecision first = pointing.decide({later.azimuth, later.elevation}, kLaterYearMs);
    QVERIFY(!first.windowCommanded);
    QCOMPARE(first.notices.size(), 1);
    QVERIFY(first.notices.first().contains(QStringLiteral("疑わしい年")));
    QVERIFY(first.notices.first().contains(QStringLiteral("dubious year")));
    QVERIFY(pointing.decide({later.azimuth, later.elevation}, kLaterYearMs + 750).notices.isEmpty());

    // A clock ERFA refuses (year -5000): the window's set-point, said once with the reason.
    constexpr qint64 kRefusedMs = -220000000000000;
    QCOMPARE(exactSun(kRefusedMs).status, heliotrope::sky::EphemerisStatus::Failed);
    const SetPoint window{150, 40};
    const TrueSunDecision refused = pointing.decide(window, kRefusedMs);
    QVERIFY(refused.windowCommanded);
    QCOMPARE(refused.target.azimuth, 150.0);
    QCOMPARE(refused.notices.size(), 1);
    QVERIFY(refused.notices.first().contains(QStringLiteral("状態 -1")));
    QVERIFY(refused.notices.first().contains(QStringLiteral("status -1")));
    QVERIFY(pointing.decide(window, kRefusedMs + 750).notices.isEmpty());
    // Computable again: said once.
    const TrueSunDecision again = pointing.decide({later.azimuth, later.elevation}, kLaterYearMs);
    QVERIFY(!again.windowCommanded);
    QCOMPARE(again.notices.size(), 1);
    QVERIFY(again.notices.first().contains(QStringLiteral("再び")));
}

void TestTrueSunPointing::trackerAgreesWithTheFullComputation()
{
    // Every 7.3 s for two hours, then back in time and across midnight UTC,
    // for a site south and west as well: the carried orbit must not show.
    const Site sites[] = {kHachioji, Site{-33.45, -70.67, 570}};
    for (const Site& site : sites) {
        heliotrope::sky::TrueSunTracker tracker;
        double worst = 0;
        qint64 worstMs = 0;
        const auto check = [&](qint64 ms) {
            const heliotrope::sky::TrueSunPosition carried = tracker.at(static_cast<double>(ms) / 1000.0, site);
            const heliotrope::sky::TrueSunPosition exact = exactSun(ms, site);
            QCOMPARE(carried.status, exact.status);
            const double gap = heliotrope::sky::skySeparation(carried.azimuth, carried.elevation, exact.azimuth, exact.elevation);
            if (gap > worst) {
                worst = gap;
                worstMs = ms;
            }
        };
        for (qint64 ms = kNoonMs; ms < kNoonMs + 2 * 3600 * 1000; ms += 7300)
            check(ms);
        for (qint64 ms = kNoonMs + 12 * 3600 * 1000; ms > kNoonMs + 6 * 3600 * 1000; ms -= 61700)
            check(ms);
        QVERIFY2(worst * 3600 < 0.001, qPrintable(QStringLiteral("%1 arcsec at %2 ms").arg(worst * 3600).arg(worstMs)));
    }
    // An instant ERFA refuses is refused by the tracker too, and the next is computed.
    heliotrope::sky::TrueSunTracker tracker;
    QCOMPARE(tracker.at(-2.2e11, kHachioji).status, heliotrope::sky::EphemerisStatus::Failed);
    QCOMPARE(tracker.at(static_cast<double>(kNoonMs) / 1000.0, kHachioji).status, heliotrope::sky::EphemerisStatus::Good);
}

void TestTrueSunPointing::refractionFollowsEachFigureOfTheAir_data()
{
    // Refraction grows with the air's density, P / T, and for radio with its
    // water too. Each row changes one figure, with the others far from it in
    // value, so that figures taken in each other's place show.
    using heliotrope::sky::Atmosphere;
    using heliotrope::sky::Refraction;
    QTest::addColumn<Refraction>("refraction");
    QTest::addColumn<Atmosphere>("air");
    QTest::addColumn<Atmosphere>("other");
    QTest::addColumn<double>("lowest");  // the second lift over the first
    QTest::addColumn<double>("highest");
    QTest::newRow("half the pressure") << Refraction::Optical << Atmosphere{1000, 10, 0.2} << Atmosphere{500, 10, 0.2} << 0.49 << 0.51;
    // Dry air: 253 K against 313 K.
    QTest::newRow("warmer air") << Refraction::Optical << Atmosphere{1000, -20, 0} << Atmosphere{1000, 40, 0} << 0.78 << 0.83;
    // Saturated air at 30 °C adds about two thirds to the radio refractivity.
    QTest::newRow("wetter air, radio") << Refraction::Radio << Atmosphere{1000, 30, 0} << Atmosphere{1000, 30, 1} << 1.4 << 1.9;
    QTest::newRow("wetter air, light") << Refraction::Optical << Atmosphere{1000, 30, 0} << Atmosphere{1000, 30, 1} << 0.98 << 1.0;
}

void TestTrueSunPointing::refractionFollowsEachFigureOfTheAir()
{
    QFETCH(heliotrope::sky::Refraction, refraction);
    QFETCH(heliotrope::sky::Atmosphere, air);
    QFETCH(heliotrope::sky::Atmosphere, other);
    QFETCH(double, lowest);
    QFETCH(double, highest);
    const double unrefracted = exactSun(kNoonMs).elevation;
    const SetPoint window{exactSun(kNoonMs).azimuth, unrefracted};
    // As the bridge commands it, and as the measurements on the sun compute it.
    const auto lifts = [&](const heliotrope::sky::Atmosphere& atmosphere) {
        TrueSunPointing pointing(kHachioji, refraction, atmosphere);
        const double commanded = pointing.decide(window, kNoonMs).target.elevation - unrefracted;
        const double computed = heliotrope::sky::trueSunTopocentric(kNoonMs / 1000.0, kHachioji, refraction, atmosphere).elevation - unrefracted;
        return std::pair{commanded, computed};
    };
    const auto [first, firstComputed] = lifts(air);
    const auto [second, secondComputed] = lifts(other);
    QVERIFY2(first > 0.003 && std::abs(first - firstComputed) < 1e-6 && std::abs(second - secondComputed) < 1e-6,
             qPrintable(QStringLiteral("%1 %2").arg(first).arg(firstComputed)));
    QVERIFY2(second / first >= lowest && second / first <= highest,
             qPrintable(QStringLiteral("lift %1° then %2°").arg(first).arg(second)));
}

QTEST_GUILESS_MAIN(TestTrueSunPointing)
#include "tst_truesunpointing.moc"
