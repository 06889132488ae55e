// The calibration's command line, read with the bridge's: what it needs, what
// it refuses and why (each problem named in both languages).

#include "BridgeLine.h"
#include "companions/rotctl/bridge/BridgeOptions.h"

#include <QTest>

using namespace heliotrope::companions;
using namespace heliotrope::measure;
using namespace heliotrope::rotctl;
using heliotrope::power::PowerSourceChoice;
using heliotrope::power::powerSourceChoice;

class TestCalibrationOptions : public QObject {
    Q_OBJECT

private slots:
    void refusals_data();
    void refusals();
    void aCompleteCalibration();
};

void TestCalibrationOptions::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("says");
    const QStringList base{QStringLiteral("--calibrate"), QStringLiteral("cross"), QStringLiteral("--site"), QStringLiteral("35,139")};
    QTest::newRow("no beamwidth") << (QStringList(base) << QStringLiteral("--power") << QStringLiteral("rigctld")) << QStringLiteral("--beamwidth");
    QTest::newRow("no power") << (QStringList(base) << QStringLiteral("--beamwidth") << QStringLiteral("1.7")) << QStringLiteral("--power");
    QTest::newRow("unknown source")
        << (QStringList(base) << QStringLiteral("--beamwidth") << QStringLiteral("1.7") << QStringLiteral("--power") << QStringLiteral("s-meter"))
        << QStringLiteral("rigctld:HOST:PORT");
    QTest::newRow("empty command")
        << (QStringList(base) << QStringLiteral("--beamwidth") << QStringLiteral("1.7") << QStringLiteral("--power") << QStringLiteral("command:  "))
        << QStringLiteral("command:");
    QTest::newRow("no site") << QStringList{QStringLiteral("--calibrate"), QStringLiteral("five"), QStringLiteral("--beamwidth"),
                                            QStringLiteral("1.7"), QStringLiteral("--power"), QStringLiteral("rigctld")}
                             << QStringLiteral("--site");
    QTest::newRow("unknown pattern")
        << QStringList{QStringLiteral("--calibrate"), QStringLiteral("raster"), QStringLiteral("--site"), QStringLiteral("35,139"),
                       QStringLiteral("--beamwidth"), QStringLiteral("1.7"), QStringLiteral("--power"), QStringLiteral("rigctld")}
        << QStringLiteral("cross or five");
    QTest::newRow("too few points per cut")
        << (QStringList(base) << QStringLiteral("--beamwidth") << QStringLiteral("1.7") << QStringLiteral("--power")
                              << QStringLiteral("rigctld") << QStringLiteral("--step") << QStringLiteral("1.5"))
        << QStringLiteral("at least 5 points");
    QTest::newRow("span without calibrate") << QStringList{QStringLiteral("--span"), QStringLiteral("2")} << QStringLiteral("goes with --calibrate");
    // What both runs share is one option with one bound, read once for either.
    QTest::newRow("dwell without a run") << QStringList{QStringLiteral("--dwell"), QStringLiteral("3")}
                                         << QStringLiteral("--dwell goes with --calibrate, --sun-noise, --hot-cold or --noise-source-on");
    QTest::newRow("dwell beyond an hour, sun noise")
        << QStringList{QStringLiteral("--sun-noise"), QStringLiteral("--site"), QStringLiteral("35,139"), QStringLiteral("--cold"),
                       QStringLiteral("200,45"), QStringLiteral("--power"), QStringLiteral("rigctld"), QStringLiteral("--dwell"),
                       QStringLiteral("3601")}
        << QStringLiteral("--dwell \"3601\" is out of range: it must be at least 0.05 and at most 3600");
    QTest::newRow("settle finer than P") << (QStringList(base) << QStringLiteral("--beamwidth") << QStringLiteral("1.7") << QStringLiteral("--power")
                                                               << QStringLiteral("rigctld") << QStringLiteral("--settle-tolerance")
                                                               << QStringLiteral("0.001"))
                                         << QStringLiteral("--settle-tolerance");
}

void TestCalibrationOptions::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, says);
    const CommandLine<BridgeLine> line = parseBridgeLine(QStringList{QStringLiteral("heliotrope-rotctl")} + arguments);
    QVERIFY(!line.options);
    QCOMPARE(line.exitCode, kUsageExitCode);
    QVERIFY2(line.text.contains(says), qPrintable(line.text));
}

void TestCalibrationOptions::aCompleteCalibration()
{
    const CommandLine<BridgeLine> line = parseBridgeLine(
        {QStringLiteral("heliotrope-rotctl"), QStringLiteral("--calibrate"), QStringLiteral("five"), QStringLiteral("--site"),
         QStringLiteral("-33.87,151.21,50"), QStringLiteral("--beamwidth"), QStringLiteral("2"), QStringLiteral("--power"),
         QStringLiteral("command:my-meter --db \"a b\""), QStringLiteral("--el-offset"), QStringLiteral("0.2")});
    QVERIFY2(line.options, qPrintable(line.text));
    const BridgeLine& options = *line.options;
    QVERIFY(options.calibration);
    QVERIFY(options.offsetsGiven);
    QCOMPARE(options.calibration->pattern, CalibrationPattern::FivePoint);
    QCOMPARE(options.calibration->spanDegrees(), 3.0);
    QCOMPARE(options.calibration->stepDegrees(), 1.0);
    QCOMPARE(options.measurement.power.kind, PowerSourceChoice::Kind::Command);
    QCOMPARE(options.measurement.power.command, QStringLiteral("my-meter --db \"a b\""));
    QCOMPARE(options.calibration->site.latitude, -33.87);

    const std::optional<PowerSourceChoice> radio = powerSourceChoice(QStringLiteral("rigctld:[::1]:4600"));
    QVERIFY(radio);
    QCOMPARE(radio->host, QStringLiteral("::1"));
    QCOMPARE(radio->port, quint16(4600));
    QCOMPARE(powerSourceChoice(QStringLiteral("rigctld"))->port, quint16(4532));

    // Each bound itself is accepted: a cross of exactly five points a cut,
    // the cold sky due north read as 360 and on the horizon.
    const QStringList atTheBounds[] = {
        {QStringLiteral("--calibrate"), QStringLiteral("cross"), QStringLiteral("--site"), QStringLiteral("35,139"), QStringLiteral("--beamwidth"),
         QStringLiteral("1.7"), QStringLiteral("--power"), QStringLiteral("rigctld"), QStringLiteral("--span"), QStringLiteral("2"),
         QStringLiteral("--step"), QStringLiteral("1")},
        {QStringLiteral("--sun-noise"), QStringLiteral("--site"), QStringLiteral("35,139"), QStringLiteral("--cold"), QStringLiteral("360,0"),
         QStringLiteral("--power"), QStringLiteral("rigctld")},
    };
    for (const QStringList& arguments : atTheBounds) {
        const CommandLine<BridgeLine> bound = parseBridgeLine(QStringList{QStringLiteral("heliotrope-rotctl")} + arguments);
        QVERIFY2(bound.options, qPrintable(arguments.join(QLatin1Char(' ')) + QLatin1Char('\n') + bound.text));
    }

    // Without --calibrate the bridge runs as before, offsets not given.
    const CommandLine<BridgeLine> plain = parseBridgeLine({QStringLiteral("heliotrope-rotctl")});
    QVERIFY(plain.options && !plain.options->calibration && !plain.options->offsetsGiven);
}

QTEST_GUILESS_MAIN(TestCalibrationOptions)
#include "tst_calibrationoptions.moc"
