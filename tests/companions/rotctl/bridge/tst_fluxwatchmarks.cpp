// Which runs the flux watch has marked as taken during a burst: a sun-noise
// run that had the dish while a burst rose hides the rise, so the burst is
// seen only after it; the run must still be matched, from the last quiet
// reading before the burst to the first after it. The day is laid into the
// watch as the bridge recalls it after a restart, on the bridge's own clock,
// with no rotctld and no receiver behind it; the marks go into the record as
// the bridge's own.

#include "../../support/SimulatedFluxDay.h"

#include "companions/power/PowerSource.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/FluxWatch.h"
#include "companions/rotctl/bridge/TrackingPower.h"
#include "companions/rotctl/bridge/TrackingPowerKeeping.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

using namespace heliotrope;
using rotctl::FluxWatch;

// A receiver that never answers: the day is all recalled.
class SilentSource : public power::PowerSource {
public:
    void requestReading() override { }
    bool readingPending() const override { return false; }
    QString description() const override { return QStringLiteral("silent"); }
    double resolution() const override { return 0; }
};

}  // namespace

class TestFluxWatchMarks : public QObject {
    Q_OBJECT

private slots:
    void aRunThatHidABurstsRiseIsMatchedToIt()
    {
        QTemporaryDir home;
        record::StationRecord record(home.filePath(QStringLiteral("station.sqlite")));
        QVERIFY(record.open());
        QVERIFY(record.addSunNoise(simulated::run(simulated::utcAt(9, 0), 13.0, record::FluxSource::TypedForTheDay)));
        const fluxstation::FluxStationChoice chosen = fluxstation::chooseFluxStation(record, {simulated::utcAt(23, 59), simulated::kBeam, std::nullopt, 0});
        QVERIFY2(chosen.station, qPrintable(chosen.source));

        // The burst peaks at 12:30; a run has the dish from 12:25:30 to
        // 12:29:30, off the sun and back, while it rises.
        const double runFrom = simulated::utcAt(12, 25) + 30;
        const double runTo = simulated::utcAt(12, 29) + 30;
        simulated::Day day;
        day.make(*chosen.station, simulated::utcAt(11, 0), simulated::utcAt(13, 30));
        for (flux::Reading& r : day.readings) {
            if (r.utc >= runFrom && r.utc < runTo) {
                r.state = flux::StationState::Measurement;
                r.antennaAzimuth += 2 * simulated::kBeam;
            }
        }

        rotctl::BridgeOptions options;
        options.trueSun.site = sky::Site{simulated::kTokyo.latitude, simulated::kTokyo.longitude, simulated::kTokyo.height};
        rotctl::Bridge bridge(options);
        bridge.setUtcClock([] { return static_cast<qint64>(simulated::utcAt(13, 30) * 1000); });
        rotctl::TrackingPower watch(bridge, {}, options.trueSun, std::make_unique<SilentSource>(),
                                    [](const std::vector<flux::Reading>&, const std::vector<flux::Reference>&, QString*) { return true; });
        watch.recallToday(day.readings, day.references);

        FluxWatch flux(
            watch, options.trueSun, [&](double) { return FluxWatch::Choice{chosen.station, chosen.source, {}}; },
            [](const QDate&, const flux::FluxDay&, const QString&, QString*) { return true; });
        record::RecordedSunNoise hiding = simulated::run(runTo, 13.0, record::FluxSource::Assumed);
        hiding.startedUtc = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(runFrom * 1000), QTimeZone::utc());
        QVERIFY(record.addSunNoise(hiding));
        std::vector<std::pair<double, double>> asked;
        std::vector<record::StationRun> marked;
        flux.setRunMarker([&, kept = rotctl::TrackingPowerKeeping(record.path()).runsDuringBursts()](double fromUtc, double toUtc, QString* problem) {
            asked.emplace_back(fromUtc, toUtc);
            auto newly = kept(fromUtc, toUtc, problem);
            if (newly)
                marked.insert(marked.end(), newly->begin(), newly->end());
            return newly;
        });
        flux.look();

        QCOMPARE(flux.todaysBursts().size(), std::size_t{1});
        const flux::FluxBurst& burst = flux.todaysBursts().front();
        QVERIFY2(burst.startUtc >= runTo, qPrintable(QString::number(burst.startUtc - runTo)));
        QCOMPARE(asked.size(), std::size_t{1});
        // From the last quiet reading before the run, to the first after the burst.
        QVERIFY2(asked.front().first < runFrom && asked.front().first >= runFrom - 2, qPrintable(QString::number(asked.front().first - runFrom)));
        QVERIFY2(asked.front().second > burst.endUtc && asked.front().second <= burst.endUtc + 2,
                 qPrintable(QString::number(asked.front().second - burst.endUtc)));
        // And the run is marked so in the record.
        QCOMPARE(marked.size(), std::size_t{1});
        const auto* run = std::get_if<record::RecordedSunNoise>(&marked.front());
        QVERIFY(run && run->duringBurst && run->startedUtc == hiding.startedUtc);
    }
};

QTEST_GUILESS_MAIN(TestFluxWatchMarks)
#include "tst_fluxwatchmarks.moc"
