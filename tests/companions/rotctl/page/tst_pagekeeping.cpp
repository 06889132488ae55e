// What the page keeps as it goes: the hour's tracking error, what tracking
// leaves, not the slew back to the sun after a reference or a stow, nor the
// gaps themselves; the latest of the warnings said; the day's sunset and
// sunrise.

#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/page/SkyToday.h"
#include "companions/rotctl/page/StationWatch.h"
#include "companions/rotctl/page/TrackingErrorTrail.h"

#include <QJsonArray>
#include <QTest>

using heliotrope::rotctl::TrackingErrorTrail;

namespace {

constexpr qint64 kEvery = TrackingErrorTrail::kEveryMs;

// The degrees kept, oldest first.
QList<double> kept(const TrackingErrorTrail& trail)
{
    QList<double> degrees;
    for (const QJsonValue& point : trail.json(std::nullopt).value(QStringLiteral("points")).toArray())
        degrees << point.toArray().at(1).toDouble();
    return degrees;
}

}  // namespace

class TestPageKeeping : public QObject {
    Q_OBJECT

private slots:
    void theSlewBackIsNoError();
    void theLatestWarningsKept();
    void sunsetThenSunrise();
};

void TestPageKeeping::sunsetThenSunrise()
{
    // Tokyo at noon JST, 2026-12-10: the sun's centre sets at 16:22:54 JST
    // and rises again at 06:44:46 on the airless horizon (python3-ephem);
    // the bridge's refraction moves each by a few minutes.
    heliotrope::rotctl::TrueSunOptions options;
    options.site = heliotrope::sky::Site{35.68, 139.77, 40};
    heliotrope::rotctl::SkyToday sky(options);
    const double noonJst = 1796871600;
    const std::optional<double> sunset = sky.nextSunset(noonJst);
    const std::optional<double> sunrise = sky.nextSunrise(noonJst);
    QVERIFY(sunset && sunrise);
    QVERIFY2(std::abs(*sunset - (noonJst + 4 * 3600 + 22 * 60 + 54)) < 6 * 60, qPrintable(QString::number((*sunset - noonJst) / 3600)));
    QVERIFY2(std::abs(*sunrise - (noonJst + 18 * 3600 + 44 * 60 + 46)) < 6 * 60, qPrintable(QString::number((*sunrise - noonJst) / 3600)));
}

void TestPageKeeping::theLatestWarningsKept()
{
    heliotrope::rotctl::Bridge bridge(heliotrope::rotctl::BridgeOptions{});
    heliotrope::rotctl::StationWatch watch(bridge);
    for (int k = 1; k <= 25; ++k)
        watch.warned(QString::number(k));
    QCOMPARE(watch.warnings().size(), std::size_t{20});
    QCOMPARE(watch.warnings().front().text, QStringLiteral("6"));
    QCOMPARE(watch.warnings().back().text, QStringLiteral("25"));
}

void TestPageKeeping::theSlewBackIsNoError()
{
    TrackingErrorTrail trail;
    qint64 t = 0;
    const auto sample = [&](std::optional<double> error) { trail.sample(t += kEvery, error); };
    // Tracking from the start: the first look has nothing to compare with.
    for (double e : {0.1, 0.1, 0.12})
        sample(e);
    QCOMPARE(kept(trail), (QList<double>{0.1, 0.12}));
    // A reference on cold sky, then the slew back: 30° falling to the
    // dish's usual tenth; kept once it falls no more.
    sample(std::nullopt);
    for (double e : {30.0, 12.0, 0.3, 0.1, 0.11})
        sample(e);
    QCOMPARE(kept(trail), (QList<double>{0.1, 0.12, 0.11}));
    // A rotator that does not arrive after a gap is shown at its second
    // look; one that creeps still falling, a minute after the gap.
    sample(std::nullopt);
    for (double e : {40.0, 40.0})
        sample(e);
    QCOMPARE(kept(trail).last(), 40.0);
    sample(std::nullopt);
    for (int k = 0; k < 8; ++k)
        sample(80.0 * std::pow(0.5, k));
    QCOMPARE(kept(trail).size(), 4 + 2);
    QCOMPARE(kept(trail).last(), 80.0 * std::pow(0.5, 7));
}

QTEST_GUILESS_MAIN(TestPageKeeping)
#include "tst_pagekeeping.moc"
