// The bridge reading the receiver while it tracks the sun by itself
// (--watch-power), on the simulated GS-232B behind Hamlib's rotctld -m 603
// and the simulated radiometer in physical units, on a quickened clock: a
// reading each second, kept in the record with the beam's and the sun's
// directions; references on cold sky beside the sun, during which --status
// says so and not "tracking"; a stow asked during a reference is a stow;
// and the LNA's gain falling by a dB is said at the next reference.

#include "ProgramRun.h"
#include "SerialRotator.h"
#include "StationHome.h"
#include "TestTimeScale.h"

#include "companions/record/FluxRecord.h"
#include "companions/record/StationRecord.h"
#include "companions/sky/TrueSun.h"

#include <QRegularExpression>
#include <QTest>

#include <cmath>
#include <memory>

namespace {

const QString kSiteText = QStringLiteral("35.68,139.77,40");
const heliotrope::sky::Site kSite{35.68, 139.77, 40};
constexpr double kSkyUtc = 1796871600.0;  // 2026-12-10 12:00 JST: the sun in the south, some 33° up
constexpr double kTimeScale = 10;
constexpr double kBeamwidth = 2.5;  // a 3 m dish at 2800 MHz
constexpr double kReferenceMinutes = 2;
constexpr double kLnaStepAfter = 270;  // seconds from the start: between the third and the fourth reference

double separationFromSun(double azimuth, double elevation, double utc)
{
    const heliotrope::sky::TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(utc, kSite, heliotrope::sky::Refraction::Radio, {});
    return heliotrope::sky::skySeparation(azimuth, elevation, sun.azimuth, sun.elevation);
}

}  // namespace

class TestTrackingPower : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readingsReferencesAndAStowDuringOne();

private:
    std::pair<int, QString> ask(const QStringList& arguments)
    {
        Program asker(arguments);
        const int status = asker.exitWithin(10000);
        return {status, asker.output};
    }
    std::optional<std::pair<double, double>> rotatorReading()
    {
        RotctldSession session;
        if (!session.connectTo(m_rotator.port()))
            return std::nullopt;
        const QList<QByteArray> lines = session.ask("p").split('\n');
        if (lines.size() < 2)
            return std::nullopt;
        return std::pair(lines[0].toDouble(), lines[1].toDouble());
    }

    StationHome m_home;
    std::unique_ptr<TestTimeScale> m_time;
    SerialRotator m_rotator;
};

void TestTrackingPower::initTestCase()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (libhamlib-utils) is not installed");
    QVERIFY(m_home.make());
    m_time = std::make_unique<TestTimeScale>(kTimeScale, kSkyUtc);
    QVERIFY(m_rotator.start(QStringLiteral("gs232b"), {QStringLiteral("--az-rate"), QStringLiteral("6"), QStringLiteral("--el-rate"), QStringLiteral("6")},
                            kTimeScale));
}

void TestTrackingPower::readingsReferencesAndAStowDuringOne()
{
    const double started = m_time->utcNow();
    const QString radiometer = QStringLiteral("%1 --once --site %2 --rotctld 127.0.0.1:%3 --receiver-temperature 60 --frequency 2800 "
                                              "--dish-diameter 3 --flux 120 --noise 0.02 --seed 7 --lna-step %4,1")
                                   .arg(QStringLiteral(HELIOTROPE_RADIOMETER_PATH), kSiteText)
                                   .arg(m_rotator.port())
                                   .arg(started + kLnaStepAfter, 0, 'f', 0);
    Program bridge({QStringLiteral("--track-sun"), QStringLiteral("--site"), kSiteText, QStringLiteral("--port"), QStringLiteral("0"),
                    QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:%1").arg(m_rotator.port()), QStringLiteral("--poll-ms"),
                    QStringLiteral("500"), QStringLiteral("--watch-power"), QStringLiteral("command:") + radiometer,
                    QStringLiteral("--watch-beamwidth"), QString::number(kBeamwidth), QStringLiteral("--reference-every"),
                    QString::number(kReferenceMinutes), QStringLiteral("--reference-dwell"), QStringLiteral("20")});
    QVERIFY2(bridge.waitFor(QStringLiteral("Reading the power every second"), 10000), qPrintable(bridge.output));

    // Through the first references: whenever status says tracking, the dish
    // is not standing on cold sky. Once the LNA's step has been said, a stow
    // is asked in the middle of the next reference.
    bool sawReference = false;
    bool stowAsked = false;
    QElapsedTimer watched;
    watched.start();
    while (m_time->utcNow() - started < kLnaStepAfter + 2 * kReferenceMinutes * 60 + 60) {
        const auto [status, said] = ask({QStringLiteral("--status")});
        QCOMPARE(status, 0);
        const std::optional<std::pair<double, double>> at = rotatorReading();
        QVERIFY(at);
        const double apart = separationFromSun(at->first, at->second, m_time->utcNow());
        const QString first = said.section(QLatin1Char('\n'), 1, 1);
        if (first.startsWith(QStringLiteral("on a reference"))) {
            sawReference = true;
            if (bridge.output.contains(QStringLiteral("The receiver's gain")) && !stowAsked) {
                // Once the dish stands on the cold sky: the stow must take it away.
                if (apart >= 4 * kBeamwidth) {
                    const auto [stowed, stowSaid] = ask({QStringLiteral("--stow"), QStringLiteral("180,45")});
                    QVERIFY2(stowed == 0, qPrintable(stowSaid));
                    stowAsked = true;
                    break;
                }
            }
        } else if (first.startsWith(QStringLiteral("tracking")) && sawReference && apart >= 4 * kBeamwidth) {
            // Said tracking off the sun: only true of a dish on its way back
            // from the cold sky, never of one standing there.
            QTest::qWait(m_time->realMs(3));
            const std::optional<std::pair<double, double>> later = rotatorReading();
            QVERIFY(later);
            const double laterApart = separationFromSun(later->first, later->second, m_time->utcNow());
            QVERIFY2(laterApart < apart - 1,
                     qPrintable(QStringLiteral("status said tracking %1° from the sun, and the dish stayed (%2° 3 s later):\n%3").arg(apart).arg(laterApart).arg(said)));
        }
        QTest::qWait(200);
    }
    QVERIFY2(stowAsked, qPrintable(bridge.output));
    // The stow is a stow: the rotator reaches it and stays.
    QElapsedTimer stowing;
    stowing.start();
    std::optional<std::pair<double, double>> at;
    while (stowing.elapsed() < 30000 && !((at = rotatorReading()) && std::abs(at->first - 180) <= 1 && std::abs(at->second - 45) <= 1))
        QTest::qWait(200);
    QVERIFY2(at && std::abs(at->first - 180) <= 1 && std::abs(at->second - 45) <= 1, qPrintable(bridge.output));
    QTest::qWait(m_time->realMs(30));
    at = rotatorReading();
    QVERIFY(at && std::abs(at->first - 180) <= 1 && std::abs(at->second - 45) <= 1);
    QVERIFY2(ask({QStringLiteral("--status")}).second.contains(QStringLiteral("stowed")), "status does not say stowed");

    // The LNA's step said at the reference after it.
    const QRegularExpressionMatch fell = QRegularExpression(QStringLiteral("The receiver's gain fell by (\\d+\\.\\d+) dB")).match(bridge.output);
    QVERIFY2(fell.hasMatch() && std::abs(fell.captured(1).toDouble() - 1.0) < 0.2, qPrintable(bridge.output));
    const double ended = m_time->utcNow();
    bridge.process.terminate();
    QVERIFY(bridge.exitWithin(10000) >= 0);

    heliotrope::record::StationRecord record;
    QVERIFY2(record.open(), qPrintable(record.problem()));
    heliotrope::record::FluxRecord flux(record);
    const std::vector<heliotrope::flux::Reading> readings = flux.fluxReadingsBetween(started, ended);
    const std::vector<heliotrope::flux::Reference> references = flux.fluxReferencesBetween(started, ended);
    // A reading a second, less the command's own start each time: on a
    // loaded machine (the test command's) a process started ten times a
    // second of the quickened clock keeps up with half of them or more.
    QVERIFY2(static_cast<double>(readings.size()) >= 0.5 * (ended - started), qPrintable(QStringLiteral("%1 readings in %2 s").arg(readings.size()).arg(ended - started)));
    QVERIFY2(references.size() >= 3, qPrintable(QString::number(references.size())));
    int onSun = 0;
    int stowed = 0;
    for (const heliotrope::flux::Reading& r : readings) {
        // The sun each reading was taken beside is the sun at its time.
        QVERIFY(separationFromSun(r.sunAzimuth, r.sunElevation, r.utc) < 0.01);
        if (r.state == heliotrope::flux::StationState::Stow)
            ++stowed;
        // On the sun, before the LNA's step: the sun stands some dB over the cold sky.
        if (r.state == heliotrope::flux::StationState::Tracking && !r.moved && r.utc < started + kLnaStepAfter
            && separationFromSun(r.antennaAzimuth, r.antennaElevation, r.utc) < 0.2 * kBeamwidth) {
            ++onSun;
            QVERIFY(10 * std::log10(r.power / references.front().power.mean) > 1.0);
        }
    }
    QVERIFY2(onSun > 60, qPrintable(QString::number(onSun)));
    QVERIFY2(stowed > 0, "no reading was taken as stowed");
    // The cold sky itself: two references before the step alike, the one after a dB down.
    QVERIFY(std::abs(10 * std::log10(references[1].power.mean / references[0].power.mean)) < 0.3);
}

QTEST_GUILESS_MAIN(TestTrackingPower)
#include "tst_trackingpower.moc"
