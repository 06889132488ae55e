// What the bridge points at when it tracks by itself, as arithmetic on the
// real sun: by day the sun, by night the next sunrise's azimuth at the
// rotator's lowest elevation, "day" being the sun above that elevation; the
// sunrise found to the second, checked here against the sun itself.

#include "companions/rotctl/bridge/SelfTracking.h"

#include <QTest>

using heliotrope::rotctl::nextSunrise;
using heliotrope::rotctl::SelfTracking;
using heliotrope::sky::Refraction;
using heliotrope::sky::Site;
using heliotrope::sky::trueSunTopocentric;

namespace {

const Site kTokyo{35.68, 139.77, 40};
constexpr double kEvening = 1796806800.0;  // 2026-12-09 18:00 JST: the sun below the horizon

}  // namespace

class TestSelfTarget : public QObject {
    Q_OBJECT

private slots:
    void sunriseToTheSecondAndTheNightAtTheLowestElevation()
    {
        const std::optional<heliotrope::rotctl::Sunrise> rise = nextSunrise(kEvening, kTokyo, Refraction::Radio, {}, 5.0);
        QVERIFY(rise);
        // The sun crosses 5° within the second found, climbing.
        QVERIFY(trueSunTopocentric(rise->utcSeconds - 1, kTokyo, Refraction::Radio).elevation < 5.0);
        QVERIFY(trueSunTopocentric(rise->utcSeconds, kTokyo, Refraction::Radio).elevation >= 5.0);
        QVERIFY(rise->utcSeconds - kEvening > 10 * 3600 && rise->utcSeconds - kEvening < 16 * 3600);

        SelfTracking tracking(kTokyo, Refraction::Radio, {});
        const heliotrope::rotctl::SelfTrackingTarget night = tracking.at(static_cast<qint64>(kEvening * 1000), 5.0);
        QVERIFY(night.night && night.sunrise);
        QCOMPARE(night.target.elevation, 5.0);
        QVERIFY(qAbs(night.target.azimuth - rise->azimuth) < 1e-9);

        // The sun at 3°, after its rise over the horizon: day for a dish that
        // points to the horizon, still night for one that stops at 5°.
        const double morning = nextSunrise(kEvening, kTokyo, Refraction::Radio, {}, 3.0)->utcSeconds;
        QVERIFY(!tracking.at(static_cast<qint64>(morning * 1000), 0.0).night);
        QVERIFY(tracking.at(static_cast<qint64>(morning * 1000), 5.0).night);
        const heliotrope::rotctl::SelfTrackingTarget day = tracking.at(static_cast<qint64>((morning + 3600) * 1000), 5.0);
        QVERIFY(!day.night && qAbs(day.target.elevation - day.sun.elevation) < 1e-9);
    }
};

QTEST_APPLESS_MAIN(TestSelfTarget)
#include "tst_selftarget.moc"
