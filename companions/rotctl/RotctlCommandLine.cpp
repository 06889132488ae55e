#include "companions/rotctl/RotctlCommandLine.h"

#include "companions/common/CompanionCommandLine.h"
#include "companions/measure/SystemTemperatureOptions.h"
#include "companions/rotctl/BurstOptions.h"
#include "companions/rotctl/bridge/MeasurementRequestLine.h"
#include "companions/rotctl/truesun/TrueSunOptions.h"
#include "companions/station/StationProtocol.h"

#include <QRegularExpression>

#include <span>

using heliotrope::companions::allowedSenderOption;
using heliotrope::companions::CommandLine;
using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;
using heliotrope::companions::senderAllowListOption;

namespace heliotrope::rotctl {

namespace {

constexpr double kMinPollMs = 100;
constexpr double kMaxPollMs = 60000;
constexpr double kMaxThreshold = 30;
constexpr double kMaxMinInterval = 3600;
constexpr double kMaxOffset = 180;

// The bridge's own options, in the order --help lists them.
const OptionRow kBridgeOptions[] = {
    {"listen",
     "指向データを待ち受ける IP アドレス（既定 127.0.0.1）。\nAddress to listen on (default 127.0.0.1).",
     "address", "127.0.0.1"},
    {"port",
     "指向データを待ち受ける UDP ポート（既定 10006、0 は空きポート）。\nUDP port to listen on (default 10006; 0: any free port, printed at start).",
     "port", "10006"},
    {"rotctld",
     "rotctld のアドレスと TCP ポート（既定 127.0.0.1:4533）。\n"
     "rotctld's address and TCP port (default 127.0.0.1:4533).",
     "host:port", "127.0.0.1:4533"},
    {"poll-ms",
     "p で位置を読む最短の間隔、ミリ秒（既定 1000）。\n"
     "Shortest interval between position reads with p, ms (default 1000).",
     "ms", "1000"},
    {"threshold",
     "ローテーターが設定点からこの角度以内なら P を送らない、度（既定 0.5）。\n"
     "No P while the rotator is within this of the set-point, degrees (default 0.5).",
     "deg", "0.5"},
    {"resolution",
     "ローテーターが読み・受け付ける刻み、度（既定: 読みから学ぶ。GS-232 は 1、EasyComm II は 0.1）。\n"
     "The step the rotator reports and takes commands in, degrees (default: learnt from its readings; "
     "1 for a GS-232, 0.1 for EasyComm II).",
     "deg"},
    {"deadband",
     "ローテーターが目標の手前で止まる不感帯、度（既定: 止まった所から学ぶ）。\n"
     "The dead band the rotator stops in short of its target, degrees (default: learnt from where it stops).",
     "deg"},
    {"min-interval",
     "P と P の最短の間隔、秒（既定 2）。\nShortest interval between two P commands, seconds (default 2).",
     "s", "2"},
    {"az-range",
     "ローテーターの方位角の範囲: 360（0～360、既定）、180（-180～180）、\n"
     "450（0～360 と北を越えて方位角の上限まで、最大 450）。\n"
     "The rotator's azimuth range: 360 (0 to 360, default), 180 (-180 to "
     "180), 450 (0 to 360 and on past north up to the azimuth limit, at most 450).",
     "360|180|450", "360"},
    {"az-min",
     "方位角の下限、度（既定: rotctld の \\dump_state の値）。\n"
     "Lowest azimuth, degrees (default: what rotctld reports in \\dump_state).",
     "deg"},
    {"az-max",
     "方位角の上限、度（既定: rotctld の値）。\nHighest azimuth, degrees (default: rotctld's).",
     "deg"},
    {"el-min",
     "仰角の下限、度（既定: rotctld の値）。\nLowest elevation, degrees (default: rotctld's).",
     "deg"},
    {"el-max",
     "仰角の上限、度（既定: rotctld の値）。\nHighest elevation, degrees (default: rotctld's).",
     "deg"},
    {"az-offset",
     "ローテーターの方位角の読みが実際の向きより大きい分、度（既定: 最後に保存した較正値、なければ 0）。\n"
     "How much the rotator's azimuth reading exceeds the true direction, degrees (default: the last "
     "calibration saved, else 0).",
     "deg", "0"},
    {"el-offset",
     "ローテーターの仰角の読みが実際の向きより大きい分、度（既定: 最後に保存した較正値、なければ 0）。\n"
     "How much the rotator's elevation reading exceeds the true direction, degrees (default: the last "
     "calibration saved, else 0).",
     "deg", "0"},
    {"log",
     "位置を読むたびに 1 行の CSV（JST 時刻、設定点、位置、追尾誤差、本当の太陽、天球上の誤差）を追記する。\n"
     "Append one CSV row per position read (JST time, set-point, position, tracking error, real "
     "sun, errors on the sky).",
     "file"},
    {"stow-position",
     "stow でローテーターを向ける位置、ローテーターの度で「方位角,仰角」（既定: Hamlib のパーク K）。\n"
     "Where stow takes the rotator, AZ,EL in the rotator's degrees (default: Hamlib's park, K).",
     "az,el"},
    {"stow-on-exit",
     "SIGTERM（systemd がサービスを止めるとき）を受けたら、ローテーターを格納してから終わる。\n"
     "On SIGTERM (systemd stopping the service), stow the rotator first, then end."},
    {"http",
     "局のページをブラウザーへ出す: 「アドレス:ポート」またはポートだけ（既定のアドレスはループバック 127.0.0.1、例 8734。0 は空きポート）。\n"
     "Serve the station's page to a browser on ADDRESS:PORT, or PORT alone on the loopback address "
     "127.0.0.1 (for example 8734; 0: any free port, printed at start).",
     "address:port"},
    {"http-control",
     "局のページから格納・停止・再開をできるようにする（状態フォルダーの合言葉が要ります）。\n"
     "Let the station's page stow, stop and resume, with the token kept in the station's state folder."},
};

// The asking commands: requests to the bridge that runs, over its socket.
const OptionRow kAskingOptions[] = {
    {"stow",
     "動いているブリッジに、設定点に従うのをやめてローテーターを格納させる（位置を省くとブリッジの "
     "--stow-position、なければパーク）。--resume まで保つ。\n"
     "Ask the running bridge to stop following set-points and stow the rotator at AZ,EL (alone: the "
     "bridge's --stow-position, else park); held until --resume.",
     "az,el"},
    {"stop-rotator",
     "動いているブリッジに、ローテーターをすぐ止めさせる（Hamlib の S）。--resume まで保つ。\n"
     "Ask the running bridge to stop the rotator at once (Hamlib's S); held until --resume."},
    {"resume",
     "動いているブリッジに、ふたたび設定点に従わせる。\nAsk the running bridge to follow the set-points again."},
    {"status",
     "動いているブリッジのしていること、ローテーターの位置、最後の設定点、学んだ刻みと不感帯、使っている較正を表示する。\n"
     "Show what the running bridge does, the rotator's position, the last set-point, the step and dead band "
     "it learnt and the calibration in use."},
};

// Everything the one table read, before the mode asked for takes its own part.
struct ReadLine {
    BridgeOptions bridge;
    RunOptions run;
    AskOptions asking;
    bool askingGiven = false;  // --stow, --stop-rotator, --resume or --status
    std::optional<HistoryOptions> history;
    std::optional<SetFluxOptions> setFlux;
    std::optional<FluxReportOptions> fluxReport;
    std::optional<PointingFitOptions> pointingFit;
};

// Rotator terms, as the station socket's stow takes them.
using station::kHighestStowAzimuth;
using station::kHighestStowElevation;
using station::kLowestStowAzimuth;
using station::kLowestStowElevation;

void readStowPosition(CompanionCommandLine& commandLine, const QString& name, std::optional<rotator::RotatorPosition>& into)
{
    const QString text = commandLine.parser().value(name);
    if (!commandLine.parser().isSet(name) || text.isEmpty())
        return;
    std::pair<double, double> pair;
    commandLine.take(heliotrope::companions::anglePairOption(name, text, kHighestStowAzimuth), pair);
    if (pair.first < kLowestStowAzimuth || pair.second < kLowestStowElevation || pair.second > kHighestStowElevation) {
        commandLine.problems() << QStringLiteral("--%1 「%2」: %3 です。\n--%1 \"%2\": %4.")
                                      .arg(name, text, station::stowBoundsJapanese(), station::stowBoundsEnglish());
        return;
    }
    into = rotator::RotatorPosition{pair.first, pair.second};
}

// --http: PORT alone listens on the loopback address, a stranger's network
// being no place for the page unless the operator names one.
void readStationPage(CompanionCommandLine& commandLine, BridgeOptions& options)
{
    const QCommandLineParser& parser = commandLine.parser();
    if (!parser.isSet(QStringLiteral("http"))) {
        if (parser.isSet(QStringLiteral("http-control")))
            commandLine.problems() << QStringLiteral("--http-control には --http アドレス:ポート が要ります。\n"
                                                     "--http-control needs --http ADDRESS:PORT.");
        return;
    }
    const QString text = parser.value(QStringLiteral("http")).trimmed();
    StationPageOptions page;
    page.control = parser.isSet(QStringLiteral("http-control"));
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QString() : text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool portRead = false;
    const uint port = text.mid(colon + 1).toUInt(&portRead);
    if (host == QLatin1String("localhost"))
        host = QStringLiteral("127.0.0.1");
    const QHostAddress address = host.isEmpty() ? QHostAddress(QHostAddress::LocalHost) : QHostAddress(host);
    if (!portRead || port > 65535 || address.isNull()) {
        commandLine.problems() << QStringLiteral("--http 「%1」 は「アドレス:ポート」かポート（0～65535）にしてください。\n"
                                                 "--http \"%1\": give ADDRESS:PORT or a PORT from 0 to 65535.")
                                      .arg(text);
        return;
    }
    page.address = address;
    page.port = static_cast<quint16>(port);
    options.page = page;
}

// The asking commands, one at a time and without a run of their own.
void readAsking(CompanionCommandLine& commandLine, ReadLine& read)
{
    const QCommandLineParser& parser = commandLine.parser();
    BridgeOptions& options = read.bridge;
    readStowPosition(commandLine, QStringLiteral("stow-position"), options.stowPosition);
    options.stowOnExit = parser.isSet(QStringLiteral("stow-on-exit"));
    int asked = 0;
    const std::pair<const char*, BridgeAsk> asks[] = {{"stow", BridgeAsk::Stow},
                                                      {"stop-rotator", BridgeAsk::StopRotator},
                                                      {"resume", BridgeAsk::Resume},
                                                      {"status", BridgeAsk::Status}};
    for (const auto& [name, ask] : asks) {
        if (parser.isSet(QString::fromLatin1(name))) {
            read.asking.ask = ask;
            read.askingGiven = true;
            ++asked;
        }
    }
    readStowPosition(commandLine, QStringLiteral("stow"), read.asking.stowAt);
    if (options.trueSun.nightStow && !options.stowPosition)
        commandLine.problems() << QStringLiteral("--night stow には夜に待つ位置 --stow-position 方位角,仰角 が要ります。\n"
                                                 "--night stow needs the position to wait at by night: --stow-position AZ,EL.");
    if (asked > 1 || (asked == 1 && (read.run.calibration || read.run.sunNoise || read.run.systemTemperature)))
        commandLine.problems() << QStringLiteral("--stow、--stop-rotator、--resume、--status、--calibrate、--sun-noise は一度に一つにしてください。\n"
                                                 "Give one of --stow, --stop-rotator, --resume, --status, --calibrate, --sun-noise at a time.");
}

// Where the bridge listens and whom it talks to.
void readLink(CompanionCommandLine& commandLine, BridgeOptions& options)
{
    const QCommandLineParser& parser = commandLine.parser();
    commandLine.readListenAddress(QStringLiteral("listen"), options.listenAddress);
    commandLine.readPort(QStringLiteral("port"), true, options.port);
    commandLine.take(senderAllowListOption(QStringLiteral("allow"), parser.values(QStringLiteral("allow")), options.listenAddress),
                     options.allowedSenders);
    commandLine.readHostAndPort(QStringLiteral("rotctld"), options.rotctldHost, options.rotctldPort);
    double poll = options.pollIntervalMs;
    commandLine.readNumber(QStringLiteral("poll-ms"), kMinPollMs, kMaxPollMs, poll);
    options.pollIntervalMs = static_cast<int>(poll);
    if (parser.isSet(QStringLiteral("log"))) {
        options.logPath = parser.value(QStringLiteral("log"));
        if (options.logPath.isEmpty())
            commandLine.problems() << QStringLiteral("--log にファイル名がありません。\n--log names no file.");
    }
}

// How the rotator is driven: when to command it, its range, limits and offsets.
void readRotator(CompanionCommandLine& commandLine, BridgeOptions& options)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    commandLine.readNumber(QStringLiteral("threshold"), 0, kMaxThreshold, options.threshold);
    commandLine.readNumber(QStringLiteral("min-interval"), 0, kMaxMinInterval, options.minIntervalSeconds);
    commandLine.readOptionalNumber(QStringLiteral("resolution"), 0.001, 10, options.resolution);
    commandLine.readOptionalNumber(QStringLiteral("deadband"), 0, 5, options.deadBand);
    const QString range = parser.value(QStringLiteral("az-range")).trimmed();
    if (range == QLatin1String("360"))
        options.azimuthRange = rotator::AzimuthRange::From0To360;
    else if (range == QLatin1String("180"))
        options.azimuthRange = rotator::AzimuthRange::FromMinus180To180;
    else if (range == QLatin1String("450"))
        options.azimuthRange = rotator::AzimuthRange::Overlap;
    else
        problems << QStringLiteral("--az-range 「%1」 は 360、180、450 のどれかにしてください。\n"
                                   "--az-range \"%1\": give 360, 180 or 450.")
                        .arg(parser.value(QStringLiteral("az-range")));
    commandLine.readOptionalNumber(QStringLiteral("az-min"), -360, 540, options.minAzimuth);
    commandLine.readOptionalNumber(QStringLiteral("az-max"), -360, 540, options.maxAzimuth);
    commandLine.readOptionalNumber(QStringLiteral("el-min"), -90, 180, options.minElevation);
    commandLine.readOptionalNumber(QStringLiteral("el-max"), -90, 180, options.maxElevation);
    if (options.minAzimuth && options.maxAzimuth && *options.minAzimuth >= *options.maxAzimuth)
        problems << QStringLiteral("--az-min は --az-max より小さくしてください。\n--az-min must be below --az-max.");
    if (options.minElevation && options.maxElevation && *options.minElevation > *options.maxElevation)
        problems << QStringLiteral("--el-min は --el-max 以下にしてください。\n--el-min must not exceed --el-max.");
    commandLine.readNumber(QStringLiteral("az-offset"), -kMaxOffset, kMaxOffset, options.azimuthOffset);
    commandLine.readNumber(QStringLiteral("el-offset"), -kMaxOffset, kMaxOffset, options.elevationOffset);
    options.offsetsGiven = parser.isSet(QStringLiteral("az-offset")) || parser.isSet(QStringLiteral("el-offset"));
}

// The sky (the true sun, its site and air) and the measurements on it, which
// share that sky: one --site, one refraction.
void readSkyAndRuns(CompanionCommandLine& commandLine, ReadLine& read)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    BridgeOptions& bridge = read.bridge;
    RunOptions& options = read.run;
    bridge.measurement = measure::readMeasurementOptions(commandLine);
    bridge.trueSun = readTrueSunOptions(commandLine);
    bridge.trueSun.clockOffsetSeconds = bridge.measurement.clockOffsetSeconds;
    // A measurement made here or asked of the bridge is under the command line's sky.
    options.measurement = bridge.measurement;
    options.sky = bridge.trueSun;
    options.calibration = measure::readCalibrationOptions(commandLine);
    if (options.calibration) {
        options.calibration->refraction = options.sky.refraction;
        options.calibration->atmosphere = options.sky.atmosphere;
        if (options.sky.site)
            options.calibration->site = *options.sky.site;
        else if (!parser.isSet(QStringLiteral("site")))
            problems << QStringLiteral("較正には --site でアンテナの場所が要ります。\n"
                                       "Calibration needs the antenna's site: --site LAT,LON[,HEIGHT_M].");
    }
    options.sunNoise = measure::readSunNoiseOptions(commandLine);
    options.systemTemperature = measure::readSystemTemperatureOptions(commandLine);
    if (options.systemTemperature && !options.sky.site)
        problems << QStringLiteral("システム雑音温度の測定には地点 --site が要ります（コールドスカイを太陽のそばに置き、局の記録に残すため）。\n"
                                   "A system temperature run needs --site (to place cold sky beside the sun and to keep it in the record).");
    bridge.trackingPower = readTrackingPowerOptions(commandLine, bridge.trueSun.enabled && bridge.trueSun.site.has_value());
    read.history = readHistoryOptions(commandLine);
    read.setFlux = readSetFluxOptions(commandLine);
    read.fluxReport = readFluxReportOptions(commandLine);
    const flux::FluxOptions burst = readBurstOptions(commandLine, bridge.trackingPower || read.fluxReport);
    if (bridge.trackingPower)
        bridge.trackingPower->flux = burst;
    if (read.fluxReport)
        read.fluxReport->flux = burst;
    const bool lookOnly = bridge.trueSun.lookOnly;
    if (read.fluxReport && (read.history || read.setFlux || options.calibration || options.sunNoise || options.systemTemperature || lookOnly || parser.isSet(QStringLiteral("fit-pointing-model")))) {
        problems << QStringLiteral("値なしの --flux は --history、--set-flux、--calibrate、--sun-noise、--sun-now、"
                                   "--fit-pointing-model と一緒には使えません。\n"
                                   "--flux alone goes without --history, --set-flux, --calibrate, --sun-noise, --sun-now "
                                   "or --fit-pointing-model.");
    }
    if (parser.isSet(QStringLiteral("set-flux")) && (read.history || options.calibration || options.sunNoise || lookOnly)) {
        problems << QStringLiteral("--set-flux は --history、--calibrate、--sun-noise、--sun-now と一緒には使えません。\n"
                                   "--set-flux goes alone, without --history, --calibrate, --sun-noise or --sun-now.");
    }
    if (read.history && (options.calibration || options.sunNoise || lookOnly)) {
        problems << QStringLiteral("--history は --calibrate、--sun-noise、--sun-now と一緒には使えません。\n"
                                   "--history goes alone, without --calibrate, --sun-noise or --sun-now.");
    }
    if (options.sunNoise && options.calibration) {
        problems << QStringLiteral("--calibrate と --sun-noise は一度に一つにしてください。\n"
                                   "Give --calibrate or --sun-noise, one run at a time.");
    }
    if (options.sunNoise && !options.sky.site) {
        problems << QStringLiteral("--sun-noise には本当の太陽の位置を計算する地点 --site が必要です。\n"
                                   "--sun-noise needs --site, the site the real sun is computed for.");
    }
}

// The mode the line asks for, first of: the pointing model's fit, the sun
// now, a day's flux, the history, an asking command, a measurement, the
// bridge.
RotctlMode modeAsked(const CompanionCommandLine& commandLine, const ReadLine& read)
{
    if (read.pointingFit) {
        const BridgeOptions& bridge = read.bridge;
        return PointingFitMode{*read.pointingFit, FitStation{bridge.trueSun.site.value_or(heliotrope::sky::Site{}), bridge.trueSun.refraction, bridge.azimuthRange}};
    }
    if (read.bridge.trueSun.lookOnly)
        return SunNowMode{read.bridge};
    if (read.setFlux)
        return *read.setFlux;
    if (read.fluxReport)
        return *read.fluxReport;
    if (read.history)
        return *read.history;
    if (read.askingGiven)
        return read.asking;
    if (read.run.calibration || read.run.sunNoise || read.run.systemTemperature) {
        MeasurementMode measurement{read.run, read.asking, read.bridge};
        measurement.asking.ask = BridgeAsk::Measure;
        if (read.run.calibration)
            measurement.asking.pattern = measure::patternName(read.run.calibration->pattern);
        measurement.asking.noiseSource
            = read.run.systemTemperature && read.run.systemTemperature->method == measure::SystemTemperatureMethod::NoiseSource;
        measurement.asking.measurementWords = measurementOptionWords(commandLine.parser());
        measurement.asking.optionsNotCarried = optionsNotCarried(commandLine.parser());
        return measurement;
    }
    return read.bridge;
}

}  // namespace

CommandLine<RotctlMode> parseRotctlCommandLine(const QStringList& arguments)
{
    CompanionCommandLine commandLine(QStringLiteral(
        "heliotrope の指向データを Hamlib の rotctld へ中継します。UDP で受けた設定点を\n"
        "P コマンドでローテーターへ送り、p で読んだ位置を送信元へ報告します。\n"
        "Relays heliotrope's pointing messages to Hamlib's rotctld: each set-point\n"
        "received over UDP is sent to the rotator with P, and the position read with p\n"
        "is reported back to the sender."));
    // --allow, shared with the simulator, follows --listen and --port.
    commandLine.addOptions(std::span(kBridgeOptions).first(2));
    commandLine.addOption(allowedSenderOption());
    commandLine.addOptions(std::span(kBridgeOptions).subspan(2));
    addTrueSunOptions(commandLine);
    addTrackingPowerOptions(commandLine);
    addBurstOptions(commandLine);
    measure::addCalibrationOptions(commandLine);
    measure::addSunNoiseOptions(commandLine);
    measure::addSystemTemperatureOptions(commandLine);
    measure::addMeasurementOptions(commandLine);
    commandLine.addOptions(kAskingOptions);
    addHistoryOptions(commandLine);
    addSetFluxOptions(commandLine);
    addFluxReportOptions(commandLine);
    addPointingFitOptions(commandLine);

    if (const std::optional<CommandLine<RotctlMode>> end = commandLine.parse<RotctlMode>(arguments))
        return *end;
    ReadLine read;
    readLink(commandLine, read.bridge);
    readStationPage(commandLine, read.bridge);
    readRotator(commandLine, read.bridge);
    readSkyAndRuns(commandLine, read);
    read.pointingFit = readPointingFitOptions(commandLine);
    readAsking(commandLine, read);
    return commandLine.result(modeAsked(commandLine, read));
}

QStringList withStowValue(const QStringList& arguments)
{
    // A position is two numbers with a comma: "-10,45" is one, though it
    // begins like an option.
    static const QRegularExpression position(QStringLiteral("^\\s*[-+]?[0-9.]+\\s*,\\s*[-+]?[0-9.]+\\s*$"));
    // A flux is a number; anything else after --flux is the next option, or
    // a slip the sun-noise run's reading of it says.
    static const QRegularExpression number(QStringLiteral("^\\s*[-+]?[0-9.]+([eE][-+]?[0-9]+)?\\s*$"));
    QStringList result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const bool stow = argument == QLatin1String("--stow") || argument == QLatin1String("-stow");
        const bool flux = argument == QLatin1String("--flux") || argument == QLatin1String("-flux");
        if (stow && (i + 1 >= arguments.size() || !position.match(arguments[i + 1]).hasMatch()))
            result << QStringLiteral("--stow=");
        else if (flux && (i + 1 >= arguments.size() || !number.match(arguments[i + 1]).hasMatch()))
            result << QStringLiteral("--flux=");
        else
            result << argument;
    }
    return result;
}

const BridgeOptions* bridgeOptions(const RotctlMode& mode)
{
    if (const auto* bridge = std::get_if<BridgeOptions>(&mode))
        return bridge;
    if (const auto* measurement = std::get_if<MeasurementMode>(&mode))
        return &measurement->bridge;
    return nullptr;
}

const RunOptions* runOptions(const RotctlMode& mode)
{
    if (const auto* measurement = std::get_if<MeasurementMode>(&mode))
        return &measurement->run;
    return nullptr;
}

}  // namespace heliotrope::rotctl
