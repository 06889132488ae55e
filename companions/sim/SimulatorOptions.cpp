#include "companions/sim/SimulatorOptions.h"

#include "companions/common/CompanionCommandLine.h"

#include <span>

using heliotrope::companions::allowedSenderOption;
using heliotrope::companions::CommandLine;
using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;
using heliotrope::companions::senderAllowListOption;

namespace heliotrope::sim {

namespace {

// Slower than this no rotator turns usefully; faster than this no antenna can.
constexpr double kMinRate = 0.01;
constexpr double kMaxRate = 360.0;
constexpr double kMinReportMs = 20;
constexpr double kMaxReportMs = 60000;

// Coarser than any controller reads; a dead band wider than this is a fault
// of the rotator, not a setting.
constexpr double kMaxResolution = 10;
constexpr double kMaxDeadBand = 5;
constexpr double kMaxSilenceS = 86400;

// The simulator's options, in the order --help lists them (--allow, shared
// with the bridge, follows --port).
const OptionRow kSimulatorOptions[] = {
    {"listen",
     "待ち受ける IP アドレス（既定 127.0.0.1）。\n"
     "Address to listen on (default 127.0.0.1).",
     "address", "127.0.0.1"},
    {"port",
     "待ち受ける UDP ポート（既定 10006、0 は空きポート）。\n"
     "UDP port to listen on (default 10006; 0: any free port, printed at start).",
     "port", "10006"},
    {"az-rate",
     "方位角の旋回速度、度/秒（既定 6。--serial では G-5500 の 6）。\n"
     "Azimuth slew rate, degrees per second (default 6; with --serial 6, a G-5500's).",
     "deg/s", "6"},
    {"el-rate",
     "仰角の旋回速度、度/秒（既定 6。--serial では G-5500 の 2.7）。\n"
     "Elevation slew rate, degrees per second (default 6; with --serial 2.7, a G-5500's).",
     "deg/s", "6"},
    {"report-ms",
     "位置を報告する間隔、ミリ秒（既定 500）。\n"
     "Interval between position reports, ms (default 500).",
     "ms", "500"},
    {"quiet",
     "設定点が変わるたびの表示をしない。\n"
     "Do not print a line per change of set-point."},
    {"serial",
     "UDP の代わりに疑似端末でコントローラとして話す: gs232a（rotctld -m 601）、gs232b（-m 603）、"
     "easycomm2（-m 202）、rot2prog（-m 901）。端末のパスを起動時に表示します。\n"
     "Speak a controller's protocol on a pseudo-terminal instead of UDP: gs232a (rotctld -m 601),\n"
     "gs232b (-m 603), easycomm2 (-m 202) or rot2prog (-m 901). The device path is printed at start.",
     "protocol"},
    {"link",
     "端末へのシンボリックリンクをこのパスに作る（--serial）。\n"
     "Make a symbolic link to the device at this path (--serial).",
     "path"},
    {"resolution",
     "設定と読み取りの刻み、度（--serial。既定 GS-232 1、EasyComm II 0.1、Rot2Prog 0.5）。\n"
     "Step of set-points and readings, degrees (--serial; default GS-232 1, EasyComm II 0.1, Rot2Prog 0.5).",
     "deg"},
    {"deadband",
     "目標からこの角度以内でモーターを止める、度（--serial。既定 0.4）。\n"
     "The motor stops within this of the target, degrees (--serial; default 0.4).",
     "deg", "0.4"},
    {"silence-after",
     "起動からこの秒数で回線を沈黙させる（--serial。SIGUSR1 でも切り替え）。\n"
     "The line goes silent this many seconds after start (--serial; SIGUSR1 toggles it too).",
     "s"},
    {"silence-for",
     "沈黙をこの秒数で終える（既定 SIGUSR1 まで）。\n"
     "The silence ends after this many seconds (default: at SIGUSR1).",
     "s"},
    {"fail",
     "ローテーターを故障させる: stuck は回らず、frozen は読みが止まる（--serial）。\n"
     "Make the rotator fail --fail-after seconds after start: stuck (commands taken, the motors do not turn: a motor, a "
     "fuse, ice) or frozen (the rotator turns, the controller's reading does not change) (--serial).",
     "stuck|frozen"},
    {"fail-after",
     "起動から --fail の故障を起こすまでの秒数（既定 0）。\nSeconds after start at which --fail's fault begins (default 0).",
     "s", "0"},
    {"fail-for",
     "故障をこの秒数で直す（既定: 直らない）。\nThe fault ends after this many seconds (default: it lasts).",
     "s"},
    {"command-log",
     "受けた設定点コマンドを CSV に記録する（UTC ミリ秒、コマンド、方位角、仰角、範囲内か）。\n"
     "Write each set-point command received to a CSV file (UTC ms, command, azimuth, elevation, within limits).",
     "file"},
    {"verbose",
     "回線のやりとりを 1 メッセージ 1 行で標準エラーに表示する（--serial）。\n"
     "Show the dialogue on the line, one message a line, on stderr (--serial)."},
    {"antenna-file",
     "アンテナが本当に向いている方向（刻みで丸めない）を 0.1 秒ごとにこのファイルへ書く。模擬ラジオメーターの --antenna-file 用（--serial）。\n"
     "Write where the dish really points (not rounded to the controller's step) to this file every 0.1 s, "
     "for the simulated radiometer's --antenna-file (--serial).",
     "file"},
};

// The serial controller's options, read when --serial is given.
void readSerialOptions(CompanionCommandLine& commandLine, SimulatorOptions& options)
{
    const QCommandLineParser& parser = commandLine.parser();
    const QString serial = parser.value(QStringLiteral("serial"));
    const std::optional<controllers::ControllerProtocol> protocol = controllers::protocolNamed(serial);
    if (!protocol) {
        commandLine.problems() << QStringLiteral("--serial: %1 は扱えません（gs232a, gs232b, easycomm2, rot2prog）。\n"
                                                 "--serial: %1 is not one of gs232a, gs232b, easycomm2, rot2prog.")
                                      .arg(serial);
        return;
    }
    controllers::SerialControllerOptions serialOptions;
    serialOptions.model = controllers::shippedModel(*protocol);
    if (parser.isSet(QStringLiteral("resolution"))) {
        double step = serialOptions.model.resolution;
        commandLine.readNumber(QStringLiteral("resolution"), 0.1, kMaxResolution, step);
        if (!controllers::protocolCarries(*protocol, step)) {
            commandLine.problems() << QStringLiteral("--resolution: %1° は %2 では表せません（GS-232 は 1° の倍数、EasyComm II は 0.1° の倍数、Rot2Prog は 1, 0.5, 0.2, 0.1）。\n"
                                                     "--resolution: %1° cannot be carried by %2 (GS-232: multiples of 1°, EasyComm II: of 0.1°, Rot2Prog: 1, 0.5, 0.2 or 0.1).")
                                          .arg(parser.value(QStringLiteral("resolution")), serial);
        }
        serialOptions.model.resolution = step;
    }
    commandLine.readNumber(QStringLiteral("deadband"), 0, kMaxDeadBand, serialOptions.motion.deadBand);
    if (parser.isSet(QStringLiteral("silence-after")))
        commandLine.readNumber(QStringLiteral("silence-after"), 0, kMaxSilenceS, serialOptions.silenceAfterS);
    if (parser.isSet(QStringLiteral("silence-for"))) {
        commandLine.readNumber(QStringLiteral("silence-for"), 0, kMaxSilenceS, serialOptions.silenceForS);
        if (!parser.isSet(QStringLiteral("silence-after")))
            commandLine.problems() << QStringLiteral("--silence-for は --silence-after と共に使います。\n--silence-for needs --silence-after.");
    }
    if (parser.isSet(QStringLiteral("fail"))) {
        const QString fault = parser.value(QStringLiteral("fail")).trimmed();
        if (fault == QLatin1String("stuck"))
            serialOptions.fault = controllers::RotatorFault::Stuck;
        else if (fault == QLatin1String("frozen"))
            serialOptions.fault = controllers::RotatorFault::Frozen;
        else
            commandLine.problems() << QStringLiteral("--fail 「%1」 は stuck か frozen にしてください。\n--fail \"%1\": give stuck or frozen.").arg(fault);
        commandLine.readNumber(QStringLiteral("fail-after"), 0, kMaxSilenceS, serialOptions.failAfterS);
        if (parser.isSet(QStringLiteral("fail-for")))
            commandLine.readNumber(QStringLiteral("fail-for"), 0, kMaxSilenceS, serialOptions.failForS);
    } else if (parser.isSet(QStringLiteral("fail-after")) || parser.isSet(QStringLiteral("fail-for"))) {
        commandLine.problems() << QStringLiteral("--fail-after と --fail-for は --fail と共に使います。\n--fail-after and --fail-for need --fail.");
    }
    // Unless given, the serial controllers keep a G-5500's rates (their
    // motion settings' own), not the UDP controller's.
    if (parser.isSet(QStringLiteral("az-rate")))
        serialOptions.motion.azimuthRate = options.azimuthRate;
    if (parser.isSet(QStringLiteral("el-rate")))
        serialOptions.motion.elevationRate = options.elevationRate;
    serialOptions.linkPath = parser.value(QStringLiteral("link"));
    serialOptions.commandLogPath = parser.value(QStringLiteral("command-log"));
    serialOptions.antennaFilePath = parser.value(QStringLiteral("antenna-file"));
    serialOptions.verbose = parser.isSet(QStringLiteral("verbose"));
    serialOptions.quiet = options.quiet;
    options.serial = serialOptions;
}

}  // namespace

CommandLine<SimulatorOptions> parseSimulatorCommandLine(const QStringList& arguments)
{
    CompanionCommandLine commandLine(QStringLiteral(
        "ソフトウェアだけのアンテナコントローラ。heliotrope の指向データを UDP で受け、\n"
        "模擬アンテナを一定の速さで設定点へ回し、その位置を送信元へ報告します。\n"
        "--serial では実在のコントローラ（GS-232A/B、EasyComm II、Rot2Prog）の代わりに\n"
        "疑似端末で Hamlib の rotctld と話します。\n"
        "An antenna controller that exists only in software: receives heliotrope's\n"
        "pointing messages over UDP, turns a simulated antenna towards each set-point\n"
        "at a finite rate and reports its position back to the sender. With --serial\n"
        "it stands in for a real controller (GS-232A/B, EasyComm II, Rot2Prog) on a\n"
        "pseudo-terminal, for Hamlib's rotctld."));
    commandLine.addOptions(std::span(kSimulatorOptions).first(2));
    commandLine.addOption(allowedSenderOption());
    commandLine.addOptions(std::span(kSimulatorOptions).subspan(2));
    if (const std::optional<CommandLine<SimulatorOptions>> end = commandLine.parse<SimulatorOptions>(arguments))
        return *end;

    const QCommandLineParser& parser = commandLine.parser();
    SimulatorOptions options;
    commandLine.readListenAddress(QStringLiteral("listen"), options.listenAddress);
    commandLine.readPort(QStringLiteral("port"), true, options.port);
    commandLine.take(senderAllowListOption(QStringLiteral("allow"), parser.values(QStringLiteral("allow")), options.listenAddress),
                     options.allowedSenders);
    commandLine.readNumber(QStringLiteral("az-rate"), kMinRate, kMaxRate, options.azimuthRate);
    commandLine.readNumber(QStringLiteral("el-rate"), kMinRate, kMaxRate, options.elevationRate);
    double reportInterval = options.reportIntervalMs;
    commandLine.readNumber(QStringLiteral("report-ms"), kMinReportMs, kMaxReportMs, reportInterval);
    options.reportIntervalMs = static_cast<int>(reportInterval);
    options.quiet = parser.isSet(QStringLiteral("quiet"));
    if (parser.isSet(QStringLiteral("serial"))) {
        readSerialOptions(commandLine, options);
    } else {
        for (const char* serialOnly : {"link", "resolution", "deadband", "silence-after", "silence-for", "fail", "fail-after", "fail-for",
                                       "command-log", "verbose", "antenna-file"}) {
            if (parser.isSet(QString::fromLatin1(serialOnly))) {
                commandLine.problems() << QStringLiteral("--%1 は --serial と共に使います。\n--%1 goes with --serial.")
                                              .arg(QString::fromLatin1(serialOnly));
            }
        }
    }

    return commandLine.result(options);
}

}  // namespace heliotrope::sim
