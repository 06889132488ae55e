// The bridge on the rotators sites own: heliotrope-rotctl driving Hamlib's
// real GS-232B, EasyComm II and Rot2Prog backends, each talking to the
// simulated controller on a pseudo-terminal with its steps and a 0.4° dead
// band, the simulated radiometer seeing the sun from where the dish really
// points. What each controller received is read from its own record.
//
// Every program runs on the companions' time, kTimeScale times the wall
// clock's pace (TestTimeScale): rates, dead band, dwells and settling keep
// their values in it. rotctld's serial timeouts and retries and a process per
// power reading keep their real time; the silent line's part of the test is
// mostly rotctld's timeouts.

#include "SerialRotator.h"
#include "TestTimeScale.h"
#include "WindowSocket.h"

#include "companions/record/StationRecord.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cmath>
#include <memory>

namespace {

// 2026-06-21 00:00 UTC at Sydney: the sun at 26° elevation, azimuth 30°.
const QString kSite = QStringLiteral("-33.87,151.21,50");
constexpr double kSkyUtc = 1782000000.0;
constexpr double kAzimuthError = 0.6;
constexpr double kElevationError = -0.4;
constexpr double kTimeScale = 10;
// Faster than a G-5500, so that the suite stays short; the dead band is its.
const QStringList kMotion{QStringLiteral("--az-rate"), QStringLiteral("20"), QStringLiteral("--el-rate"), QStringLiteral("10"),
                          QStringLiteral("--deadband"), QStringLiteral("0.4")};

struct Bridge {
    QProcess process;
    QString output;

    ~Bridge()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }
    // What a failed check shows: the end, where the reason is (QTest cuts
    // a long message short).
    QString lastSaid() const { return output.right(900); }
    bool waitFor(const QString& text, int timeoutMs)
    {
        QElapsedTimer waited;
        waited.start();
        while (!output.contains(text) && waited.elapsed() < timeoutMs && process.state() != QProcess::NotRunning)
            QTest::qWait(20);
        output += QString::fromUtf8(process.readAll());
        return output.contains(text);
    }
};

struct Station {
    const TestTimeScale& time;
    QTemporaryDir dir;
    SerialRotator rotator;
    std::unique_ptr<Bridge> bridge;
    // The sky's time when the next program starts.
    double sky = kSkyUtc;

    QString antenna() const { return dir.filePath(QStringLiteral("antenna")); }
    QString commands() const { return dir.filePath(QStringLiteral("commands.csv")); }

    explicit Station(const TestTimeScale& scale)
        : time(scale)
    {
    }
    bool start(const QString& protocol, const QStringList& motion = kMotion, const QString& rotctldConf = {})
    {
        return rotator.start(protocol, motion + QStringList{QStringLiteral("--antenna-file"), antenna(), QStringLiteral("--command-log"), commands()},
                             time.rate(), rotctldConf);
    }
    double clockOffset() const { return time.offsetTo(sky); }
    // The dish off by a constant error, or by a mount's terms when given.
    QString power(double yDecibels, const QString& mount = {}) const
    {
        const QString pointing = mount.isEmpty() ? QStringLiteral("--error %1,%2").arg(kAzimuthError).arg(kElevationError)
                                                 : QStringLiteral("--mount ") + mount;
        return QStringLiteral("command:%1 --once --site %2 --antenna-file %3 %4 --beamwidth 5 --peak %5 --noise 0.05 "
                              "--clock-offset %6")
            .arg(QStringLiteral(HELIOTROPE_RADIOMETER_PATH), kSite, antenna(), pointing)
            .arg(yDecibels)
            .arg(clockOffset(), 0, 'f', 3);
    }
    QProcessEnvironment environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.filePath(QStringLiteral("data")));
        environment.insert(QStringLiteral("HELIOTROPE_CLOCK_STATE"), QStringLiteral("synchronised"));
        return environment;
    }
    void run(const QStringList& arguments, quint16 port = 0)
    {
        bridge = std::make_unique<Bridge>();
        bridge->process.setProcessEnvironment(environment());
        bridge->process.setProcessChannelMode(QProcess::MergedChannels);
        bridge->process.setWorkingDirectory(dir.path());
        Bridge* raw = bridge.get();
        QObject::connect(&bridge->process, &QProcess::readyRead, &bridge->process,
                         [raw] { raw->output += QString::fromUtf8(raw->process.readAll()); });
        bridge->process.start(QStringLiteral(HELIOTROPE_ROTCTL_PATH),
                              QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--rotctld"),
                                          QStringLiteral("127.0.0.1:%1").arg(rotator.port()), QStringLiteral("--poll-ms"),
                                          QStringLiteral("250")}
                                  + arguments);
    }
    // A program run to its end in this station's folders: what it printed.
    QString ranToEnd(const QStringList& arguments) const
    {
        QProcess program;
        program.setProcessEnvironment(environment());
        program.setProcessChannelMode(QProcess::MergedChannels);
        program.start(QStringLiteral(HELIOTROPE_ROTCTL_PATH), arguments);
        program.waitForFinished(20000);
        return QString::fromUtf8(program.readAll());
    }
    QStringList calibration(const QString& pattern, const QString& mount = {}) const
    {
        return {QStringLiteral("--site"), kSite, QStringLiteral("--clock-offset"), QString::number(clockOffset(), 'f', 3),
                QStringLiteral("--calibrate"), pattern, QStringLiteral("--beamwidth"), QStringLiteral("5"),
                QStringLiteral("--dwell"), QStringLiteral("0.3"), QStringLiteral("--deadband"), QStringLiteral("0.4"),
                QStringLiteral("--power"), power(12, mount), QStringLiteral("--calibration-output"), dir.filePath(pattern)};
    }
    // The set-point commands the controller received, as it read them.
    QStringList setPoints() const
    {
        QFile file(commands());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        QStringList rows = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        rows.removeFirst();
        return rows;
    }
};

// "Azimuth offset +0.600° ± 0.210°, elevation offset -0.398° ± 0.189°": how
// far the offsets found lie from the injected error, on the sky at 26°.
double offOnTheSky(const QString& output)
{
    static const QRegularExpression found(QStringLiteral("Azimuth offset ([-+0-9.]+)° ± [0-9.]+°, elevation offset ([-+0-9.]+)°"));
    const QRegularExpressionMatch match = found.match(output);
    if (!match.hasMatch())
        return 1e9;
    const double cosine = std::cos(26.0 * 3.14159265358979 / 180.0);
    return std::hypot((match.captured(1).toDouble() - kAzimuthError) * cosine, match.captured(2).toDouble() - kElevationError);
}

}  // namespace

class TestCoarseRotators : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void calibrationsAndSunNoiseEndWell_data();
    void calibrationsAndSunNoiseEndWell();
    void trackingSendsNoCommandTwice_data();
    void trackingSendsNoCommandTwice();
    void aDeadBandNotGivenIsCountedInTheErrors();
    void aSilentLineEndsTheCalibrationAndTrackingResumes();
    void aRotatorThatNeverArrivesEndsTheRun();
    void aSeriesFlipsEveryOtherScanWhereTheElevationReaches180();

private:
    std::unique_ptr<TestTimeScale> m_time;
};

void TestCoarseRotators::initTestCase()
{
    // The sky's time is the programs' own: their runs are the station's, not rehearsals.
    m_time = std::make_unique<TestTimeScale>(kTimeScale, kSkyUtc);
}

void TestCoarseRotators::init()
{
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (Debian package libhamlib-utils) is not installed");
}

void TestCoarseRotators::calibrationsAndSunNoiseEndWell_data()
{
    QTest::addColumn<QString>("protocol");
    QTest::newRow("GS-232B, whole degrees") << "gs232b";
    QTest::newRow("EasyComm II, tenths") << "easycomm2";
    QTest::newRow("Rot2Prog, half degrees") << "rot2prog";
}

void TestCoarseRotators::calibrationsAndSunNoiseEndWell()
{
    QFETCH(QString, protocol);
    Station station(*m_time);
    QVERIFY(station.start(protocol));
    for (const QString& pattern : {QStringLiteral("cross"), QStringLiteral("five")}) {
        // Where the five points fall on whole degrees depends on the sun's
        // place when they are commanded: at the cross's sky time two of them
        // lie on a half degree, and a few seconds' difference in the cross's
        // run decides which way rotctld rounds them and so how far they stand
        // from the beam's centre. Two minutes on, every point of the five
        // stays a sixth of a degree from a half for half a minute, with any
        // of the offsets the cross finds in force.
        if (pattern == QLatin1String("five"))
            station.sky = kSkyUtc + 130;
        station.run(station.calibration(pattern));
        QVERIFY2(station.bridge->waitFor(QStringLiteral("Back to tracking"), 120000), qPrintable(station.bridge->lastSaid()));
        QVERIFY2(station.bridge->output.contains(QStringLiteral("Offsets saved")), qPrintable(station.bridge->lastSaid()));
        QVERIFY2(station.bridge->output.contains(QStringLiteral("The rotator's step: ")), qPrintable(station.bridge->lastSaid()));
        // Within a twentieth of the 5° beam: quiet, a hundredth (the stop known
        // from its command); a loaded machine slows the bridge under the sun.
        const double off = offOnTheSky(station.bridge->output);
        QVERIFY2(off < 0.25,
                 qPrintable(QStringLiteral("%1: %2° off the injected error\n%3").arg(pattern).arg(off).arg(station.bridge->output)));
    }
    // Sun noise with the offsets just saved: a 1000 K sun on a 100 K system.
    const double truth = 10.0 * std::log10(11.0);
    station.run({QStringLiteral("--site"), kSite, QStringLiteral("--clock-offset"), QString::number(station.clockOffset(), 'f', 3),
                 QStringLiteral("--sun-noise"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--dwell"),
                 QStringLiteral("0.5"), QStringLiteral("--frequency"), QStringLiteral("10368"), QStringLiteral("--dish-diameter"),
                 QStringLiteral("0.405"), QStringLiteral("--deadband"), QStringLiteral("0.4"), QStringLiteral("--power"), station.power(truth)});
    QVERIFY2(station.bridge->waitFor(QStringLiteral("Sun-noise result"), 120000), qPrintable(station.bridge->lastSaid()));
    static const QRegularExpression y(QStringLiteral("Sun-noise result: Y = ([-0-9.]+) dB"));
    const double found = y.match(station.bridge->output).captured(1).toDouble();
    QVERIFY2(std::abs(found - truth) < 0.3, qPrintable(station.bridge->lastSaid()));
    for (const QString& row : station.setPoints())
        QVERIFY2(row.endsWith(QLatin1String(",yes")), qPrintable(row));
}

void TestCoarseRotators::aDeadBandNotGivenIsCountedInTheErrors()
{
    // The GS-232B's 0.4° dead band hides in its whole-degree readings. Not
    // told of it, the bridge must not claim errors smaller than what it could
    // not see: of three calibrations in a row, most within their stated
    // errors of the injected error and none grossly beyond (a loaded machine
    // lets the sun move under a slow bridge), each saying what it counted. The first is said to
    // disagree in azimuth with offsets saved before, a degree away; the
    // next, agreeing with it, are not.
    Station station(*m_time);
    QVERIFY(station.start(QStringLiteral("gs232b")));
    {
        heliotrope::record::StationRecord record(station.dir.filePath(QStringLiteral("data/heliotrope/station.sqlite")));
        QVERIFY(record.open());
        heliotrope::record::RecordedCalibration before;
        before.utc = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(kSkyUtc) - 86400, QTimeZone::utc());
        before.pattern = QStringLiteral("cross");
        before.found = before.saved = true;
        before.azimuthOffset = heliotrope::record::Measured{kAzimuthError + 1.0, 0.05};
        before.elevationOffset = heliotrope::record::Measured{kElevationError, 0.05};
        before.refraction = QStringLiteral("radio");
        before.programVersion = QStringLiteral("test");
        QVERIFY(record.addCalibration(before));
    }
    static const QRegularExpression found(
        QStringLiteral("Azimuth offset ([-+0-9.]+)° ± ([0-9.]+)°, elevation offset ([-+0-9.]+)° ± ([0-9.]+)°"));
    int within = 0;
    for (int run = 0; run < 3; ++run) {
        station.sky = kSkyUtc + 200 * run;
        QStringList arguments = station.calibration(QStringLiteral("cross"));
        arguments.remove(arguments.indexOf(QStringLiteral("--deadband")), 2);
        station.run(arguments);
        QVERIFY2(station.bridge->waitFor(QStringLiteral("Back to tracking"), 120000), qPrintable(station.bridge->lastSaid()));
        const QString& said = station.bridge->output;
        QVERIFY2(said.contains(QStringLiteral("does not show in its readings: anything from 0° to 0.50°")), qPrintable(said));
        const QRegularExpressionMatch m = found.match(said);
        QVERIFY2(m.hasMatch(), qPrintable(said));
        const double azimuthMiss = std::abs(m.captured(1).toDouble() - kAzimuthError);
        const double elevationMiss = std::abs(m.captured(3).toDouble() - kElevationError);
        const double worst = std::max(azimuthMiss / m.captured(2).toDouble(), elevationMiss / m.captured(4).toDouble());
        within += worst <= 1.0;
        QVERIFY2(worst <= 2.5, qPrintable(m.captured(0)));
        // What was said to be counted is: a dead band anywhere in 0 to 0.5°
        // is 0.5° / √12 on its own, whatever the number of points.
        QVERIFY2(m.captured(2).toDouble() >= 0.144 && m.captured(4).toDouble() >= 0.144, qPrintable(m.captured(0)));
        const qsizetype warned = said.indexOf(QStringLiteral("differ from those saved at"));
        QVERIFY2((warned >= 0) == (run == 0), qPrintable(said));
        if (run == 0) {
            const QString line = said.mid(warned, said.indexOf(QLatin1Char('\n'), warned) - warned);
            QVERIFY2(line.contains(QStringLiteral("azimuth 1.600°")) && !line.contains(QStringLiteral("elevation")), qPrintable(line));
            QVERIFY(warned < said.indexOf(QStringLiteral("Offsets saved")));
        }
    }
    QVERIFY2(within >= 2, qPrintable(QStringLiteral("%1 of 3 within their stated errors").arg(within)));
    // Told it stops on its target, the bridge counts no unseen dead band.
    QStringList given = station.calibration(QStringLiteral("cross"));
    given.replace(given.indexOf(QStringLiteral("--deadband")) + 1, QStringLiteral("0"));
    station.run(given);
    QVERIFY2(station.bridge->waitFor(QStringLiteral("Back to tracking"), 120000), qPrintable(station.bridge->lastSaid()));
    QVERIFY2(!station.bridge->output.contains(QStringLiteral("does not show in its readings")), qPrintable(station.bridge->lastSaid()));
}

void TestCoarseRotators::trackingSendsNoCommandTwice_data()
{
    calibrationsAndSunNoiseEndWell_data();
}

void TestCoarseRotators::trackingSendsNoCommandTwice()
{
    // The window's set-point creeps by a hundredth of a degree a message, as
    // the sun does: a whole-degree controller must not be told the degree it
    // already stands on, nor the same command twice.
    QFETCH(QString, protocol);
    Station station(*m_time);
    QVERIFY(station.start(protocol));
    WindowSocket window;
    const quint16 port = static_cast<quint16>(RotctldProcess::freePort());
    station.run({QStringLiteral("--min-interval"), QStringLiteral("0.5"), QStringLiteral("--threshold"), QStringLiteral("0.1")}, port);
    QVERIFY(station.bridge->waitFor(QStringLiteral("で指向データを待ち"), 10000));
    for (int k = 0; k < 40; ++k) {
        window.send(port, QStringLiteral("0,%1,%2").arg(120.0 + 0.02 * k, 6, 'f', 2, QLatin1Char('0')).arg(30.0 + 0.01 * k, 6, 'f', 2).toLatin1());
        QTest::qWait(m_time->realMs(0.25));
    }
    QVERIFY2(station.bridge->output.contains(QStringLiteral("tracking's threshold raised to")), qPrintable(station.bridge->lastSaid()));
    const QStringList rows = station.setPoints();
    QVERIFY2(!rows.isEmpty(), qPrintable(station.bridge->lastSaid()));
    for (int k = 1; k < rows.size(); ++k)
        QVERIFY2(rows[k].section(QLatin1Char(','), 2, 3) != rows[k - 1].section(QLatin1Char(','), 2, 3), qPrintable(rows.join(QLatin1Char('\n'))));
    // The sun moved 0.8° in azimuth: a handful of commands, not one a message.
    QVERIFY2(rows.size() <= 4, qPrintable(rows.join(QLatin1Char('\n'))));
}

void TestCoarseRotators::aSilentLineEndsTheCalibrationAndTrackingResumes()
{
    // rotctld gives up on a reading after its timeout without retrying
    // (-C retry=0): the silence is all it would retry into, and its three
    // retries would be most of this test's time.
    Station station(*m_time);
    QVERIFY(station.start(QStringLiteral("gs232b"), kMotion, QStringLiteral("retry=0")));
    station.run(station.calibration(QStringLiteral("cross")));
    QVERIFY2(station.bridge->waitFor(QStringLiteral("calibration point 4 of"), 60000), qPrintable(station.bridge->lastSaid()));
    station.rotator.toggleSilence();
    QVERIFY2(station.bridge->waitFor(QStringLiteral("Back to tracking"), 60000), qPrintable(station.bridge->lastSaid()));
    const QString said = station.bridge->output;
    QVERIFY2(said.contains(QStringLiteral("The measurement could not go on")) && said.contains(QStringLiteral("the rotator's position could not be read 3 times in a row")), qPrintable(said));
    QVERIFY(!said.contains(QStringLiteral("Offsets saved")));
    QVERIFY(!QFile::exists(station.dir.filePath(QStringLiteral("config/heliotrope/heliotrope-rotctl.conf"))));
    // Said once, not once a reading.
    QCOMPARE(said.count(QStringLiteral("rotctld が位置を返しません")), 1);

    // The line speaks again: the bridge says so and tracks once more.
    const qsizetype before = station.setPoints().size();
    station.rotator.toggleSilence();
    QVERIFY2(station.bridge->waitFor(QStringLiteral("rotctld reads the rotator again"), 20000), qPrintable(station.bridge->lastSaid()));
    for (const QString& row : station.setPoints())
        QVERIFY2(row.endsWith(QLatin1String(",yes")), qPrintable(row));
    QVERIFY(station.setPoints().size() >= before);
}

void TestCoarseRotators::aRotatorThatNeverArrivesEndsTheRun()
{
    // A fifth of a degree a second: no point is reached within the second
    // allowed, and three skipped in a row end the run rather than the fit.
    Station station(*m_time);
    QVERIFY(station.start(QStringLiteral("easycomm2"), {QStringLiteral("--az-rate"), QStringLiteral("0.2"), QStringLiteral("--el-rate"), QStringLiteral("0.2")}));
    station.run(station.calibration(QStringLiteral("cross")) << QStringLiteral("--settle-timeout") << QStringLiteral("1"));
    QVERIFY2(station.bridge->waitFor(QStringLiteral("Back to tracking"), 60000), qPrintable(station.bridge->lastSaid()));
    const QString said = station.bridge->output;
    QVERIFY2(said.contains(QStringLiteral("the rotator did not reach 3 points in a row within 1 s")), qPrintable(said));
    QVERIFY(!said.contains(QStringLiteral("Offsets saved")));
}

void TestCoarseRotators::aSeriesFlipsEveryOtherScanWhereTheElevationReaches180()
{
    // A G-5500 (rotctld -m 603: elevation to 180°) on a mount whose collimation
    // and azimuth zero point act alike on straight scans and oppositely over the top.
    Station station(*m_time);
    QVERIFY(station.start(QStringLiteral("gs232b")));
    // --until between the second scan's start and the third's.
    const double sky = m_time->utcNow() + station.clockOffset() + 10;
    const QString until = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::ceil((sky + 130) / 60) * 60), QTimeZone::utc())
                              .addSecs(9 * 3600)
                              .toString(QStringLiteral("HH:mm"));
    station.run(station.calibration(QStringLiteral("five"), QStringLiteral("IA=0.8,CA=-0.6,IE=-0.3"))
                << QStringLiteral("--every") << QStringLiteral("2") << QStringLiteral("--until") << until);
    QVERIFY2(station.bridge->waitFor(QStringLiteral("Calibration series over"), 240000), qPrintable(station.bridge->lastSaid()));
    const QString said = station.bridge->output;
    QVERIFY2(said.contains(QStringLiteral("the 2nd, 4th, … scans are taken over the top")) && said.contains(QStringLiteral("2 of 2 scans found"))
                 && said.count(QStringLiteral("Using the saved calibration")) == 1,
             qPrintable(station.bridge->lastSaid()));
    heliotrope::record::StationRecord record(station.dir.filePath(QStringLiteral("data/heliotrope/station.sqlite")));
    QVERIFY(record.open());
    const auto runs = record.history();
    QCOMPARE(runs.size(), std::size_t{2});
    const auto& straight = std::get<heliotrope::record::RecordedCalibration>(runs[0]);
    const auto& flipped = std::get<heliotrope::record::RecordedCalibration>(runs[1]);
    QVERIFY(straight.found && straight.saved && !straight.overTheTop && flipped.found && !flipped.saved && flipped.overTheTop);
    QCOMPARE(record.lastCalibration(false)->id, straight.id);
    QVERIFY(station.ranToEnd({QStringLiteral("--history")}).contains(QStringLiteral("反転 flipped")));

    // Both scans together tell collimation from the zero point; whole degrees
    // leave a few tenths of scatter in each scan.
    const QString fit = station.ranToEnd({QStringLiteral("--fit-pointing-model"), QStringLiteral("--site"), kSite,
                                          QStringLiteral("--terms"), QStringLiteral("IA,CA,IE")});
    static const QRegularExpression terms(QStringLiteral("  IA [^\\n]*: ([-0-9.]+) ± [^\\n]*\\n  CA [^\\n]*: ([-0-9.]+) ± "));
    const QRegularExpressionMatch found = terms.match(fit);
    QVERIFY2(found.hasMatch() && !fit.contains(QStringLiteral("cannot be told from")) && std::abs(found.captured(1).toDouble() - 0.8) < 0.35
                 && std::abs(found.captured(2).toDouble() + 0.6) < 0.35,
             qPrintable(fit));
}

QTEST_GUILESS_MAIN(TestCoarseRotators)
#include "tst_coarserotators.moc"
