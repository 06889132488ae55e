// The two programs' command lines: what an operator types must either be taken
// as meant or be refused with a line that names the option.

#include "BridgeLine.h"
#include "companions/rotctl/bridge/BridgeOptions.h"
#include "companions/sim/SimulatorOptions.h"

#include "companions/radiometer/RadiometerOptions.h"

#include <QRegularExpression>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

using namespace heliotrope::companions;
using namespace heliotrope::sim;
using namespace heliotrope::measure;
using namespace heliotrope::rotator;
using namespace heliotrope::rotctl;
using heliotrope::power::PowerSourceChoice;
using heliotrope::power::powerSourceChoice;

class TestCommandLines : public QObject {
    Q_OBJECT

private slots:
    void helpIsInJapaneseAndEnglish();
    void eachModeTakesItsOwnOptions();
    void negativeValuesAndRotctldAddressesAreTaken_data();
    void negativeValuesAndRotctldAddressesAreTaken();
    void unusableValuesAreRefusedAndNamed_data();
    void unusableValuesAreRefusedAndNamed();
    void sunNoiseRunIsTakenAsTyped();
    void unusableSunNoiseValuesAreRefusedInBothLanguages_data();
    void unusableSunNoiseValuesAreRefusedInBothLanguages();
    void bothProgramsTakeTheSameAllowList();
    void bothProgramsRefuseAlikeInBothLanguages();
    void simulatorOnASerialLine();
    void boundsAreThoseTheHelpStates_data();
    void boundsAreThoseTheHelpStates();
    void defaultsAreThoseTheHelpStates();
    void physicalRadiometerRefusesInBothLanguages();
};

namespace {

QStringList bridgeArguments(const QStringList& options)
{
    return QStringList{QStringLiteral("heliotrope-rotctl")} + options;
}

}  // namespace

void TestCommandLines::helpIsInJapaneseAndEnglish()
{
    const CommandLine<SimulatorOptions> sim = parseSimulatorCommandLine({QStringLiteral("heliotrope-sim"), QStringLiteral("--help")});
    QVERIFY(!sim.options);
    QCOMPARE(sim.exitCode, 0);
    for (const char* option : {"--listen", "--port", "--az-rate", "--el-rate", "--report-ms", "--quiet", "--serial", "--link",
                               "--resolution", "--deadband", "--silence-after", "--silence-for", "--command-log", "--verbose"})
        QVERIFY2(sim.text.contains(QLatin1String(option)), option);
    QVERIFY(sim.text.contains(QStringLiteral("旋回速度")) && sim.text.contains(QLatin1String("slew rate")));

    const CommandLine<BridgeLine> bridge = parseBridgeLine(bridgeArguments({QStringLiteral("-h")}));
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
    const CommandLine<BridgeLine> bridge = parseBridgeLine(bridgeArguments(options));
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
    const CommandLine<BridgeLine> bridge = parseBridgeLine(bridgeArguments(options));
    QVERIFY(!bridge.options);
    QCOMPARE(bridge.exitCode, kUsageExitCode);
    QVERIFY2(bridge.text.contains(named), qPrintable(bridge.text));
}

void TestCommandLines::eachModeTakesItsOwnOptions()
{
    using heliotrope::rotctl::RotctlMode;
    const auto mode = [](QStringList options) {
        const CommandLine<RotctlMode> read = heliotrope::rotctl::parseRotctlCommandLine(bridgeArguments(options));
        return read.options ? read.options->index() : std::variant_npos;
    };
    const QStringList site{QStringLiteral("--site"), QStringLiteral("35.66,139.34")};
    QCOMPARE(mode({}), std::size_t(0));
    QCOMPARE(mode(QStringList{QStringLiteral("--calibrate"), QStringLiteral("cross"), QStringLiteral("--power"), QStringLiteral("rigctld"), QStringLiteral("--beamwidth"), QStringLiteral("2")} + site), std::size_t(1));
    QCOMPARE(mode({QStringLiteral("--stow"), QStringLiteral("0,90")}), std::size_t(2));
    QCOMPARE(mode(QStringList{QStringLiteral("--sun-now")} + site), std::size_t(3));
    QCOMPARE(mode({QStringLiteral("--history")}), std::size_t(4));
    QCOMPARE(mode({QStringLiteral("--set-flux"), QStringLiteral("2026-12-01,120")}), std::size_t(5));
    // --flux alone is the record's flux; --flux SFU stays the sun-noise run's.
    QCOMPARE(mode(heliotrope::rotctl::withStowValue({QStringLiteral("--flux"), QStringLiteral("--day"), QStringLiteral("2026-12-01")})),
             std::size_t(7));
    QCOMPARE(heliotrope::rotctl::withStowValue({QStringLiteral("--flux"), QStringLiteral("1e2"), QStringLiteral("--flux")}),
             (QStringList{QStringLiteral("--flux"), QStringLiteral("1e2"), QStringLiteral("--flux=")}));
    QCOMPARE(mode(QStringList{QStringLiteral("--fit-pointing-model")} + site), std::size_t(6));

    // A measurement asked of the running bridge carries its pattern and its
    // own options; a stow its position; neither a run.
    const CommandLine<RotctlMode> calibrate = heliotrope::rotctl::parseRotctlCommandLine(
        bridgeArguments(QStringList{QStringLiteral("--calibrate"), QStringLiteral("five"), QStringLiteral("--power"), QStringLiteral("rigctld"), QStringLiteral("--beamwidth"), QStringLiteral("2"), QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:4600")} + site));
    QVERIFY2(calibrate.options, qPrintable(calibrate.text));
    const auto& asked = std::get<heliotrope::rotctl::MeasurementMode>(*calibrate.options);
    QCOMPARE(asked.asking.pattern, QStringLiteral("five"));
    QVERIFY(asked.asking.ask == heliotrope::rotctl::BridgeAsk::Measure && asked.run.calibration && !asked.run.sunNoise);
    QCOMPARE(asked.bridge.rotctldPort, quint16(4600));
    QCOMPARE(asked.asking.optionsNotCarried, QStringList{QStringLiteral("--rotctld 127.0.0.1:4600")});
    const CommandLine<RotctlMode> stow = heliotrope::rotctl::parseRotctlCommandLine(bridgeArguments({QStringLiteral("--stow"), QStringLiteral("0,90")}));
    const auto& stowing = std::get<heliotrope::rotctl::AskOptions>(*stow.options);
    QVERIFY(stowing.ask == heliotrope::rotctl::BridgeAsk::Stow && stowing.stowAt && stowing.stowAt->elevation == 90.0);
}

void TestCommandLines::sunNoiseRunIsTakenAsTyped()
{
    const CommandLine<BridgeLine> plain = parseBridgeLine(bridgeArguments({}));
    QVERIFY(plain.options);
    QVERIFY(!plain.options->sunNoise);

    const CommandLine<BridgeLine> typed = parseBridgeLine(bridgeArguments(
        {"--sun-noise", "--site", "35.66,139.34", "--power", "rigctld:127.0.0.1:4600", "--repeat", "3", "--dwell", "2.5", "--flux", "100", "--frequency", "10368", "--dish-diameter",
         "1.2", "--efficiency", "0.6", "--system-temperature", "100", "--cold", "200,45", "--csv", "/tmp/y.csv"}));
    QVERIFY2(typed.options && typed.options->sunNoise, qPrintable(typed.text));
    const SunNoiseOptions& run = *typed.options->sunNoise;
    QCOMPARE(run.repeats, 3);
    QCOMPARE(typed.options->measurement.dwellSeconds.value_or(0), 2.5);
    QCOMPARE(run.fluxSfu.value_or(0), 100.0);
    QCOMPARE(run.efficiency, 0.6);
    QCOMPARE(run.systemTemperatureKelvin.value_or(0), 100.0);
    QCOMPARE(run.coldAzimuth.value_or(-1), 200.0);
    QCOMPARE(run.coldElevation.value_or(-1), 45.0);
    QCOMPARE(run.csvPath, QStringLiteral("/tmp/y.csv"));
    QVERIFY(typed.options->measurement.power.kind == PowerSourceChoice::Kind::Rigctld);
    QCOMPARE(typed.options->measurement.power.port, quint16(4600));
    QVERIFY(run.hasStation());

    // Without --cold, the offset is counted in the beamwidth 70° λ / D.
    const CommandLine<BridgeLine> offset = parseBridgeLine(
        bridgeArguments({"--sun-noise", "--site", "35.66,139.34", "--power", "command:/bin/echo 1", "--frequency", "10368", "--dish-diameter", "1.2", "--cold-offset", "4"}));
    QVERIFY2(offset.options && offset.options->sunNoise, qPrintable(offset.text));
    QCOMPARE(offset.options->sunNoise->coldOffsetBeamwidths, 4.0);
    QVERIFY(!offset.options->measurement.dwellSeconds);  // the run's own default applies
    QVERIFY(std::abs(offset.options->sunNoise->beamwidthDegrees().value_or(0) - 1.6867) < 1e-4);
    QVERIFY(!offset.options->sunNoise->hasStation());
}

void TestCommandLines::unusableSunNoiseValuesAreRefusedInBothLanguages_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("english");
    const QStringList cold{"--sun-noise", "--site", "35.66,139.34", "--power", "rigctld", "--cold", "200,45"};
    QTest::newRow("no site") << QStringList{"--sun-noise", "--power", "rigctld", "--cold", "200,45"} << "--site"
                             << "needs --site";
    QTest::newRow("no power source") << QStringList{"--sun-noise", "--site", "35.66,139.34", "--cold", "200,45"}
                                     << "--power"
                                     << "where to read the power";
    QTest::newRow("both runs at once") << cold + QStringList{"--calibrate", "cross", "--beamwidth", "1.7"} << "--calibrate"
                                       << "one run at a time";
    QTest::newRow("negative flux") << cold + QStringList{"--flux", "-5", "--frequency", "1296", "--dish-diameter", "3"}
                                   << "--flux"
                                   << "out of range";
    QTest::newRow("efficiency above 1") << cold + QStringList{"--efficiency", "1.2"} << "--efficiency"
                                        << "at most 1";
    QTest::newRow("efficiency 0") << cold + QStringList{"--efficiency", "0"} << "--efficiency"
                                  << "above 0";
    QTest::newRow("cold below the horizon") << QStringList{"--sun-noise", "--cold", "200,-3"} << "--cold"
                                            << "below the horizon";
    QTest::newRow("cold not two numbers") << QStringList{"--sun-noise", "--cold", "200"} << "--cold"
                                          << "AZ,EL";
    QTest::newRow("cold azimuth past 360") << QStringList{"--sun-noise", "--cold", "400,30"} << "--cold"
                                           << "azimuth";
    QTest::newRow("cold and cold offset") << cold + QStringList{"--cold-offset", "4"} << "--cold-offset"
                                          << "not both";
    QTest::newRow("no cold point known") << QStringList{"--sun-noise"} << "--cold"
                                         << "No cold-sky direction";
    QTest::newRow("cold offset inside the beam") << QStringList{"--sun-noise", "--frequency", "1296", "--dish-diameter",
                                                                "3", "--cold-offset", "1"}
                                                 << "--cold-offset"
                                                 << "out of range";
    QTest::newRow("repeat not whole") << cold + QStringList{"--repeat", "2.5"} << "--repeat"
                                      << "whole number";
    QTest::newRow("repeat zero") << cold + QStringList{"--repeat", "0"} << "--repeat"
                                 << "out of range";
    QTest::newRow("dwell not a number") << cold + QStringList{"--dwell", "long"} << "--dwell"
                                        << "not a number";
    QTest::newRow("frequency in hertz") << cold + QStringList{"--flux", "100", "--frequency", "1296000000", "--dish-diameter", "3"}
                                        << "--frequency"
                                        << "out of range";
    QTest::newRow("flux without dish") << cold + QStringList{"--flux", "100", "--frequency", "1296"}
                                       << "--dish-diameter"
                                       << "also need";
    QTest::newRow("system temperature negative") << cold + QStringList{"--system-temperature", "-20"}
                                                 << "--system-temperature"
                                                 << "out of range";
    QTest::newRow("run option without the run") << QStringList{"--flux", "100"} << "--flux"
                                                << "goes with --sun-noise";
    QTest::newRow("csv without a name") << cold + QStringList{"--csv", ""} << "--csv"
                                        << "no file name";
}

void TestCommandLines::unusableSunNoiseValuesAreRefusedInBothLanguages()
{
    QFETCH(QStringList, options);
    QFETCH(QString, named);
    QFETCH(QString, english);
    const CommandLine<BridgeLine> bridge = parseBridgeLine(bridgeArguments(options));
    QVERIFY(!bridge.options);
    QCOMPARE(bridge.exitCode, kUsageExitCode);
    QVERIFY2(bridge.text.contains(named), qPrintable(bridge.text));
    QVERIFY2(bridge.text.contains(english), qPrintable(bridge.text));
    // Japanese as well: at least one character outside ASCII on the line naming it.
    QVERIFY2(std::any_of(bridge.text.cbegin(), bridge.text.cend(), [](QChar c) { return c.unicode() > 0x2FFF; }),
             qPrintable(bridge.text));
}

void TestCommandLines::bothProgramsTakeTheSameAllowList()
{
    const QStringList allowing{QStringLiteral("--listen"), QStringLiteral("0.0.0.0"), QStringLiteral("--allow"),
                               QStringLiteral("192.168.1.20"), QStringLiteral("--allow"), QStringLiteral("2001:db8::/32")};
    const CommandLine<BridgeLine> bridge = parseBridgeLine(bridgeArguments(allowing));
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
    struct Program {
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
             const CommandLine<BridgeLine> read = parseBridgeLine(bridgeArguments(options));
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
        // The version: exit 0 and one line, whatever else the line holds.
        const auto [version, versionCode] = program.parse({QStringLiteral("--port"), QStringLiteral("x"), QStringLiteral("--version")});
        QCOMPARE(versionCode, 0);
        QVERIFY2(QRegularExpression(QStringLiteral("^\\S+ \\d+\\.\\d+\\.\\d+$")).match(version).hasMatch(), qPrintable(version));
        const auto [fine, fineCode] = program.parse({QStringLiteral("--port"), QStringLiteral("0")});
        QVERIFY2(fineCode == -1, qPrintable(fine));
    }
}

void TestCommandLines::simulatorOnASerialLine()
{
    const auto read = [](const QStringList& options) { return parseSimulatorCommandLine(QStringList{QStringLiteral("heliotrope-sim")} + options); };
    // The UDP controller keeps its rates; a serial one turns as a G-5500.
    const CommandLine<SimulatorOptions> udp = read({});
    QVERIFY(udp.options && !udp.options->serial);
    QCOMPARE(udp.options->elevationRate, 6.0);
    const CommandLine<SimulatorOptions> gs232 = read({QStringLiteral("--serial"), QStringLiteral("GS232B")});
    QVERIFY2(gs232.options && gs232.options->serial, qPrintable(gs232.text));
    QCOMPARE(gs232.options->serial->motion.azimuthRate, 6.0);
    QCOMPARE(gs232.options->serial->motion.elevationRate, 2.7);
    QCOMPARE(gs232.options->serial->motion.deadBand, 0.4);
    const CommandLine<SimulatorOptions> spid = read({QStringLiteral("--serial"), QStringLiteral("rot2prog"), QStringLiteral("--resolution"),
                                                     QStringLiteral("1"), QStringLiteral("--az-rate"), QStringLiteral("60")});
    QVERIFY2(spid.options && spid.options->serial, qPrintable(spid.text));
    QCOMPARE(spid.options->serial->model.resolution, 1.0);
    QCOMPARE(spid.options->serial->motion.azimuthRate, 60.0);
    // Each rate to its own axis, and the finest step a controller offers.
    const CommandLine<SimulatorOptions> fine = read({QStringLiteral("--serial"), QStringLiteral("rot2prog"), QStringLiteral("--resolution"),
                                                     QStringLiteral("0.1"), QStringLiteral("--az-rate"), QStringLiteral("5"),
                                                     QStringLiteral("--el-rate"), QStringLiteral("2")});
    QVERIFY2(fine.options && fine.options->serial, qPrintable(fine.text));
    QCOMPARE(fine.options->serial->model.resolution, 0.1);
    QCOMPARE(fine.options->serial->motion.azimuthRate, 5.0);
    QCOMPARE(fine.options->serial->motion.elevationRate, 2.0);

    for (const QStringList& wrong : {QStringList{QStringLiteral("--serial"), QStringLiteral("gs232c")},
                                     QStringList{QStringLiteral("--serial"), QStringLiteral("gs232b"), QStringLiteral("--resolution"), QStringLiteral("0.5")},
                                     QStringList{QStringLiteral("--serial"), QStringLiteral("rot2prog"), QStringLiteral("--resolution"), QStringLiteral("0.3")},
                                     QStringList{QStringLiteral("--serial"), QStringLiteral("easycomm2"), QStringLiteral("--silence-for"), QStringLiteral("5")},
                                     QStringList{QStringLiteral("--deadband"), QStringLiteral("0.4")}}) {
        const CommandLine<SimulatorOptions> refused = read(wrong);
        QVERIFY2(!refused.options && refused.exitCode == kUsageExitCode, qPrintable(wrong.join(QLatin1Char(' '))));
    }
}

void TestCommandLines::boundsAreThoseTheHelpStates_data()
{
    // Every option whose help gives a range of one number ("0～1100") is
    // tried at each end, taken, and just beyond, refused and named: the
    // bounds are what the operator reads, not what the code happens to hold.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("option");
    QTest::addColumn<bool>("taken");
    // Whatever else is wrong with these, each option on trial is read.
    const QStringList base{"--true-sun", "--site", "35.66,139.34", "--refraction", "radio", "--sun-noise",
                           "--power", "rigctld", "--frequency", "1296", "--dish-diameter", "3",
                           "--watch-power", "rigctld", "--watch-beamwidth", "2.5"};
    const QString help = parseBridgeLine(bridgeArguments({QStringLiteral("--help")})).text;
    static const QRegularExpression start(QStringLiteral("^\\s+(?:-\\w, )?--([a-z][a-z-]*) <([^>]*)>"));
    static const QRegularExpression range(QStringLiteral("(-?\\d+(?:\\.\\d+)?)～(-?\\d+(?:\\.\\d+)?)"));
    QString name;
    QString placeholder;
    QString block;
    int rows = 0;
    const auto finish = [&] {
        const QRegularExpressionMatch bounds = range.match(block);
        if (name.isEmpty() || !bounds.hasMatch() || placeholder.contains(QLatin1Char(',')) || placeholder.contains(QLatin1Char('|')))
            return;
        const double low = bounds.captured(1).toDouble();
        const double high = bounds.captured(2).toDouble();
        const double beyond = (high - low) / 1000;
        const QString option = QStringLiteral("--") + name;
        for (const auto& [value, taken] : {std::pair{low, true}, std::pair{high, true}, std::pair{low - beyond, false}, std::pair{high + beyond, false}}) {
            QTest::addRow("%s %g", qPrintable(option), value) << base + QStringList{option, QString::number(value, 'g', 10)} << option << taken;
            ++rows;
        }
    };
    for (const QString& line : help.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = start.match(line);
        if (match.hasMatch() || !line.startsWith(QLatin1Char(' '))) {
            finish();
            name = match.captured(1);
            placeholder = match.captured(2);
            block.clear();
        }
        block += line;
    }
    finish();
    QVERIFY2(rows >= 16, "the help states fewer ranges than it did");
}

void TestCommandLines::boundsAreThoseTheHelpStates()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, option);
    QFETCH(bool, taken);
    const CommandLine<BridgeLine> bridge = parseBridgeLine(bridgeArguments(arguments));
    const bool named = bridge.exitCode != 0 && bridge.text.contains(option);
    QVERIFY2(named != taken, qPrintable(bridge.text));
}

namespace {

// The number an option's help gives as its default, or nothing.
std::optional<double> helpDefault(const QString& help, const QString& option)
{
    const qsizetype at = help.indexOf(QRegularExpression(QStringLiteral("\\s%1 <").arg(QRegularExpression::escape(option))));
    if (at < 0)
        return std::nullopt;
    const qsizetype next = help.indexOf(QRegularExpression(QStringLiteral("\\n  +(-\\w, )?--")), at + 1);
    static const QRegularExpression stated(QStringLiteral("\\(default\\s+(-?\\d+(?:\\.\\d+)?)[;,)]"));
    const QRegularExpressionMatch match = stated.match(help.mid(at, next - at).simplified());
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1).toDouble();
}

template <typename Options>
void verifyDefaults(const CommandLine<Options>& help, const CommandLine<Options>& plain,
                    const std::vector<std::pair<QString, std::function<double(const Options&)>>>& fields)
{
    QVERIFY2(plain.options, qPrintable(plain.text));
    for (const auto& [option, field] : fields) {
        const std::optional<double> stated = helpDefault(help.text, option);
        QVERIFY2(stated, qPrintable(option + QStringLiteral(": no default in the help")));
        QVERIFY2(std::abs(*stated - field(*plain.options)) < 1e-9,
                 qPrintable(QStringLiteral("%1: the help says %2, the program takes %3").arg(option).arg(*stated).arg(field(*plain.options))));
    }
}

}  // namespace

void TestCommandLines::defaultsAreThoseTheHelpStates()
{
    // Each default the help states is the one the program runs with.
    using Sim = SimulatorOptions;
    verifyDefaults<Sim>(parseSimulatorCommandLine({"heliotrope-sim", "--help"}), parseSimulatorCommandLine({"heliotrope-sim"}),
                        {{"--port", [](const Sim& o) { return double(o.port); }},
                         {"--az-rate", [](const Sim& o) { return o.azimuthRate; }},
                         {"--el-rate", [](const Sim& o) { return o.elevationRate; }},
                         {"--report-ms", [](const Sim& o) { return double(o.reportIntervalMs); }}});
    using Radiometer = heliotrope::radiometer::RadiometerOptions;
    verifyDefaults<Radiometer>(heliotrope::radiometer::parseRadiometerCommandLine({"heliotrope-radiometer-sim", "--help"}),
                               heliotrope::radiometer::parseRadiometerCommandLine({"heliotrope-radiometer-sim", "--site", "35.66,139.34"}),
                               {{"--beamwidth", [](const Radiometer& o) { return o.beam.beamwidth; }},
                                {"--peak", [](const Radiometer& o) { return o.beam.peak; }},
                                {"--baseline", [](const Radiometer& o) { return o.beam.baseline; }},
                                {"--noise", [](const Radiometer& o) { return o.noise; }},
                                {"--rigctld-port", [](const Radiometer& o) { return double(o.rigctldPort); }},
                                {"--clock-offset", [](const Radiometer& o) { return o.clockOffsetSeconds; }}});
    using Bridge = BridgeLine;
    const auto run = [](const Bridge& o) { return *o.sunNoise; };
    verifyDefaults<Bridge>(parseBridgeLine(bridgeArguments({"--help"})),
                           parseBridgeLine(bridgeArguments({"--sun-noise", "--site", "35.66,139.34", "--power", "rigctld", "--cold", "200,45"})),
                           {{"--port", [](const Bridge& o) { return double(o.port); }},
                            {"--poll-ms", [](const Bridge& o) { return double(o.pollIntervalMs); }},
                            {"--threshold", [](const Bridge& o) { return o.threshold; }},
                            {"--min-interval", [](const Bridge& o) { return o.minIntervalSeconds; }},
                            {"--temperature", [](const Bridge& o) { return o.trueSun.atmosphere.temperature; }},
                            {"--humidity", [](const Bridge& o) { return 100 * o.trueSun.atmosphere.relativeHumidity; }},
                            {"--cold-offset", [run](const Bridge& o) { return run(o).coldOffsetBeamwidths; }},
                            {"--repeat", [run](const Bridge& o) { return double(run(o).repeats); }},
                            {"--efficiency", [run](const Bridge& o) { return run(o).efficiency; }},
                            {"--settle-tolerance", [](const Bridge& o) { return o.measurement.settleToleranceDegrees; }},
                            {"--settle-timeout", [](const Bridge& o) { return o.measurement.settleTimeoutSeconds; }},
                            {"--clock-offset", [](const Bridge& o) { return o.measurement.clockOffsetSeconds; }},
                            {"--health-drop", [](const Bridge& o) { return o.measurement.healthDropDecibels; }}});
}

void TestCommandLines::physicalRadiometerRefusesInBothLanguages()
{
    const QStringList site{"heliotrope-radiometer-sim", "--site", "35,135"};
    const auto parsed = [&](const QStringList& more) { return heliotrope::radiometer::parseRadiometerCommandLine(site + more); };
    const auto model = parsed({"--lna-step", "2025-03-20T03:00:00,2", "--rain", "1742439600,10,3", "--rain", "1742443200,5,1"});
    QVERIFY2(model.options && model.options->physical, qPrintable(model.text));
    QCOMPARE(model.options->physical->lnaStep->utc, 1742439600.0);  // no zone: UTC
    QCOMPARE(model.options->physical->rains.size(), std::size_t(2));
    QCOMPARE(model.options->physical->rains[1].seconds, 300.0);
    QVERIFY(!parsed({}).options->physical);
    // Each refused, naming the option at fault (the first given).
    for (const QStringList& bad : {QStringList{"--gain-drift", "1,25"}, {"--lna-step", "soon,3"}, {"--rain", "0,0,3"}, {"--spikes-per-hour", "1,2,3,4"}, {"--efficiency", "0"}, {"--flux-rotation", "150", "--flux", "100"}, {"--peak", "3", "--flux", "100"}, {"--flux-history", "/nonexistent/flux"}, {"--kelvin"}}) {
        const auto refused = parsed(bad);
        QVERIFY2(!refused.options && refused.exitCode == kUsageExitCode && refused.text.contains(bad.constFirst()),
                 qPrintable(bad.join(' ') + ": " + refused.text));
        QVERIFY2(refused.text.contains(QRegularExpression(QStringLiteral("[\\x{3040}-\\x{30ff}]"))), qPrintable(refused.text));
    }
}

QTEST_GUILESS_MAIN(TestCommandLines)
#include "tst_commandlines.moc"
