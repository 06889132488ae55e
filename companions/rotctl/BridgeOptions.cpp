#include "companions/rotctl/BridgeOptions.h"

#include "companions/common/CompanionCommandLine.h"

using heliotrope::companions::allowedSenderOption;
using heliotrope::companions::CommandLine;
using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::HostAndPort;
using heliotrope::companions::hostAndPortOption;
using heliotrope::companions::listenAddressOption;
using heliotrope::companions::numberOption;
using heliotrope::companions::portOption;
using heliotrope::companions::senderAllowListOption;

namespace heliotrope::rotctl {

namespace {

constexpr double kMinPollMs = 100;
constexpr double kMaxPollMs = 60000;
constexpr double kMaxThreshold = 30;
constexpr double kMaxMinInterval = 3600;
constexpr double kMaxOffset = 180;

QCommandLineOption valueOption(const QString& name, const QString& description, const QString& valueName,
                               const QString& defaultValue = {})
{
    return QCommandLineOption(name, description, valueName, defaultValue);
}

}  // namespace

CommandLine<BridgeOptions> parseBridgeCommandLine(const QStringList& arguments)
{
    CompanionCommandLine commandLine(QStringLiteral(
        "heliotrope の指向データを Hamlib の rotctld へ中継します。UDP で受けた設定点を\n"
        "P コマンドで回転器へ送り、p で読んだ位置を送信元へ報告します。\n"
        "Relays heliotrope's pointing messages to Hamlib's rotctld: each set-point\n"
        "received over UDP is sent to the rotator with P, and the position read with p\n"
        "is reported back to the sender."));
    QCommandLineParser& parser = commandLine.parser();
    const QCommandLineOption listen = valueOption(
        QStringLiteral("listen"),
        QStringLiteral("指向データを待ち受ける IP アドレス（既定 127.0.0.1）。\nAddress to listen on (default 127.0.0.1)."),
        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port = valueOption(
        QStringLiteral("port"),
        QStringLiteral("指向データを待ち受ける UDP ポート（既定 10006、0 は空きポート）。\nUDP port to listen on (default 10006; 0: any free port, printed at start)."),
        QStringLiteral("port"), QStringLiteral("10006"));
    const QCommandLineOption rotctld = valueOption(
        QStringLiteral("rotctld"),
        QStringLiteral("rotctld のアドレスと TCP ポート（既定 127.0.0.1:4533）。\n"
                       "rotctld's address and TCP port (default 127.0.0.1:4533)."),
        QStringLiteral("host:port"), QStringLiteral("127.0.0.1:4533"));
    const QCommandLineOption pollMs = valueOption(
        QStringLiteral("poll-ms"),
        QStringLiteral("p で位置を読む最短の間隔、ミリ秒（既定 1000）。\n"
                       "Shortest interval between position reads with p, ms (default 1000)."),
        QStringLiteral("ms"), QStringLiteral("1000"));
    const QCommandLineOption threshold = valueOption(
        QStringLiteral("threshold"),
        QStringLiteral("回転器が設定点からこの角度以内なら P を送らない、度（既定 0.5）。\n"
                       "No P while the rotator is within this of the set-point, degrees (default 0.5)."),
        QStringLiteral("deg"), QStringLiteral("0.5"));
    const QCommandLineOption resolution = valueOption(
        QStringLiteral("resolution"),
        QStringLiteral("回転器が読み・受け付ける刻み、度（既定: 読みから学ぶ。GS-232 は 1、EasyComm II は 0.1）。\n"
                       "The step the rotator reports and takes commands in, degrees (default: learnt from its readings; "
                       "1 for a GS-232, 0.1 for EasyComm II)."),
        QStringLiteral("deg"));
    const QCommandLineOption deadBand = valueOption(
        QStringLiteral("deadband"),
        QStringLiteral("回転器が目標の手前で止まる不感帯、度（既定: 止まった所から学ぶ）。\n"
                       "The dead band the rotator stops in short of its target, degrees (default: learnt from where it stops)."),
        QStringLiteral("deg"));
    const QCommandLineOption minInterval = valueOption(
        QStringLiteral("min-interval"),
        QStringLiteral("P と P の最短の間隔、秒（既定 2）。\nShortest interval between two P commands, seconds (default 2)."),
        QStringLiteral("s"), QStringLiteral("2"));
    const QCommandLineOption azRange = valueOption(
        QStringLiteral("az-range"),
        QStringLiteral("回転器の方位角の範囲: 360（0～360、既定）、180（-180～180）、\n"
                       "450（0～360 と北を越えて方位角の上限まで、最大 450）。\n"
                       "The rotator's azimuth range: 360 (0 to 360, default), 180 (-180 to "
                       "180), 450 (0 to 360 and on past north up to the azimuth limit, at most 450)."),
        QStringLiteral("360|180|450"), QStringLiteral("360"));
    const QCommandLineOption azMin = valueOption(
        QStringLiteral("az-min"),
        QStringLiteral("方位角の下限、度（既定: rotctld の \\dump_state の値）。\n"
                       "Lowest azimuth, degrees (default: what rotctld reports in \\dump_state)."),
        QStringLiteral("deg"));
    const QCommandLineOption azMax = valueOption(
        QStringLiteral("az-max"),
        QStringLiteral("方位角の上限、度（既定: rotctld の値）。\nHighest azimuth, degrees (default: rotctld's)."),
        QStringLiteral("deg"));
    const QCommandLineOption elMin = valueOption(
        QStringLiteral("el-min"),
        QStringLiteral("仰角の下限、度（既定: rotctld の値）。\nLowest elevation, degrees (default: rotctld's)."),
        QStringLiteral("deg"));
    const QCommandLineOption elMax = valueOption(
        QStringLiteral("el-max"),
        QStringLiteral("仰角の上限、度（既定: rotctld の値）。\nHighest elevation, degrees (default: rotctld's)."),
        QStringLiteral("deg"));
    const QCommandLineOption azOffset = valueOption(
        QStringLiteral("az-offset"),
        QStringLiteral("回転器の方位角の読みが実際の向きより大きい分、度（既定: 最後に保存した較正値、なければ 0）。\n"
                       "How much the rotator's azimuth reading exceeds the true direction, degrees (default: the last "
                       "calibration saved, else 0)."),
        QStringLiteral("deg"), QStringLiteral("0"));
    const QCommandLineOption elOffset = valueOption(
        QStringLiteral("el-offset"),
        QStringLiteral("回転器の仰角の読みが実際の向きより大きい分、度（既定: 最後に保存した較正値、なければ 0）。\n"
                       "How much the rotator's elevation reading exceeds the true direction, degrees (default: the last "
                       "calibration saved, else 0)."),
        QStringLiteral("deg"), QStringLiteral("0"));
    const QCommandLineOption log = valueOption(
        QStringLiteral("log"),
        QStringLiteral("位置を読むたびに 1 行の CSV（JST 時刻、設定点、位置、追尾誤差、本当の太陽、天球上の誤差）を追記する。\n"
                       "Append one CSV row per position read (JST time, set-point, position, tracking error, real "
                       "sun, errors on the sky)."),
        QStringLiteral("file"));
    const QCommandLineOption allow = allowedSenderOption();
    parser.addOptions(
        {listen, port, allow, rotctld, pollMs, threshold, resolution, deadBand, minInterval, azRange, azMin, azMax, elMin, elMax, azOffset, elOffset, log});
    const TrueSunOptionSet trueSun;
    trueSun.addTo(parser);
    addCalibrationOptions(parser);
    parser.addOptions(sunNoiseCommandLineOptions());
    addMeasurementOptions(parser);

    if (const std::optional<CommandLine<BridgeOptions>> end = commandLine.parse<BridgeOptions>(arguments))
        return *end;
    QStringList& problems = commandLine.problems();

    BridgeOptions options;
    const auto take = [&commandLine](const auto& read, auto& into) { commandLine.take(read, into); };
    const auto name = &CompanionCommandLine::name;
    const auto angle = [&](const QCommandLineOption& option, double lowest, double highest, std::optional<double>& into) {
        if (!parser.isSet(option))
            return;
        double value = 0;
        take(numberOption(name(option), parser.value(option), lowest, highest), value);
        into = value;
    };

    take(listenAddressOption(name(listen), parser.value(listen)), options.listenAddress);
    take(portOption(name(port), parser.value(port), true), options.port);
    take(senderAllowListOption(name(allow), parser.values(allow), options.listenAddress), options.allowedSenders);
    HostAndPort rotator{options.rotctldHost, options.rotctldPort};
    take(hostAndPortOption(name(rotctld), parser.value(rotctld), options.rotctldPort), rotator);
    options.rotctldHost = rotator.host;
    options.rotctldPort = rotator.port;
    double poll = options.pollIntervalMs;
    take(numberOption(name(pollMs), parser.value(pollMs), kMinPollMs, kMaxPollMs), poll);
    options.pollIntervalMs = static_cast<int>(poll);
    take(numberOption(name(threshold), parser.value(threshold), 0, kMaxThreshold), options.threshold);
    take(numberOption(name(minInterval), parser.value(minInterval), 0, kMaxMinInterval), options.minIntervalSeconds);
    if (parser.isSet(resolution)) {
        double step = 0;
        take(numberOption(name(resolution), parser.value(resolution), 0.001, 10), step);
        options.resolution = step;
    }
    if (parser.isSet(deadBand)) {
        double band = 0;
        take(numberOption(name(deadBand), parser.value(deadBand), 0, 5), band);
        options.deadBand = band;
    }
    const QString range = parser.value(azRange).trimmed();
    if (range == QLatin1String("360"))
        options.azimuthRange = AzimuthRange::From0To360;
    else if (range == QLatin1String("180"))
        options.azimuthRange = AzimuthRange::FromMinus180To180;
    else if (range == QLatin1String("450"))
        options.azimuthRange = AzimuthRange::Overlap;
    else
        problems << QStringLiteral("--az-range 「%1」 は 360、180、450 のどれかにしてください。").arg(parser.value(azRange));
    angle(azMin, -360, 540, options.minAzimuth);
    angle(azMax, -360, 540, options.maxAzimuth);
    angle(elMin, -90, 180, options.minElevation);
    angle(elMax, -90, 180, options.maxElevation);
    if (options.minAzimuth && options.maxAzimuth && *options.minAzimuth >= *options.maxAzimuth)
        problems << QStringLiteral("--az-min は --az-max より小さくしてください。");
    if (options.minElevation && options.maxElevation && *options.minElevation > *options.maxElevation)
        problems << QStringLiteral("--el-min は --el-max 以下にしてください。");
    take(numberOption(name(azOffset), parser.value(azOffset), -kMaxOffset, kMaxOffset), options.azimuthOffset);
    take(numberOption(name(elOffset), parser.value(elOffset), -kMaxOffset, kMaxOffset), options.elevationOffset);
    options.offsetsGiven = parser.isSet(azOffset) || parser.isSet(elOffset);
    const MeasurementOptions measurement = readMeasurementOptions(parser, problems);
    options.calibration = readCalibrationOptions(parser, measurement, problems);
    if (parser.isSet(log)) {
        options.logPath = parser.value(log);
        if (options.logPath.isEmpty())
            problems << QStringLiteral("--log にファイル名がありません。");
    }
    options.trueSun = trueSun.read(parser, problems);
    // One sky: the calibration places its pattern on the sun tracking points at.
    if (options.calibration) {
        options.calibration->refraction = options.trueSun.refraction;
        options.calibration->atmosphere = options.trueSun.atmosphere;
    }
    options.sunNoise = readSunNoiseOptions(parser, measurement, problems);
    if (options.sunNoise && options.calibration) {
        problems << QStringLiteral("--calibrate と --sun-noise は一度に一つにしてください。\n"
                                   "Give --calibrate or --sun-noise, one run at a time.");
    }
    if (options.sunNoise && !options.trueSun.site) {
        problems << QStringLiteral("--sun-noise には本当の太陽の位置を計算する地点 --site が必要です。\n"
                                   "--sun-noise needs --site, the site the real sun is computed for.");
    }

    return commandLine.result(options);
}

}  // namespace heliotrope::rotctl
