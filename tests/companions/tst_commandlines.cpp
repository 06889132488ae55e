// The two programs' command lines: what an operator types must either be taken
// as meant or be refused with a line that names the option.

#include "companions/rotctl/BridgeOptions.h"
#include "companions/sim/SimulatorOptions.h"

#include <QTest>

#include <functional>
#include <utility>

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
    void bothProgramsRefuseAlikeInBothLanguages();
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

void TestCommandLines::bothProgramsRefuseAlikeInBothLanguages()
{
    struct Program
    {
        const char* name;
        std::function<std::pair<QString, int>(const QStringList&)> parse;
    };
    const Program programs[] = {
        {"heliotrope-sim",
         [](const QStringList& options) {
             const CommandLine<SimulatorOptions> read = parseSimulatorCommandLine(QStringList{QStringLiteral("heliotrope-sim")} + options);
             return std::make_pair(read.text, read.options ? -1 : read.exitCode);
         }},
        {"heliotrope-rotctl",
         [](const QStringList& options) {
             const CommandLine<BridgeOptions> read = parseBridgeCommandLine(bridgeArguments(options));
             return std::make_pair(read.text, read.options ? -1 : read.exitCode);
         }},
    };
    for (const Program& program : programs) {
        // An option Qt cannot parse: said in Japanese, Qt's own English after.
        const auto [unknown, unknownCode] = program.parse({QStringLiteral("--speed=3")});
        QCOMPARE(unknownCode, kUsageExitCode);
        QVERIFY2(unknown.contains(QStringLiteral("読めません")) && unknown.contains(QLatin1String("speed"))
                     && unknown.contains(QLatin1String("See --help")),
                 qPrintable(unknown));
        // A stray argument and a bad value: both said at once, in both languages.
        const auto [both, bothCode] = program.parse({QStringLiteral("10006"), QStringLiteral("--port"), QStringLiteral("x")});
        QCOMPARE(bothCode, kUsageExitCode);
        QVERIFY2(both.contains(QStringLiteral("余分な引数があります: 10006")) && both.contains(QLatin1String("Unexpected arguments: 10006"))
                     && both.contains(QLatin1String("--port")),
                 qPrintable(both));
        // Help: exit 0, both languages, -h as well as --help.
        const auto [help, helpCode] = program.parse({QStringLiteral("-h")});
        QCOMPARE(helpCode, 0);
        QVERIFY2(help.contains(QStringLiteral("この説明を表示して終了する")) && help.contains(QLatin1String("Show this help and exit")),
                 program.name);
        const auto [fine, fineCode] = program.parse({QStringLiteral("--port"), QStringLiteral("0")});
        QVERIFY2(fineCode == -1, qPrintable(fine));
    }
}

QTEST_GUILESS_MAIN(TestCommandLines)
#include "tst_commandlines.moc"
