// The two programs' command lines: what an operator types must either be taken
// as meant or be refused with a line that names the option.

#include "companions/rotctl/BridgeOptions.h"
#include "companions/sim/SimulatorOptions.h"

#include <QTest>

class TestCommandLines : public QObject
{
    Q_OBJECT

private slots:
    void helpIsInJapaneseAndEnglish();
    void negativeValuesAndRotctldAddressesAreTaken_data();
    void negativeValuesAndRotctldAddressesAreTaken();
    void unusableValuesAreRefusedAndNamed_data();
    void unusableValuesAreRefusedAndNamed();
    void bothProgramsTakeTheSameAllowList();
};

namespace {

QStringList bridgeArguments(const QStringList& options)
{
    return QStringList{QStringLiteral("heliotrope-rotctl")} + options;
}

} // namespace

void TestCommandLines::helpIsInJapaneseAndEnglish()
{
    const CommandLine<SimulatorOptions> sim = parseSimulatorCommandLine({QStringLiteral("heliotrope-sim"), QStringLiteral("--help")});
    QVERIFY(!sim.options);
    QCOMPARE(sim.exitCode, 0);
    for (const char* option : {"--listen", "--port", "--az-rate", "--el-rate", "--report-ms", "--quiet"})
        QVERIFY2(sim.text.contains(QLatin1String(option)), option);
    QVERIFY(sim.text.contains(QStringLiteral("旋回速度")) && sim.text.contains(QLatin1String("slew rate")));

    const CommandLine<BridgeOptions> bridge = parseBridgeCommandLine(bridgeArguments({QStringLiteral("-h")}));
    QVERIFY(!bridge.options);
    QCOMPARE(bridge.exitCode, 0);
    for (const char* option : {"--rotctld", "--poll-ms", "--threshold", "--min-interval", "--az-range", "--az-min",
                               "--el-max", "--az-offset", "--el-offset", "--log", "--allow"})
        QVERIFY2(bridge.text.contains(QLatin1String(option)), option);
    QVERIFY(bridge.text.contains(QStringLiteral("P を送らない")));
    QVERIFY(bridge.text.contains(QLatin1String("No P while")));
}

void TestCommandLines::negativeValuesAndRotctldAddressesAreTaken_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<double>("minAzimuth");
    QTest::newRow("host and port, -180 as a value")
        << QStringList{"--rotctld", "127.0.0.1:4600", "--az-min", "-180"} << "127.0.0.1" << 4600 << -180.0;
    QTest::newRow("host only") << QStringList{"--rotctld", "localhost", "--az-min=-90.5"} << "localhost" << 4533 << -90.5;
    QTest::newRow("bracketed IPv6 with port") << QStringList{"--rotctld", "[::1]:4534", "--az-min", "0"} << "::1" << 4534 << 0.0;
    QTest::newRow("bare IPv6") << QStringList{"--rotctld", "::1", "--az-min", "0"} << "::1" << 4533 << 0.0;
}

void TestCommandLines::negativeValuesAndRotctldAddressesAreTaken()
{
    QFETCH(QStringList, options);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(double, minAzimuth);
    const CommandLine<BridgeOptions> bridge = parseBridgeCommandLine(bridgeArguments(options));
    QVERIFY2(bridge.options, qPrintable(bridge.text));
    QCOMPARE(bridge.options->rotctldHost, host);
    QCOMPARE(bridge.options->rotctldPort, quint16(port));
    QCOMPARE(bridge.options->minAzimuth.value_or(999), minAzimuth);
}

void TestCommandLines::unusableValuesAreRefusedAndNamed_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("named");
    QTest::newRow("port not a number") << QStringList{"--port", "abc"} << "--port";
    QTest::newRow("rotctld port out of range") << QStringList{"--rotctld", "127.0.0.1:70000"} << "--rotctld";
    QTest::newRow("rotctld without host") << QStringList{"--rotctld", ":4533"} << "--rotctld";
    QTest::newRow("unclosed bracket") << QStringList{"--rotctld", "[::1:4533"} << "--rotctld";
    QTest::newRow("listen on a name") << QStringList{"--listen", "example.org"} << "--listen";
    QTest::newRow("negative threshold") << QStringList{"--threshold", "-1"} << "--threshold";
    QTest::newRow("poll faster than 100 ms") << QStringList{"--poll-ms", "10"} << "--poll-ms";
    QTest::newRow("unknown azimuth range") << QStringList{"--az-range", "270"} << "--az-range";
    QTest::newRow("azimuth limits crossed") << QStringList{"--az-min", "200", "--az-max", "100"} << "--az-min";
    QTest::newRow("offset not finite") << QStringList{"--az-offset", "inf"} << "--az-offset";
    QTest::newRow("unknown option") << QStringList{"--speed", "3"} << "speed";
    QTest::newRow("stray argument") << QStringList{"10006"} << "10006";
    QTest::newRow("listening on every address, no one allowed") << QStringList{"--listen", "0.0.0.0"} << "--allow";
    QTest::newRow("allowing a host name") << QStringList{"--allow", "window.local"} << "--allow";
}

void TestCommandLines::unusableValuesAreRefusedAndNamed()
{
    QFETCH(QStringList, options);
    QFETCH(QString, named);
    const CommandLine<BridgeOptions> bridge = parseBridgeCommandLine(bridgeArguments(options));
    QVERIFY(!bridge.options);
    QCOMPARE(bridge.exitCode, kUsageExitCode);
    QVERIFY2(bridge.text.contains(named), qPrintable(bridge.text));
}

void TestCommandLines::bothProgramsTakeTheSameAllowList()
{
    const QStringList allowing{QStringLiteral("--listen"), QStringLiteral("0.0.0.0"), QStringLiteral("--allow"),
                               QStringLiteral("192.168.1.20"), QStringLiteral("--allow"), QStringLiteral("2001:db8::/32")};
    const CommandLine<BridgeOptions> bridge = parseBridgeCommandLine(bridgeArguments(allowing));
    const CommandLine<SimulatorOptions> sim = parseSimulatorCommandLine(QStringList{QStringLiteral("heliotrope-sim")} + allowing);
    QVERIFY2(bridge.options, qPrintable(bridge.text));
    QVERIFY2(sim.options, qPrintable(sim.text));
    for (const SenderAllowList& list : {bridge.options->allowedSenders, sim.options->allowedSenders}) {
        QVERIFY(list.allows(QHostAddress(QStringLiteral("192.168.1.20"))));
        QVERIFY(list.allows(QHostAddress(QStringLiteral("2001:db8::7"))));
        QVERIFY(!list.allows(QHostAddress(QStringLiteral("127.0.0.1"))));
    }
    const CommandLine<SimulatorOptions> open = parseSimulatorCommandLine(
        {QStringLiteral("heliotrope-sim"), QStringLiteral("--listen"), QStringLiteral("::")});
    QVERIFY(!open.options);
    QCOMPARE(open.exitCode, kUsageExitCode);
    QVERIFY2(open.text.contains(QLatin1String("--allow")), qPrintable(open.text));
}

QTEST_GUILESS_MAIN(TestCommandLines)
#include "tst_commandlines.moc"
