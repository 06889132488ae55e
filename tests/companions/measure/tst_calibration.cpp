// heliotrope-rotctl's calibration on the sun, end to end, as an operator runs
// it: the real rotctld driving a rotator that slews at 6° a second on both
// axes and stops on its target (heliotrope-sim as an EasyComm II controller
// with no dead band, so tenths in its readings), the simulated radiometer
// read as a command (decimals) or through rigctld's protocol (whole dB), and
// the bridge program itself. Every P the bridge sends goes through a
// recording relay in front of rotctld, so what reached the rotator is checked
// from rotctld's side.
//
// The sky is fixed by shifting every program's clock to 2026-06-21 00:00 UTC
// at Sydney (sun at azimuth 30°, elevation 26°, ten in the morning), so the
// test does not depend on the real sun being up; and every program runs on
// the companions' time, kTimeScale times the wall clock's pace (TestTimeScale):
// slews, dwells, settling and tracking's intervals keep their values in it;
// rotctld's timeouts and a process per power reading keep their real time.

#include "SerialRotator.h"
#include "TestTimeScale.h"

#include "companions/record/StationRecord.h"
#include "companions/sky/TrueSun.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>
#include <QUdpSocket>

#include <cmath>
#include <csignal>
#include <memory>
#include <optional>

namespace {

const QString kSite = QStringLiteral("-33.87,151.21,50");
// 2026-06-21 00:00:00 UTC.
constexpr double kSkyUtc = 1782000000.0;
constexpr double kInjectedAzimuthError = 0.40;
constexpr double kInjectedElevationError = -0.30;
constexpr double kBeamwidth = 1.7;
constexpr double kTimeScale = 30;
// The rotator: 6° a second on each axis at once, as Hamlib's dummy rotator.
constexpr double kSlewRate = 6.0;
constexpr double kDwellSeconds = 0.3;
// A reading is a process, which takes its real time at any pace of the
// clock: a dwell holds one reading or two where it held six at the wall
// clock's pace, so each has the noise of six averaged (0.1 dB / sqrt 6).

QString rotctlProgram() { return QStringLiteral(HELIOTROPE_ROTCTL_PATH); }
QString radiometerProgram() { return QStringLiteral(HELIOTROPE_RADIOMETER_PATH); }

// Relays a client to rotctld and keeps every P the client sent, with when.
class RecordingRelay : public QObject {
public:
    struct Pointing {
        qint64 atMs;
        double azimuth;
        double elevation;
    };
    QTcpServer server;
    QList<Pointing> pointings;
    QElapsedTimer clock;

    bool start(quint16 rotctldPort)
    {
        clock.start();
        connect(&server, &QTcpServer::newConnection, this, [this, rotctldPort] {
            while (QTcpSocket* client = server.nextPendingConnection()) {
                auto* upstream = new QTcpSocket(client);
                upstream->connectToHost(QHostAddress::LocalHost, rotctldPort);
                auto* pending = new QByteArray;
                connect(client, &QObject::destroyed, [pending] { delete pending; });
                connect(client, &QTcpSocket::readyRead, client, [this, client, upstream, pending] {
                    const QByteArray data = client->readAll();
                    *pending += data;
                    qsizetype end;
                    while ((end = pending->indexOf('\n')) >= 0) {
                        const QByteArray line = pending->left(end).trimmed();
                        pending->remove(0, end + 1);
                        if (line.startsWith("P ")) {
                            const QList<QByteArray> words = line.split(' ');
                            if (words.size() >= 3)
                                pointings.append({clock.elapsed(), words[1].toDouble(), words[2].toDouble()});
                        }
                    }
                    upstream->write(data);
                });
                connect(upstream, &QTcpSocket::readyRead, client, [client, upstream] { client->write(upstream->readAll()); });
                connect(client, &QTcpSocket::disconnected, client, &QObject::deleteLater);
                connect(upstream, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
            }
        });
        return server.listen(QHostAddress::LocalHost, 0);
    }
};

// One heliotrope-rotctl process and what it printed.
struct BridgeProcess {
    QProcess process;
    QString output;
    quint16 port = 0;
    QElapsedTimer clock;

    ~BridgeProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    bool waitFor(const QString& text, int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (!output.contains(text) && waited.elapsed() < timeoutMs) {
            if (process.state() == QProcess::NotRunning && !process.bytesAvailable())
                break;
            QTest::qWait(20);
        }
        return output.contains(text);
    }
};

struct SetPointSky {
    double azimuth = 0;
    double elevation = 0;
};

struct Figures {
    QString name;
    double azimuthOffset = 0;
    double elevationOffset = 0;
    double crossElevationWidth = 0;
    double elevationWidth = 0;
    double runSeconds = 0;
    double floorSeconds = 0;
    std::optional<double> elevationCutCrossElevation;  // where the elevation cut was planned, across
    bool backOnSetPoint = false;
};

}  // namespace

class TestCalibration : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void bothPatternsFindTheInjectedErrorForThreeSeeds();
    void wholeDecibelsThroughRigctldStillFindIt();
    void savedOffsetsAreAppliedOnTheNextStart();
    void deadPowerSourceEndsTheRunBeforeTheFirstSlew();
    void peakOutsideTheSpanIsRefusedAndNothingSaved();
    void sunTooLowOrPatternBeyondALimitIsNotStarted();
    void ctrlCEndsTheRunAndTrackingResumes();
    void everyRepeatsTheScanUntilTheGivenTime();
    void anUnsynchronisedClockShowsTheOffsetsAndSavesNone();
    void cleanupTestCase();

private:
    double skyNow() const { return m_time->utcNow() + m_clockOffset; }
    heliotrope::sky::TrueSunPosition sunNow(double secondsAhead = 0) const
    {
        return heliotrope::sky::trueSunTopocentric(skyNow() + secondsAhead, {-33.87, 151.21, 50}, heliotrope::sky::Refraction::Radio);
    }
    QString radiometerCommand(int seed, const QString& error = QStringLiteral("0.4,-0.3")) const;
    std::unique_ptr<BridgeProcess> startBridge(const QStringList& arguments, const QString& configDir,
                                               std::optional<double> clockOffset = std::nullopt);
    // A set-point 2° east and 1° above the sun, as the window would send it.
    void sendSetPoint(const BridgeProcess& bridge);
    // Whether a P for the set-point (plus offsets) reached rotctld after atMs.
    bool trackedAfter(qint64 atMs, double azimuthOffset = 0, double elevationOffset = 0, int timeoutMs = 8000);
    // No P reached rotctld after atMs (up to now) other than towards the set-point.
    bool onlyTrackingAfter(qint64 atMs) const;
    QString newConfigDir();
    // Every calibration the bridges of this test kept in the station's record, oldest first.
    std::vector<heliotrope::record::RecordedCalibration> recorded() const;
    Figures runAndMeasure(const QString& name, const QStringList& arguments, const QString& configDir);

    std::unique_ptr<TestTimeScale> m_time;
    SerialRotator m_rotator;
    RecordingRelay m_relay;
    double m_clockOffset = 0;
    SetPointSky m_setPoint;
    QUdpSocket m_window;
    QString m_savedConfig;  // a config directory holding a calibration
    QTemporaryDir m_work;
    QString m_clockState = QStringLiteral("synchronised");  // as the bridge is told to read the system clock
    int m_configs = 0;
    QList<Figures> m_figures;
};

void TestCalibration::initTestCase()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (libhamlib-utils) is not installed");
    QVERIFY(m_work.isValid());
    // The sky's time is the programs' own: what they measure is the station's, not a rehearsal.
    m_time = std::make_unique<TestTimeScale>(kTimeScale, kSkyUtc);
    const QString rate = QString::number(kSlewRate);
    QVERIFY(m_rotator.start(QStringLiteral("easycomm2"),
                            {QStringLiteral("--az-rate"), rate, QStringLiteral("--el-rate"), rate, QStringLiteral("--deadband"), QStringLiteral("0")},
                            kTimeScale));
    QVERIFY(m_relay.start(m_rotator.port()));
    QVERIFY(m_window.bind(QHostAddress::LocalHost, 0));
    m_clockOffset = m_time->offsetTo(kSkyUtc);

    // The rotator starts at 0, 0: bring it to the sun once (5 s), not in every run.
    const heliotrope::sky::TrueSunPosition sun = sunNow();
    QVERIFY(sun.elevation > 20 && sun.azimuth > 20 && sun.azimuth < 40);
    QTcpSocket direct;
    direct.connectToHost(QHostAddress::LocalHost, m_rotator.port());
    QVERIFY(direct.waitForConnected(2000));
    direct.write(QStringLiteral("P %1 %2\n").arg(sun.azimuth, 0, 'f', 2).arg(sun.elevation, 0, 'f', 2).toLatin1());
    QVERIFY(direct.waitForReadyRead(2000));
    direct.readAll();
    QElapsedTimer waited;
    waited.start();
    bool there = false;
    while (!there && waited.elapsed() < 20000) {
        direct.write("p\n");
        QByteArray answer;
        while (answer.count('\n') < 2 && direct.waitForReadyRead(1000))
            answer += direct.readAll();
        const QList<QByteArray> lines = answer.split('\n');
        there = lines.size() >= 2 && std::abs(lines[0].toDouble() - sun.azimuth) < 0.1
            && std::abs(lines[1].toDouble() - sun.elevation) < 0.1;
        QTest::qWait(50);
    }
    QVERIFY(there);
}

QString TestCalibration::radiometerCommand(int seed, const QString& error) const
{
    return QStringLiteral("%1 --once --site %2 --rotctld 127.0.0.1:%3 --error %4 --beamwidth %5 --peak 10 --baseline -30 "
                          "--noise 0.04 --seed %6 --clock-offset %7")
        .arg(radiometerProgram(), kSite)
        .arg(m_rotator.port())
        .arg(error)
        .arg(kBeamwidth)
        .arg(seed)
        .arg(m_clockOffset, 0, 'f', 3);
}

QString TestCalibration::newConfigDir()
{
    const QString path = m_work.filePath(QStringLiteral("config%1").arg(++m_configs));
    QDir().mkpath(path);
    return path;
}

std::vector<heliotrope::record::RecordedCalibration> TestCalibration::recorded() const
{
    heliotrope::record::StationRecord record(m_work.filePath(QStringLiteral("data/heliotrope/station.sqlite")));
    std::vector<heliotrope::record::RecordedCalibration> found;
    if (!record.open())
        return found;
    for (const heliotrope::record::StationRun& run : record.history()) {
        if (const auto* calibration = std::get_if<heliotrope::record::RecordedCalibration>(&run))
            found.push_back(*calibration);
    }
    return found;
}

std::unique_ptr<BridgeProcess> TestCalibration::startBridge(const QStringList& arguments, const QString& configDir,
                                                            std::optional<double> clockOffset)
{
    auto bridge = std::make_unique<BridgeProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configDir);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), m_work.filePath(QStringLiteral("data")));
    environment.insert(QStringLiteral("HELIOTROPE_CLOCK_STATE"), m_clockState);
    bridge->process.setProcessEnvironment(environment);
    bridge->process.setProcessChannelMode(QProcess::MergedChannels);
    bridge->process.setWorkingDirectory(m_work.path());
    BridgeProcess* raw = bridge.get();
    QObject::connect(&bridge->process, &QProcess::readyRead, &bridge->process,
                     [raw] { raw->output += QString::fromUtf8(raw->process.readAll()); });
    QStringList all{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rotctld"),
                    QStringLiteral("127.0.0.1:%1").arg(m_relay.server.serverPort()), QStringLiteral("--poll-ms"),
                    QStringLiteral("250"), QStringLiteral("--min-interval"), QStringLiteral("0.5"), QStringLiteral("--threshold"),
                    QStringLiteral("0.1")};
    // The site and the sun's clock belong to a run on the sun; plain tracking refuses a site it would not use.
    if (arguments.contains(QStringLiteral("--calibrate"))) {
        all << QStringLiteral("--site") << kSite << QStringLiteral("--clock-offset")
            << QString::number(clockOffset.value_or(m_clockOffset), 'f', 3);
    }
    bridge->clock.start();
    bridge->process.start(rotctlProgram(), all + arguments);
    static const QRegularExpression listening(QStringLiteral("127\\.0\\.0\\.1:(\\d+) で指向データを待ち"));
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 10000 && bridge->process.state() != QProcess::NotRunning) {
        const QRegularExpressionMatch match = listening.match(bridge->output);
        if (match.hasMatch()) {
            bridge->port = static_cast<quint16>(match.captured(1).toUInt());
            break;
        }
        QTest::qWait(10);
    }
    return bridge;
}

void TestCalibration::sendSetPoint(const BridgeProcess& bridge)
{
    const heliotrope::sky::TrueSunPosition sun = sunNow();
    m_setPoint = {sun.azimuth + 2, sun.elevation + 1};
    const QByteArray message = QStringLiteral("0,%1,%2").arg(m_setPoint.azimuth, 6, 'f', 2, QLatin1Char('0')).arg(m_setPoint.elevation, 6, 'f', 2).toLatin1();
    m_window.writeDatagram(message, QHostAddress::LocalHost, bridge.port);
}

bool TestCalibration::trackedAfter(qint64 atMs, double azimuthOffset, double elevationOffset, int timeoutMs)
{
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < timeoutMs) {
        for (const RecordingRelay::Pointing& p : m_relay.pointings) {
            if (p.atMs >= atMs && std::abs(p.azimuth - (m_setPoint.azimuth + azimuthOffset)) < 0.015
                && std::abs(p.elevation - (m_setPoint.elevation + elevationOffset)) < 0.015)
                return true;
        }
        QTest::qWait(50);
    }
    return false;
}

bool TestCalibration::onlyTrackingAfter(qint64 atMs) const
{
    for (const RecordingRelay::Pointing& p : m_relay.pointings) {
        if (p.atMs >= atMs
            && (std::abs(p.azimuth - m_setPoint.azimuth) > 0.02 || std::abs(p.elevation - m_setPoint.elevation) > 0.02))
            return false;
    }
    return true;
}

Figures TestCalibration::runAndMeasure(const QString& name, const QStringList& arguments, const QString& configDir)
{
    Figures figures;
    figures.name = name;
    const QString base = m_work.filePath(name);
    auto bridge = startBridge(QStringList(arguments) << QStringLiteral("--calibration-output") << base, configDir);
    if (!bridge->port) {
        qWarning().noquote() << bridge->output;
        return figures;
    }
    sendSetPoint(*bridge);
    const qint64 startedMs = m_relay.clock.elapsed();
    if (!bridge->waitFor(QStringLiteral("Back to tracking"), 90000)) {
        qWarning().noquote() << bridge->output;
        return figures;
    }
    const qint64 endedMs = m_relay.clock.elapsed();
    // Back on the window's set-point once the run is over.
    QSettings saved(configDir + QStringLiteral("/heliotrope/heliotrope-rotctl.conf"), QSettings::IniFormat);
    figures.azimuthOffset = saved.value(QStringLiteral("calibration/azimuthOffset"), std::nan("")).toDouble();
    figures.elevationOffset = saved.value(QStringLiteral("calibration/elevationOffset"), std::nan("")).toDouble();
    static const QRegularExpression widths(QStringLiteral("Beamwidth \\(FWHM\\): cross-elevation ([0-9.]+)° ± [0-9.]+°, elevation ([0-9.]+)°"));
    const QRegularExpressionMatch match = widths.match(bridge->output);
    figures.crossElevationWidth = match.hasMatch() ? match.captured(1).toDouble() : std::nan("");
    figures.elevationWidth = match.hasMatch() ? match.captured(2).toDouble() : std::nan("");
    static const QRegularExpression measured(QStringLiteral("Calibration measured in ([0-9.]+) s"));
    figures.runSeconds = measured.match(bridge->output).captured(1).toDouble();

    // The physical floor: each slew at the rotator's rate, both axes at once,
    // and the dwell at every point; the first slew (from tracking) included.
    QFile csv(base + QStringLiteral(".csv"));
    if (csv.open(QIODevice::ReadOnly)) {
        csv.readLine();
        std::optional<std::pair<double, double>> previous;
        for (const RecordingRelay::Pointing& p : m_relay.pointings) {
            if (p.atMs < startedMs)
                previous = std::make_pair(p.azimuth, p.elevation);
        }
        while (!csv.atEnd()) {
            const QList<QByteArray> fields = csv.readLine().trimmed().split(',');
            if (fields.size() < 14 || fields[3] == "1")
                continue;
            if (fields[0] == "el")
                figures.elevationCutCrossElevation = fields[1].toDouble();
            const double az = fields[12].toDouble();
            const double el = fields[13].toDouble();
            if (previous)
                figures.floorSeconds += std::max(std::abs(az - previous->first), std::abs(el - previous->second)) / kSlewRate;
            figures.floorSeconds += kDwellSeconds;
            previous = std::make_pair(az, el);
        }
    }
    figures.backOnSetPoint = trackedAfter(endedMs - 1000);
    m_savedConfig = configDir;
    return figures;
}

void TestCalibration::bothPatternsFindTheInjectedErrorForThreeSeeds()
{
    for (const QString& pattern : {QStringLiteral("cross"), QStringLiteral("five")}) {
        for (int seed = 1; seed <= 3; ++seed) {
            const QString name = QStringLiteral("%1-seed%2").arg(pattern).arg(seed);
            const Figures f = runAndMeasure(
                name,
                {QStringLiteral("--calibrate"), pattern, QStringLiteral("--beamwidth"), QString::number(kBeamwidth),
                 QStringLiteral("--dwell"), QString::number(kDwellSeconds), QStringLiteral("--power"),
                 QStringLiteral("command:") + radiometerCommand(seed)},
                newConfigDir());
            m_figures << f;
            // Within 0.05 beamwidth on the sky: the azimuth error counts times cos el.
            const double cosine = std::cos(sunNow().elevation * 3.14159265358979 / 180.0);
            const double tolerance = 0.05 * kBeamwidth;
            QVERIFY2(std::abs(f.azimuthOffset - kInjectedAzimuthError) * cosine < tolerance
                         && std::abs(f.elevationOffset - kInjectedElevationError) < tolerance,
                     qPrintable(QStringLiteral("%1: offsets %2, %3").arg(name).arg(f.azimuthOffset).arg(f.elevationOffset)));
            QVERIFY2(std::abs(f.crossElevationWidth / kBeamwidth - 1) < 0.1 && std::abs(f.elevationWidth / kBeamwidth - 1) < 0.1,
                     qPrintable(QStringLiteral("%1: widths %2, %3").arg(name).arg(f.crossElevationWidth).arg(f.elevationWidth)));
            // The elevation cut runs through the first cut's peak, not through the computed sun.
            if (pattern == QLatin1String("cross"))
                QVERIFY2(f.elevationCutCrossElevation
                             && std::abs(std::abs(*f.elevationCutCrossElevation) - std::abs(kInjectedAzimuthError) * cosine) < tolerance,
                         qPrintable(QStringLiteral("%1: elevation cut at %2° across").arg(name).arg(f.elevationCutCrossElevation.value_or(-1))));
            QVERIFY2(f.backOnSetPoint, qPrintable(name));
            QVERIFY2(f.runSeconds >= f.floorSeconds * 0.95, qPrintable(QStringLiteral("%1: %2 s below its floor %3 s").arg(name).arg(f.runSeconds).arg(f.floorSeconds)));
        }
    }
    // Each run in the station's record: its offsets as saved, and every point
    // with where the rotator read and where the sun was.
    const auto kept = recorded();
    QCOMPARE(kept.size(), std::size_t{6});
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const auto& c = kept[i];
        QCOMPARE(c.pattern, i < 3 ? QStringLiteral("cross") : QStringLiteral("five"));
        QVERIFY(c.found && c.saved && c.reason.isEmpty());
        QCOMPARE(c.points.size(), std::size_t{i < 3 ? 14u : 7u});
        QVERIFY(c.azimuthOffset && std::abs(c.azimuthOffset->value - m_figures[static_cast<qsizetype>(i)].azimuthOffset) < 1e-9
                && c.azimuthOffset->error > 0);
        QVERIFY(c.crossElevationBeamwidth && c.elevationBeamwidth && c.yDecibels);
        QCOMPARE(c.refraction, QStringLiteral("radio"));
        QVERIFY(!c.programVersion.isEmpty() && std::abs(c.site.latitude + 33.87) < 1e-9);
        for (const auto& p : c.points) {
            QVERIFY(p.count > 0 && std::abs(p.sunElevation - sunNow().elevation) < 2);
            QVERIFY(std::abs(p.readAzimuth - p.sunAzimuth) < 3 * kBeamwidth / std::cos(p.sunElevation * 3.14159265358979 / 180.0) + 1);
        }
    }
}

void TestCalibration::wholeDecibelsThroughRigctldStillFindIt()
{
    QProcess radiometer;
    radiometer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList arguments = QProcess::splitCommand(radiometerCommand(4));
    arguments.removeFirst();
    arguments.removeAll(QStringLiteral("--once"));
    radiometer.start(radiometerProgram(), arguments << QStringLiteral("--rigctld-port") << QStringLiteral("0"));
    QVERIFY(radiometer.waitForReadyRead(5000));
    static const QRegularExpression served(QStringLiteral(":(\\d+) で rigctld"));
    const QRegularExpressionMatch match = served.match(QString::fromUtf8(radiometer.readLine()));
    QVERIFY(match.hasMatch());
    const Figures f = runAndMeasure(QStringLiteral("cross-rigctld"),
                                    {QStringLiteral("--calibrate"), QStringLiteral("cross"), QStringLiteral("--beamwidth"),
                                     QString::number(kBeamwidth), QStringLiteral("--dwell"), QString::number(kDwellSeconds),
                                     QStringLiteral("--power"), QStringLiteral("rigctld:127.0.0.1:") + match.captured(1)},
                                    newConfigDir());
    m_figures << f;
    radiometer.kill();
    radiometer.waitForFinished(2000);
    QVERIFY(f.backOnSetPoint);
    // Whole dB on a 10 dB peak: the centres to about a tenth of a beamwidth.
    const double cosine = std::cos(sunNow().elevation * 3.14159265358979 / 180.0);
    QVERIFY2(std::abs(f.azimuthOffset - kInjectedAzimuthError) * cosine < 0.1 * kBeamwidth
                 && std::abs(f.elevationOffset - kInjectedElevationError) < 0.1 * kBeamwidth,
             qPrintable(QStringLiteral("offsets %1, %2").arg(f.azimuthOffset).arg(f.elevationOffset)));
    QVERIFY2(std::abs(f.crossElevationWidth / kBeamwidth - 1) < 0.2 && std::abs(f.elevationWidth / kBeamwidth - 1) < 0.2,
             qPrintable(QStringLiteral("widths %1, %2").arg(f.crossElevationWidth).arg(f.elevationWidth)));
}

void TestCalibration::savedOffsetsAreAppliedOnTheNextStart()
{
    QVERIFY(!m_savedConfig.isEmpty());
    QSettings saved(m_savedConfig + QStringLiteral("/heliotrope/heliotrope-rotctl.conf"), QSettings::IniFormat);
    const double az = saved.value(QStringLiteral("calibration/azimuthOffset")).toDouble();
    const double el = saved.value(QStringLiteral("calibration/elevationOffset")).toDouble();
    QVERIFY(std::abs(az) > 0.2 && std::abs(el) > 0.2);
    {
        auto bridge = startBridge({}, m_savedConfig);
        QVERIFY(bridge->port);
        QVERIFY2(bridge->output.contains(QStringLiteral("Using the saved calibration")), qPrintable(bridge->output));
        // Measured against the radio-refracted sun, as every run's sky is by default.
        QCOMPARE(saved.value(QStringLiteral("calibration/refraction")).toString(), QStringLiteral("radio"));
        QVERIFY(!bridge->output.contains(QStringLiteral("Note: the saved offsets were measured")));
        const qint64 from = m_relay.clock.elapsed();
        sendSetPoint(*bridge);
        QVERIFY2(trackedAfter(from, az, el), qPrintable(bridge->output));
    }
    {
        // Started on another sky, the bridge says once that the offsets do not fit it.
        auto bridge = startBridge({QStringLiteral("--refraction"), QStringLiteral("none")}, m_savedConfig);
        QVERIFY(bridge->port);
        QCOMPARE(bridge->output.count(QStringLiteral("Note: the saved offsets were measured against the sun with refraction radio, "
                                                     "and this bridge points with none")),
                 1);
    }
    {
        // Calibrated again with those offsets in force (every command moved by
        // them): the elevation cut is planned through the beam's peak less the
        // offsets the commands add, and the offsets found are again the whole
        // error from the sun.
        const Figures again = runAndMeasure(QStringLiteral("cross-again"),
                                            {QStringLiteral("--calibrate"), QStringLiteral("cross"), QStringLiteral("--beamwidth"),
                                             QString::number(kBeamwidth), QStringLiteral("--dwell"), QString::number(kDwellSeconds),
                                             QStringLiteral("--power"), QStringLiteral("command:") + radiometerCommand(4)},
                                            m_savedConfig);
        const double cosine = std::cos(sunNow().elevation * 3.14159265358979 / 180.0);
        const double tolerance = 0.05 * kBeamwidth;
        QVERIFY2(again.elevationCutCrossElevation
                     && std::abs(*again.elevationCutCrossElevation - (kInjectedAzimuthError - az) * cosine) < tolerance
                     && std::abs(again.azimuthOffset - kInjectedAzimuthError) * cosine < tolerance
                     && std::abs(again.elevationOffset - kInjectedElevationError) < tolerance,
                 qPrintable(QStringLiteral("elevation cut at %1° across, offsets %2, %3")
                                .arg(again.elevationCutCrossElevation.value_or(-1))
                                .arg(again.azimuthOffset)
                                .arg(again.elevationOffset)));
    }
    // Given by hand, the options win.
    auto bridge = startBridge({QStringLiteral("--az-offset"), QStringLiteral("0"), QStringLiteral("--el-offset"), QStringLiteral("0")},
                              m_savedConfig);
    QVERIFY(bridge->port);
    QVERIFY(!bridge->output.contains(QStringLiteral("Using the saved calibration")));
    const qint64 from = m_relay.clock.elapsed();
    sendSetPoint(*bridge);
    QVERIFY2(trackedAfter(from), qPrintable(bridge->output));
}

void TestCalibration::deadPowerSourceEndsTheRunBeforeTheFirstSlew()
{
    const QString config = newConfigDir();
    const qint64 from = m_relay.clock.elapsed();
    auto bridge = startBridge({QStringLiteral("--calibrate"), QStringLiteral("cross"), QStringLiteral("--beamwidth"),
                               QString::number(kBeamwidth), QStringLiteral("--dwell"), QString::number(kDwellSeconds),
                               QStringLiteral("--power"), QStringLiteral("command:sh -c \"echo no receiver >&2; exit 1\"")},
                              config);
    QVERIFY(bridge->port);
    sendSetPoint(*bridge);
    QVERIFY2(bridge->waitFor(QStringLiteral("Not started: the power cannot be read"), 30000), qPrintable(bridge->output));
    QVERIFY2(bridge->output.contains(QStringLiteral("no receiver")) && bridge->output.contains(QStringLiteral("電力を読めない")),
             qPrintable(bridge->output));
    // Nothing but the window's set-point was ever commanded.
    QTest::qWait(500);
    QVERIFY(onlyTrackingAfter(from));
    QVERIFY(!QFile::exists(config + QStringLiteral("/heliotrope/heliotrope-rotctl.conf")));
    QCOMPARE(bridge->process.state(), QProcess::Running);
    const auto kept = recorded();
    QVERIFY(!kept.empty() && !kept.back().found && kept.back().points.empty()
            && kept.back().reason.contains(QStringLiteral("the power cannot be read")));
}

void TestCalibration::peakOutsideTheSpanIsRefusedAndNothingSaved()
{
    const QString config = newConfigDir();
    auto bridge = startBridge({QStringLiteral("--calibrate"), QStringLiteral("five"), QStringLiteral("--beamwidth"),
                               QString::number(kBeamwidth), QStringLiteral("--dwell"), QString::number(kDwellSeconds),
                               QStringLiteral("--power"), QStringLiteral("command:") + radiometerCommand(5, QStringLiteral("4,0")),
                               QStringLiteral("--calibration-output"), m_work.filePath(QStringLiteral("outside"))},
                              config);
    QVERIFY(bridge->port);
    sendSetPoint(*bridge);
    QVERIFY2(bridge->waitFor(QStringLiteral("Back to tracking"), 60000), qPrintable(bridge->output));
    // Four degrees off, the pattern reads sky beside the sun and the noise
    // decides the shape: the peak fitted beyond the points, the strongest
    // point at the end, or no rise above the noise at all. Each is a refusal.
    // Said once, and never as kept first.
    QVERIFY2(bridge->output.count(QStringLiteral("Measured, but no result could be trusted")) == 1
                 && !bridge->output.contains(QStringLiteral("the result is kept"))
                 && (bridge->output.contains(QStringLiteral("lies outside the scan"))
                     || bridge->output.contains(QStringLiteral("the sun seems to lie beyond it"))
                     || bridge->output.contains(QStringLiteral("No peak of the sun"))),
             qPrintable(bridge->output.right(1500)));
    QVERIFY(!QFile::exists(config + QStringLiteral("/heliotrope/heliotrope-rotctl.conf")));
    // What was measured is still there to look at.
    QVERIFY(QFile::exists(m_work.filePath(QStringLiteral("outside.png"))));
    QVERIFY(trackedAfter(m_relay.clock.elapsed() - 2000));
}

void TestCalibration::sunTooLowOrPatternBeyondALimitIsNotStarted()
{
    const QStringList calibrate{QStringLiteral("--calibrate"), QStringLiteral("cross"), QStringLiteral("--beamwidth"),
                                QString::number(kBeamwidth), QStringLiteral("--power"),
                                QStringLiteral("command:") + radiometerCommand(6)};
    {
        // Three hours earlier: the sun just risen at Sydney.
        auto bridge = startBridge(calibrate, newConfigDir(), m_clockOffset - 3 * 3600);
        QVERIFY(bridge->port);
        const qint64 from = m_relay.clock.elapsed();
        QVERIFY2(bridge->waitFor(QStringLiteral("Back to tracking"), 10000), qPrintable(bridge->output));
        QVERIFY2(bridge->output.contains(QStringLiteral("below 10°: calibration not started")), qPrintable(bridge->output));
        QVERIFY(onlyTrackingAfter(from));
    }
    {
        // Clear of the limit now, past it before a run of minute-long dwells
        // ends (the sun climbs): the pattern is checked where it will stand
        // at the run's end too, not only at its first point.
        const double limit = sunNow(400).elevation + 1.5 * kBeamwidth;
        QVERIFY(limit - sunNow().elevation - 1.5 * kBeamwidth > 0.5);
        auto bridge = startBridge(QStringList(calibrate) << QStringLiteral("--dwell") << QStringLiteral("60") << QStringLiteral("--el-max")
                                                         << QString::number(limit, 'f', 2),
                                  newConfigDir());
        QVERIFY(bridge->port);
        QVERIFY2(bridge->waitFor(QStringLiteral("Back to tracking"), 10000), qPrintable(bridge->output));
        QVERIFY2(bridge->output.contains(QStringLiteral("maximum elevation")), qPrintable(bridge->output));
    }
    // The elevation limit 1° above the sun: the elevation cut would cross it.
    const double limit = sunNow().elevation + 1;
    auto bridge = startBridge(QStringList(calibrate) << QStringLiteral("--el-max") << QString::number(limit, 'f', 2), newConfigDir());
    QVERIFY(bridge->port);
    const qint64 from = m_relay.clock.elapsed();
    QVERIFY2(bridge->waitFor(QStringLiteral("Back to tracking"), 10000), qPrintable(bridge->output));
    QVERIFY2(bridge->output.contains(QStringLiteral("beyond the rotator's limits"))
                 && bridge->output.contains(QStringLiteral("maximum elevation")),
             qPrintable(bridge->output));
    QTest::qWait(500);
    QVERIFY(onlyTrackingAfter(from));
}

void TestCalibration::ctrlCEndsTheRunAndTrackingResumes()
{
    const QString config = newConfigDir();
    auto bridge = startBridge({QStringLiteral("--calibrate"), QStringLiteral("cross"), QStringLiteral("--beamwidth"),
                               QString::number(kBeamwidth), QStringLiteral("--dwell"), QStringLiteral("1"),
                               QStringLiteral("--power"), QStringLiteral("command:") + radiometerCommand(7)},
                              config);
    QVERIFY(bridge->port);
    sendSetPoint(*bridge);
    QVERIFY2(bridge->waitFor(QStringLiteral("point 2 of 14"), 30000), qPrintable(bridge->output));
    ::kill(static_cast<pid_t>(bridge->process.processId()), SIGINT);
    const qint64 from = m_relay.clock.elapsed();
    QVERIFY2(bridge->waitFor(QStringLiteral("Back to tracking"), 10000), qPrintable(bridge->output));
    QCOMPARE(bridge->output.count(QStringLiteral("The operator ended the measurement")), 1);
    QVERIFY(trackedAfter(from));
    QVERIFY(!QFile::exists(config + QStringLiteral("/heliotrope/heliotrope-rotctl.conf")));
    // Still running and tracking; a second Ctrl+C ends the program.
    QCOMPARE(bridge->process.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(bridge->process.processId()), SIGINT);
    QVERIFY(bridge->process.waitForFinished(5000));
    QCOMPARE(bridge->process.exitCode(), 0);
}

void TestCalibration::everyRepeatsTheScanUntilTheGivenTime()
{
    // A rotator held to 90° (its EasyComm II reaches 180°): every scan straight.
    // The sun's clock put back to 3 s past a minute at the start, so that
    // --until, four minutes on, leaves room for the scans at 0 and 2 minutes
    // only (back, not on: the record keeps its runs in the order of their time).
    const double sky = skyNow();
    const double shift = 3 - std::fmod(sky, 60.0);
    const double boundary = sky + shift - 3;
    const QString until = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(boundary) + 240, QTimeZone::utc())
                              .addSecs(9 * 3600)
                              .toString(QStringLiteral("HH:mm"));
    qint64 lastBefore = 0;
    for (const auto& c : recorded())
        lastBefore = std::max(lastBefore, c.id);
    const QString base = m_work.filePath(QStringLiteral("series"));
    auto bridge = startBridge({QStringLiteral("--calibrate"), QStringLiteral("five"), QStringLiteral("--beamwidth"),
                               QString::number(kBeamwidth), QStringLiteral("--dwell"), QString::number(kDwellSeconds),
                               QStringLiteral("--power"), QStringLiteral("command:") + radiometerCommand(8),
                               QStringLiteral("--every"), QStringLiteral("2"), QStringLiteral("--until"), until,
                               QStringLiteral("--calibration-output"), base, QStringLiteral("--el-max"), QStringLiteral("90")},
                              newConfigDir(), m_clockOffset + shift);
    QVERIFY2(bridge->port, qPrintable(bridge->output));
    sendSetPoint(*bridge);
    QVERIFY2(bridge->waitFor(QStringLiteral("Calibration series over"), 60000), qPrintable(bridge->output));
    QVERIFY2(bridge->output.contains(QStringLiteral("2 of 2 scans found a result"))
                 && bridge->output.contains(QStringLiteral("the next scan would fall after"))
                 && bridge->output.count(QStringLiteral("stays tied to collimation")) == 1,
             qPrintable(bridge->output.right(2000)));
    std::vector<heliotrope::record::RecordedCalibration> kept;
    for (const auto& c : recorded()) {
        if (c.id > lastBefore)
            kept.push_back(c);
    }
    QCOMPARE(kept.size(), std::size_t{2});
    QVERIFY(kept[0].found && kept[0].saved && kept[1].found && kept[1].saved);
    // Each scan keeps its own picture and points.
    QVERIFY(QFile::exists(base + QStringLiteral(".csv")) && QFile::exists(base + QStringLiteral("-2.csv")));
    // Each scan's offsets pointed with as soon as they are saved, not at the series' end.
    QCOMPARE(bridge->output.count(QStringLiteral("Using the saved calibration")), 2);
    const qint64 from = m_relay.clock.elapsed();
    sendSetPoint(*bridge);
    QVERIFY(trackedAfter(from, kept.back().azimuthOffset->value, kept.back().elevationOffset->value));
}

void TestCalibration::anUnsynchronisedClockShowsTheOffsetsAndSavesNone()
{
    const QStringList five{QStringLiteral("--calibrate"), QStringLiteral("five"), QStringLiteral("--beamwidth"),
                           QString::number(kBeamwidth), QStringLiteral("--dwell"), QString::number(kDwellSeconds)};
    m_clockState = QStringLiteral("unsynchronised");
    const QString config = newConfigDir();
    {
        auto bridge = startBridge(QStringList(five) << QStringLiteral("--power") << QStringLiteral("command:") + radiometerCommand(8),
                                  config);
        QVERIFY(bridge->port);
        // Said at the bridge's start, before anything is measured.
        QVERIFY2(bridge->output.contains(QStringLiteral("The system clock is not synchronised by NTP")), qPrintable(bridge->output));
        sendSetPoint(*bridge);
        QVERIFY2(bridge->waitFor(QStringLiteral("Back to tracking"), 60000), qPrintable(bridge->output));
        QVERIFY2(bridge->output.contains(QStringLiteral("Azimuth offset")) && !bridge->output.contains(QStringLiteral("Offsets saved")),
                 qPrintable(bridge->output));
        QVERIFY(!QFile::exists(config + QStringLiteral("/heliotrope/heliotrope-rotctl.conf")));
        const auto kept = recorded();
        QVERIFY(!kept.empty() && kept.back().found && !kept.back().saved
                && kept.back().reason.contains(QStringLiteral("not synchronised")));
    }
    // Saved when the operator says the clock is right; the rotator has been
    // knocked 0.55° in elevation since the calibration in use: a warning.
    auto bridge = startBridge(QStringList(five) << QStringLiteral("--clock-unsynchronised-ok") << QStringLiteral("--power")
                                                << QStringLiteral("command:") + radiometerCommand(9, QStringLiteral("0.4,0.25")),
                              config);
    m_clockState = QStringLiteral("synchronised");
    QVERIFY(bridge->port);
    sendSetPoint(*bridge);
    QVERIFY2(bridge->waitFor(QStringLiteral("Back to tracking"), 60000), qPrintable(bridge->output));
    QVERIFY2(bridge->output.contains(QStringLiteral("Offsets saved")), qPrintable(bridge->output));
    QVERIFY2(bridge->output.contains(QStringLiteral("Warning: the calibration's offsets moved")), qPrintable(bridge->output));
    QVERIFY(recorded().back().saved);
}

void TestCalibration::cleanupTestCase()
{
    // Everything that reached rotctld during the whole test, within the
    // limits the bridge works to: 0 to 360 in azimuth, horizon to zenith.
    for (const RecordingRelay::Pointing& p : m_relay.pointings) {
        QVERIFY2(p.azimuth >= 0 && p.azimuth <= 360 && p.elevation >= 0 && p.elevation <= 90,
                 qPrintable(QStringLiteral("P %1 %2").arg(p.azimuth).arg(p.elevation)));
    }
    qInfo("%-14s %9s %9s %9s %9s %8s %8s", "run", "az off", "el off", "xel FWHM", "el FWHM", "time s", "floor s");
    for (const Figures& f : m_figures) {
        qInfo("%-14s %+9.3f %+9.3f %9.3f %9.3f %8.1f %8.1f", qPrintable(f.name), f.azimuthOffset, f.elevationOffset,
              f.crossElevationWidth, f.elevationWidth, f.runSeconds, f.floorSeconds);
    }
}

QTEST_GUILESS_MAIN(TestCalibration)
#include "tst_calibration.moc"
