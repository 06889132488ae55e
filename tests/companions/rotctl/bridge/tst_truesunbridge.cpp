// heliotrope-rotctl in true-sun mode against the real rotctld of Hamlib (dummy
// rotator, model 1, on a free loopback port), with the bridge's clock standing
// at a chosen instant: a day message from the window makes the rotator point
// at the real sun, not at the window's set-point; a night message parks it as
// before; no message, no command; a site 10° off trips the guard, said once,
// and the window's set-point is commanded; a site that cannot be used stops
// the program before it reaches rotctld.

#include "RotctldProcess.h"
#include "WindowSocket.h"

#include "companions/rotctl/bridge/Bridge.h"
#include "solar/JstTime.h"
#include "solar/NumberFormat.h"
#include "solar/SunPosition.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <cmath>

using namespace heliotrope::companions;
using namespace heliotrope::hamlib;
using namespace heliotrope::measure;
using namespace heliotrope::rotator;
using namespace heliotrope::rotctl;

class TestTrueSunBridge : public QObject {
    Q_OBJECT

private slots:
    void init();
    void dayPointsAtTheRealSunNightParksAndNoMessageNoCommand();
    void siteTenDegreesOffTripsTheGuardOnce();
    void unusableSiteStopsBeforeTheRotator_data();
    void unusableSiteStopsBeforeTheRotator();
    void lookAtTheSiteNow();
    void earlierLogGoesOnWithItsSevenColumns();
};

namespace {

constexpr int kWaitMs = 10000;
const heliotrope::sky::Site kHachioji{35.64, 139.3, 0};
// 2026-11-25 09:00 JST: the sun at about azimuth 140°, elevation 22°, and the
// window's model about 1.5° from it.
constexpr qint64 kMorningMs = 1795564800000;
// The dummy turns at a few degrees a second: the rotator's zero is put 110°
// east of north, so that the sun and the night's parking lie near it.
constexpr double kAzimuthOffset = -110;

// What the window sends at `utcMs` for a site: its own arithmetic and formats.
QByteArray windowMessage(qint64 utcMs, double latitude, double longitude)
{
    const solar::ClockReading jst = solar::jstFromUnixSeconds(utcMs / 1000);
    const double dayNumber = solar::CALDAY(static_cast<std::int16_t>(jst.month), static_cast<std::int16_t>(jst.day));
    const double ut = (jst.hour - 9) + jst.minute / 60.0 + jst.second / 3600.0;
    const solar::SunPosition sun = solar::CALAZEL(dayNumber, ut, latitude, longitude);
    return QByteArray("0,") + QByteArray::fromStdString(solar::formatAzimuth(sun.azimuthDeg).value()) + ','
        + QByteArray::fromStdString(solar::formatDayElevation(sun.elevationDeg).value());
}

SetPoint messageSetPoint(const QByteArray& message)
{
    const QList<QByteArray> fields = message.split(',');
    return SetPoint{fields.at(1).trimmed().toDouble(), fields.at(2).trimmed().toDouble()};
}

BridgeOptions trueSunOptions(quint16 rotctldPort, const heliotrope::sky::Site& site)
{
    BridgeOptions options;
    options.port = 0;
    options.rotctldPort = rotctldPort;
    options.pollIntervalMs = 250;
    options.minIntervalSeconds = 0.2;
    options.azimuthOffset = kAzimuthOffset;
    options.trueSun.enabled = true;
    options.trueSun.site = site;
    return options;
}

// The window's latest report as a set-point.
std::optional<SetPoint> lastSetPoint(const WindowSocket& window)
{
    if (window.reports.isEmpty())
        return std::nullopt;
    return messageSetPoint(window.reports.last());
}

QList<QByteArray> pointings(const QSignalSpy& written)
{
    QList<QByteArray> found;
    for (const QList<QVariant>& call : written) {
        const QByteArray line = call.first().toByteArray();
        if (line.startsWith("P "))
            found << line;
    }
    return found;
}

QByteArray pointing(double azimuth, double elevation)
{
    return "P " + QByteArray::number(azimuth, 'f', 2) + ' ' + QByteArray::number(elevation, 'f', 2);
}

bool near(const std::optional<SetPoint>& a, const SetPoint& b, double within)
{
    return a && std::abs(a->azimuth - b.azimuth) <= within && std::abs(a->elevation - b.elevation) <= within;
}

int linesContaining(const QSignalSpy& notices, const QString& text)
{
    int count = 0;
    for (const QList<QVariant>& call : notices)
        count += call.first().toString().contains(text) ? 1 : 0;
    return count;
}

QString describe(const std::optional<SetPoint>& p)
{
    return p ? QStringLiteral("%1, %2").arg(p->azimuth).arg(p->elevation) : QStringLiteral("none");
}

}  // namespace

void TestTrueSunBridge::init()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld not found: install Debian's libhamlib-utils to run these tests");
}

void TestTrueSunBridge::dayPointsAtTheRealSunNightParksAndNoMessageNoCommand()
{
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    QTemporaryDir dir;
    BridgeOptions options = trueSunOptions(rotctld.port(), kHachioji);
    options.logPath = dir.filePath(QStringLiteral("tracking.csv"));
    qint64 now = kMorningMs;
    Bridge bridge(options);
    bridge.setUtcClock([&now] { return now; });
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QSignalSpy notices(&bridge, &Bridge::notice);
    QVERIFY(bridge.start(nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);

    WindowSocket window;
    const QByteArray message = windowMessage(now, kHachioji.latitude, kHachioji.longitude);
    const SetPoint set = messageSetPoint(message);
    // The sun as the bridge points at it by default: refracted for radio.
    const heliotrope::sky::TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(
        static_cast<double>(now) / 1000.0, kHachioji, options.trueSun.refraction, options.trueSun.atmosphere);
    const double gap = heliotrope::sky::skySeparation(set.azimuth, set.elevation, sun.azimuth, sun.elevation);
    qInfo("window sends %s; real sun az %.3f el %.3f; %.2f deg apart", message.constData(), sun.azimuth, sun.elevation, gap);
    QVERIFY2(gap > 1.0 && gap < 3.0, qPrintable(QString::number(gap)));

    // Day: the real sun goes to the rotator, with the offset applied as ever.
    window.send(bridge.localPort(), message);
    QTRY_COMPARE_WITH_TIMEOUT(pointings(written).value(0), pointing(sun.azimuth + kAzimuthOffset, sun.elevation), kWaitMs);
    const SetPoint realSun{sun.azimuth, sun.elevation};
    QTRY_VERIFY2_WITH_TIMEOUT(near(lastSetPoint(window), realSun, 0.02), qPrintable(describe(lastSetPoint(window))), kWaitMs);
    QVERIFY(!near(lastSetPoint(window), set, 0.5));  // not the window's set-point
    QCOMPARE(linesContaining(notices, QStringLiteral("本当の太陽モード")), 1);
    QCOMPARE(linesContaining(notices, QStringLiteral("離れています")), 0);

    // The log: the old columns first, then the real sun and the two errors on the sky.
    QFile log(options.logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = log.readAll().split('\n');
    QCOMPARE(rows.first(), QByteArray("jst,set_az,set_el,az,el,error_az,error_el,true_az,true_el,set_minus_true,"
                                      "commanded_minus_reported"));
    const QList<QByteArray> last = rows.at(rows.size() - 2).split(',');
    QCOMPARE(last.size(), 11);
    QCOMPARE(last.at(1).toDouble(), set.azimuth);
    QCOMPARE(last.at(7), QByteArray::number(sun.azimuth, 'f', 2));
    QCOMPARE(last.at(8), QByteArray::number(sun.elevation, 'f', 2));
    QVERIFY2(std::abs(last.at(9).toDouble() - gap) < 0.011, last.at(9).constData());
    QCOMPARE(last.at(10), QByteArray("0.00"));

    // The window stops: no more messages, and however far the sun moves on
    // (five minutes, 1.2°), the rotator is not commanded.
    const qsizetype sent = pointings(written).size();
    now += 5 * 60 * 1000;
    QTest::qWait(1500);
    QCOMPARE(pointings(written).size(), sent);
    // The next message is the trigger again.
    window.send(bridge.localPort(), windowMessage(now, kHachioji.latitude, kHachioji.longitude));
    const heliotrope::sky::TrueSunPosition later = heliotrope::sky::trueSunTopocentric(
        static_cast<double>(now) / 1000.0, kHachioji, options.trueSun.refraction, options.trueSun.atmosphere);
    QTRY_COMPARE_WITH_TIMEOUT(pointings(written).value(sent), pointing(later.azimuth + kAzimuthOffset, later.elevation),
                              kWaitMs);

    // Night: the parking set-point passes through untouched.
    window.send(bridge.localPort(), "0,118.00,.000");
    QTRY_COMPARE_WITH_TIMEOUT(pointings(written).last(), pointing(118 + kAzimuthOffset, 0), kWaitMs);
    QTRY_VERIFY2_WITH_TIMEOUT(near(lastSetPoint(window), SetPoint{118, 0}, 0.001), qPrintable(describe(lastSetPoint(window))), kWaitMs);
}

void TestTrueSunBridge::siteTenDegreesOffTripsTheGuardOnce()
{
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    // The operator typed 45.64 for 35.64.
    const heliotrope::sky::Site wrong{45.64, 139.3, 0};
    qint64 now = kMorningMs;
    Bridge bridge(trueSunOptions(rotctld.port(), wrong));
    bridge.setUtcClock([&now] { return now; });
    QSignalSpy written(&bridge.rotctld(), &RotctldClient::commandWritten);
    QSignalSpy notices(&bridge, &Bridge::notice);
    QVERIFY(bridge.start(nullptr));
    QTRY_VERIFY_WITH_TIMEOUT(bridge.rotctld().isReady(), kWaitMs);

    WindowSocket window;
    SetPoint set;
    for (int i = 0; i < 6; ++i) {
        const QByteArray message = windowMessage(now, kHachioji.latitude, kHachioji.longitude);
        set = messageSetPoint(message);
        window.send(bridge.localPort(), message);
        QTest::qWait(150);
        now += 750;
    }
    // Said once, with both positions and the gap; the window's set-point commanded.
    QTRY_COMPARE_WITH_TIMEOUT(linesContaining(notices, QStringLiteral("より離れています")), 1, kWaitMs);
    QCOMPARE(linesContaining(notices, QStringLiteral("more than 3.00° apart")), 1);
    QVERIFY(pointings(written).value(0).startsWith(pointing(set.azimuth + kAzimuthOffset, set.elevation).left(4)));
    QTRY_VERIFY2_WITH_TIMEOUT(near(lastSetPoint(window), set, 0.02), qPrintable(describe(lastSetPoint(window))), kWaitMs);
    for (const QByteArray& p : pointings(written)) {
        const QList<QByteArray> f = p.split(' ');
        QVERIFY2(std::abs(f.at(1).toDouble() - (set.azimuth + kAzimuthOffset)) < 0.1
                     && std::abs(f.at(2).toDouble() - set.elevation) < 0.1,
                 p.constData());
    }
    QCOMPARE(linesContaining(notices, QStringLiteral("再び合いました")), 0);
}

void TestTrueSunBridge::unusableSiteStopsBeforeTheRotator_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("latitude beyond 90") << QStringList{"--true-sun", "--site", "95,139.3"} << "latitude";
    QTest::newRow("longitude beyond 180") << QStringList{"--true-sun", "--site", "35.6,-181"} << "longitude";
    QTest::newRow("not a number") << QStringList{"--true-sun", "--site", "35.6,東経139"} << "longitude";
    QTest::newRow("height beyond 9000 m") << QStringList{"--true-sun", "--site", "35.6,139.3,9001"} << "height";
    QTest::newRow("height below -500 m") << QStringList{"--true-sun", "--site", "35.6,139.3,-501"} << "height";
    QTest::newRow("no site") << QStringList{"--true-sun"} << "--site";
}

void TestTrueSunBridge::unusableSiteStopsBeforeTheRotator()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    RotctldProcess rotctld;
    QVERIFY(rotctld.start(RotctldProcess::freePort()));
    QProcess bridge;
    bridge.start(QStringLiteral(HELIOTROPE_ROTCTL_PATH),
                 arguments + QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:%1").arg(rotctld.port())});
    QVERIFY(bridge.waitForFinished(5000));
    QCOMPARE(bridge.exitStatus(), QProcess::NormalExit);
    QCOMPARE(bridge.exitCode(), 2);
    const QString problem = QString::fromUtf8(bridge.readAllStandardError());
    QVERIFY2(problem.contains(QLatin1String("--site")) && problem.contains(named), qPrintable(problem));
    QVERIFY2(problem.contains(QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}\\x{4e00}-\\x{9fff}]"))),
             qPrintable(problem));  // and in Japanese
    QVERIFY(bridge.readAllStandardOutput().isEmpty());

    // The rotator has not moved: rotctld's dummy still stands at 0, 0.
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, rotctld.port());
    QVERIFY(probe.waitForConnected(3000));
    probe.write("p\n");
    QByteArray answer;
    while (answer.count('\n') < 2 && probe.waitForReadyRead(3000))
        answer += probe.readAll();
    const QList<QByteArray> lines = answer.trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines.at(0).toDouble(), 0.0);
    QCOMPARE(lines.at(1).toDouble(), 0.0);
}

void TestTrueSunBridge::lookAtTheSiteNow()
{
    QProcess look;
    look.start(QStringLiteral(HELIOTROPE_ROTCTL_PATH),
               {QStringLiteral("--sun-now"), QStringLiteral("--site"), QStringLiteral("35.64,139.3,100")});
    QVERIFY(look.waitForFinished(5000));
    QCOMPARE(look.exitCode(), 0);
    const QString text = QString::fromUtf8(look.readAllStandardOutput());
    for (const char* part : {"本当の太陽（ERFA）", "real sun (ERFA)", "ウィンドウのモデル", "window's model", "天球上", "on the sky"})
        QVERIFY2(text.contains(QString::fromUtf8(part)), qPrintable(text));
    // Nothing but the look: no rotctld is asked, no socket is left open.
    QVERIFY(!text.contains(QStringLiteral("rotctld")));
}

void TestTrueSunBridge::earlierLogGoesOnWithItsSevenColumns()
{
    // A log begun by an earlier version: a reader of its seven columns must
    // not meet rows of eleven.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tracking.csv"));
    {
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("jst,set_az,set_el,az,el,error_az,error_el\n2026-11-24 09:00:00.000,141.78,22.38,141.78,22.38,0.00,0.00\n");
    }
    TrackingColumns later;
    later.trueSun = SetPoint{141.73, 23.45};
    later.windowMinusTrue = 1.07;
    later.commanded = RotatorPosition{141.73, 23.45};
    {
        TrackingLog log;
        QVERIFY(log.open(path, nullptr));
        QVERIFY(log.firstColumnsOnly());
        QVERIFY(log.write(kMorningMs, SetPoint{141.78, 22.38}, RotatorPosition{141.73, 23.45}, later));
    }
    QFile read(path);
    QVERIFY(read.open(QIODevice::ReadOnly));
    const QList<QByteArray> rows = read.readAll().trimmed().split('\n');
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.last(), QByteArray("2026-11-25 09:00:00.000,141.78,22.38,141.73,23.45,-0.05,1.07"));

    // A new log has all eleven.
    const QString fresh = dir.filePath(QStringLiteral("new.csv"));
    TrackingLog log;
    QVERIFY(log.open(fresh, nullptr));
    QVERIFY(!log.firstColumnsOnly());
    QVERIFY(log.write(kMorningMs, SetPoint{141.78, 22.38}, RotatorPosition{141.73, 23.95}, later));
    QFile freshRead(fresh);
    QVERIFY(freshRead.open(QIODevice::ReadOnly));
    QCOMPARE(freshRead.readAll().trimmed().split('\n').last(),
             QByteArray("2026-11-25 09:00:00.000,141.78,22.38,141.73,23.95,-0.05,1.57,141.73,23.45,1.07,0.50"));
}

QTEST_GUILESS_MAIN(TestTrueSunBridge)
#include "tst_truesunbridge.moc"
