// heliotrope-rotctl tracking the sun by itself (--track-sun), with no window,
// on each simulated serial controller behind Hamlib's own backend for it
// (rotctld -m 603, 202, 901): the dish is put on the real sun and kept
// there; every process killed and started again, as after a power cut, it is
// back on the sun with no one there; by night it waits at the azimuth where
// the sun will rise; a window's set-point is answered and judged, never
// followed. The sky is Sydney's, on the companions' quickened clock.

#include "ProgramRun.h"
#include "SerialRotator.h"
#include "StationHome.h"
#include "TestTimeScale.h"

#include "companions/rotctl/truesun/TrueSunOptions.h"
#include "companions/sky/TrueSun.h"

#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <cmath>
#include <memory>

namespace {

const QString kSiteText = QStringLiteral("-33.87,151.21,50");
const heliotrope::sky::Site kSite{-33.87, 151.21, 50};
constexpr double kDayUtc = 1782000000.0;             // 2026-06-21 10:00 in Sydney: the sun north-east, about 26° up
constexpr double kNightUtc = kDayUtc + 11 * 3600.0;  // 21:00 there
constexpr double kTimeScale = 30;
constexpr double kDeadBand = 0.4;  // the simulated controllers'
// As near as a rotator of this step comes to one command, and a reading's lag.
constexpr double reach(double step)
{
    return step / 2 + kDeadBand + 0.05;
}
constexpr double trackingBound(double step)
{
    return 2 * reach(step);
}
constexpr double kEasyCommReach = reach(0.1);

// The sun as the bridge computes it by default: radio refraction in the
// air estimated from the site's height.
heliotrope::sky::TrueSunPosition sunAt(double utc)
{
    const heliotrope::sky::Atmosphere air{heliotrope::rotctl::estimatedPressureHpa(kSite.height), 15, 0.5};
    return heliotrope::sky::trueSunTopocentric(utc, kSite, heliotrope::sky::Refraction::Radio, air);
}

}  // namespace

class TestSelfTracking : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void onTheSunAndBackAfterAPowerCut_data();
    void onTheSunAndBackAfterAPowerCut();
    void nightWaitsWhereTheSunWillRise();

private:
    std::unique_ptr<Program> startBridge(quint16 rotctldPort, double skyUtc, const QStringList& more = {});
    // The rotator's reading against the sun now: the larger of the two axes' misses, degrees.
    double missFromTheSun(quint16 rotctldPort, double offset);
    // Real milliseconds until the miss is within `within`, -1 when not within timeoutMs.
    qint64 onTheSunWithin(quint16 rotctldPort, double offset, double within, int timeoutMs);

    std::unique_ptr<TestTimeScale> m_time;
    StationHome m_home;
    quint16 m_bridgePort = 0;
};

void TestSelfTracking::initTestCase()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (libhamlib-utils) is not installed");
    QVERIFY(m_home.make());
    m_time = std::make_unique<TestTimeScale>(kTimeScale);
}

std::unique_ptr<Program> TestSelfTracking::startBridge(quint16 rotctldPort, double skyUtc, const QStringList& more)
{
    auto bridge = std::make_unique<Program>(QStringList{QStringLiteral("--track-sun"), QStringLiteral("--site"), kSiteText,
                                                        QStringLiteral("--clock-offset"), QString::number(m_time->offsetTo(skyUtc), 'f', 3),
                                                        QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rotctld"),
                                                        QStringLiteral("127.0.0.1:%1").arg(rotctldPort), QStringLiteral("--poll-ms"),
                                                        QStringLiteral("250"), QStringLiteral("--min-interval"), QStringLiteral("0.5"),
                                                        QStringLiteral("--threshold"), QStringLiteral("0.1")}
                                            + more);
    m_bridgePort = 0;
    if (bridge->waitFor(QStringLiteral("relaying them to rotctld"), 10000))
        m_bridgePort = bridgePortFrom(bridge->output);
    return bridge;
}

double TestSelfTracking::missFromTheSun(quint16 rotctldPort, double offset)
{
    RotctldSession session;
    if (!session.connectTo(rotctldPort))
        return 999;
    const QList<QByteArray> lines = session.ask("p").split('\n');
    if (lines.size() < 2)
        return 999;
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_time->utcNow() + offset);
    return std::max(std::abs(lines[0].toDouble() - sun.azimuth), std::abs(lines[1].toDouble() - sun.elevation));
}

qint64 TestSelfTracking::onTheSunWithin(quint16 rotctldPort, double offset, double within, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        if (missFromTheSun(rotctldPort, offset) <= within)
            return waited.elapsed();
        QTest::qWait(100);
    }
    return -1;
}

void TestSelfTracking::onTheSunAndBackAfterAPowerCut_data()
{
    QTest::addColumn<QString>("protocol");
    // How near each rotator stays while the sun moves on: it stops within
    // its reach of a command (half its step and the controllers' dead band
    // of 0.4°), and is told again once the sun has moved as far again.
    QTest::addColumn<double>("within");
    QTest::newRow("GS-232B, rotctld -m 603") << QStringLiteral("gs232b") << trackingBound(1.0);
    QTest::newRow("EasyComm II, rotctld -m 202") << QStringLiteral("easycomm2") << trackingBound(0.1);
    QTest::newRow("Rot2Prog, rotctld -m 901") << QStringLiteral("rot2prog") << trackingBound(0.5);
}

void TestSelfTracking::onTheSunAndBackAfterAPowerCut()
{
    QFETCH(QString, protocol);
    QFETCH(double, within);
    const QStringList rates{QStringLiteral("--az-rate"), QStringLiteral("6"), QStringLiteral("--el-rate"), QStringLiteral("6")};
    const double offset = m_time->offsetTo(kDayUtc);
    auto rotator = std::make_unique<SerialRotator>();
    QVERIFY(rotator->start(protocol, rates, kTimeScale));
    std::unique_ptr<Program> bridge = startBridge(rotator->port(), kDayUtc);
    QVERIFY2(m_bridgePort, qPrintable(bridge->output));
    QVERIFY2(onTheSunWithin(rotator->port(), offset, within, 20000) >= 0, qPrintable(bridge->output));
    QVERIFY(bridge->output.contains(QStringLiteral("The sun is up: tracking it")));
    // No --stow-position: a controller Hamlib cannot park is told of at start.
    QCOMPARE(bridge->output.contains(QStringLiteral("Can Park: N): give --stow-position")), protocol != QLatin1String("easycomm2"));
    // A window 20° off in azimuth: answered with the rotator's position and judged, not followed.
    QUdpSocket window;
    QVERIFY(window.bind(QHostAddress::LocalHost, 0));
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_time->utcNow() + offset);
    window.writeDatagram(QStringLiteral("0,%1,%2").arg(sun.azimuth + 20, 6, 'f', 2, QLatin1Char('0')).arg(sun.elevation, 6, 'f', 2).toLatin1(),
                         QHostAddress::LocalHost, m_bridgePort);
    QVERIFY2(bridge->waitFor(QStringLiteral("from the bridge's")) && window.waitForReadyRead(5000), qPrintable(bridge->output));
    // Kept on the sun as it moves on: three minutes of its sky.
    for (int check = 0; check < 12; ++check) {
        QTest::qWait(m_time->realMs(15));
        const double miss = missFromTheSun(rotator->port(), offset);
        QVERIFY2(miss <= within, qPrintable(QStringLiteral("%1° from the sun").arg(miss)));
    }
    Program status({QStringLiteral("--status")});
    QVERIFY2(status.waitFor(QStringLiteral("offsets in use")) && status.output.contains(QStringLiteral("tracking by itself: the real sun at")),
             qPrintable(status.output));
    Program resume({QStringLiteral("--resume")});
    QCOMPARE(resume.exitWithin(10000), 0);
    QVERIFY2(resume.output.contains(QStringLiteral("Already tracking the sun.")), qPrintable(resume.output));
    // A rotator standing on the sun between commands is not one that does not follow.
    QVERIFY2(!bridge->output.contains(QStringLiteral("does not follow")), qPrintable(bridge->output));

    // Every process ended at once, then started again by their units, rotctld first.
    bridge->process.kill();
    QVERIFY(bridge->process.waitForFinished(3000));
    rotator->stop();
    rotator = std::make_unique<SerialRotator>();
    QVERIFY(rotator->start(protocol, rates, kTimeScale));
    QElapsedTimer back;
    back.start();
    bridge = startBridge(rotator->port(), kDayUtc);
    const qint64 onTheSun = onTheSunWithin(rotator->port(), offset, within, 20000);
    QVERIFY2(onTheSun >= 0, qPrintable(bridge->output));
    qInfo("%s: back on the sun %.1f s (the station's clock) after rotctld's return", qPrintable(protocol),
          static_cast<double>(back.elapsed()) * kTimeScale / 1000.0);
}

void TestSelfTracking::nightWaitsWhereTheSunWillRise()
{
    SerialRotator rotator;
    QVERIFY(rotator.start(QStringLiteral("easycomm2"), {QStringLiteral("--az-rate"), QStringLiteral("6")}, kTimeScale));
    std::unique_ptr<Program> bridge = startBridge(rotator.port(), kNightUtc);
    QVERIFY2(bridge->waitFor(QStringLiteral("waiting at the next sunrise's azimuth")), qPrintable(bridge->output));
    // Where the sun climbs through the horizon next, found here minute by minute, then to the second.
    double utc = kNightUtc;
    while (sunAt(utc).elevation <= 0 && utc < kNightUtc + 86400)
        utc += 60;
    for (double step = 30; step >= 1; step /= 2)
        utc += sunAt(utc - step).elevation > 0 ? -step : 0;
    const double sunriseAzimuth = sunAt(utc).azimuth;
    const auto waiting = [&](const QList<QByteArray>& reading) {
        return reading.size() >= 2 && std::abs(reading[0].toDouble() - sunriseAzimuth) <= kEasyCommReach
            && std::abs(reading[1].toDouble()) <= kEasyCommReach;
    };
    RotctldSession session;
    QVERIFY(session.connectTo(rotator.port()));
    QElapsedTimer waited;
    waited.start();
    QList<QByteArray> lines;
    while (waited.elapsed() < 20000) {
        lines = session.ask("p").split('\n');
        if (waiting(lines))
            break;
        QTest::qWait(100);
    }
    QVERIFY2(waiting(lines),
             qPrintable(QStringLiteral("rotator at %1, sunrise azimuth %2").arg(QString::fromLatin1(lines.join(' '))).arg(sunriseAzimuth)));
    Program status({QStringLiteral("--status")});
    QVERIFY2(status.waitFor(QStringLiteral("offsets in use")) && status.output.contains(QStringLiteral("night: waiting at")),
             qPrintable(status.output));
}

QTEST_GUILESS_MAIN(TestSelfTracking)
#include "tst_selftracking.moc"
