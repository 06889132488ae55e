#include "companions/measure/SystemTemperatureOptions.h"

#include "companions/measure/SunNoiseOptions.h"
#include "companions/sunnoise/SunNoise.h"

#include <QCommandLineParser>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::measure {

namespace {

const QString kHotCold = QStringLiteral("hot-cold");
const QString kAmbient = QStringLiteral("ambient-temperature");
const QString kAmbientError = QStringLiteral("ambient-error");
const QString kColdSky = QStringLiteral("cold-sky-temperature");
const QString kColdSkyError = QStringLiteral("cold-sky-error");
const QString kSourceOn = QStringLiteral("noise-source-on");
const QString kSourceOff = QStringLiteral("noise-source-off");
const QString kEnr = QStringLiteral("enr");
const QString kEnrError = QStringLiteral("enr-error");
const QString kEfficiencyError = QStringLiteral("efficiency-error");
// The sun-noise run's, shared.
const QString kCold = QStringLiteral("cold");
const QString kColdOffset = QStringLiteral("cold-offset");
const QString kFrequency = QStringLiteral("frequency");
const QString kDish = QStringLiteral("dish-diameter");
const QString kEfficiency = QStringLiteral("efficiency");

const OptionRow kSystemTemperatureOptions[] = {
    {"hot-cold",
     "ホット・コールド較正: コールドスカイを向き、端末で一歩ずつ尋ねながら、常温の吸収体を給電部にかぶせた電力と"
     "外した電力を読み、システム雑音温度を出して局の記録に残す。--site、--power、--frequency、--dish-diameter が要る。\n"
     "Hot/cold calibration: point at cold sky and, asking step by step on the terminal, read the power with an ambient "
     "absorber over the feed and without it; work out the system temperature and keep it in the station's record. "
     "Needs --site, --power, --frequency and --dish-diameter."},
    {"ambient-temperature",
     "吸収体の温度（まわりの気温）、K（既定 290）。\nThe absorber's temperature (the air's about it), K (default 290).",
     "K", "290"},
    {"ambient-error",
     "吸収体の温度の標準偏差、K（既定 2）。\nThe absorber temperature's standard deviation, K (default 2).",
     "K", "2"},
    {"cold-sky-temperature",
     "コールドスカイでのアンテナ温度（空、大気、スピルオーバー）、K（既定: その仰角の標準大気の空＋スピルオーバー分 5 K）。\n"
     "The antenna temperature on the cold sky (sky, air, spillover), K (default: the typical air's sky at its elevation "
     "plus 5 K for the spillover).",
     "K"},
    {"cold-sky-error",
     "コールドスカイのアンテナ温度の標準偏差、K（既定: 指定があれば 3、なければ 5 と空の 3 割を合わせたもの）。\n"
     "Its standard deviation, K (default: 3 when it is given, otherwise 5 with 30 % of the sky's).",
     "K"},
    {"noise-source-on",
     "雑音源による較正: 雑音源を入れるコマンド（/bin/sh -c で実行、1 分以内に終了コード 0）。--noise-source-off と "
     "--enr も要る。コールドスカイで入/切の電力を読み、システム雑音温度を出して局の記録に残す。\n"
     "Noise-source calibration: the command that switches the source on (run by /bin/sh -c, to exit 0 within a minute); "
     "with --noise-source-off and --enr. The power on cold sky with the source on and off gives the system temperature, "
     "kept in the station's record.",
     "command"},
    {"noise-source-off",
     "雑音源を切るコマンド。\nThe command that switches the noise source off.",
     "command"},
    {"enr",
     "雑音源の過剰雑音比、受信機の入口で（結合器の損失を引いて）dB。\n"
     "The noise source's excess noise ratio as it enters the receiver (the coupler's loss taken off), dB.",
     "dB"},
    {"enr-error",
     "ENR の標準偏差、dB（既定 0.2）。\nThe ENR's standard deviation, dB (default 0.2).",
     "dB", "0.2"},
    {"efficiency-error",
     "開口効率の標準偏差（既定 0.05）。フラックスの尺度の実効面積の誤差になる。\n"
     "The aperture efficiency's standard deviation (default 0.05): the flux scale's effective area carries it.",
     "sigma", "0.05"},
};

}  // namespace

double SystemTemperatureOptions::beamwidthDegrees() const
{
    return sunnoise::estimatedBeamwidthDegrees(frequencyMegahertz, dishDiameterMetres);
}

void addSystemTemperatureOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kSystemTemperatureOptions);
}

std::span<const OptionRow> systemTemperatureOptionRows()
{
    return kSystemTemperatureOptions;
}

bool systemTemperatureAsked(const CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    return parser.isSet(kHotCold) || parser.isSet(kSourceOn) || parser.isSet(kSourceOff);
}

std::optional<SystemTemperatureOptions> readSystemTemperatureOptions(CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    const bool hotCold = parser.isSet(kHotCold);
    const bool source = parser.isSet(kSourceOn) || parser.isSet(kSourceOff) || parser.isSet(kEnr);
    if (!hotCold)
        commandLine.refuseWithout(QStringLiteral("--hot-cold"), QStringLiteral("--hot-cold"), {kAmbient, kAmbientError, kColdSky, kColdSkyError});
    if (!source)
        commandLine.refuseWithout(QStringLiteral("--noise-source-on"), QStringLiteral("--noise-source-on"), {kEnrError});
    if (!hotCold && !source) {
        commandLine.refuseWithout(QStringLiteral("--hot-cold か --noise-source-on"), QStringLiteral("--hot-cold or --noise-source-on"),
                                  {kEfficiencyError});
        return std::nullopt;
    }
    if (hotCold && source) {
        problems << QStringLiteral("--hot-cold と雑音源（--noise-source-on、--noise-source-off、--enr）は一度に一つにしてください。\n"
                                   "Give --hot-cold or the noise source (--noise-source-on, --noise-source-off, --enr), one at a time.");
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("sun-noise")) || parser.isSet(QStringLiteral("calibrate"))) {
        problems << QStringLiteral("システム雑音温度の測定は --sun-noise や --calibrate と一緒には使えません。\n"
                                   "A system temperature run goes without --sun-noise or --calibrate.");
        return std::nullopt;
    }
    SystemTemperatureOptions options;
    options.method = hotCold ? SystemTemperatureMethod::HotCold : SystemTemperatureMethod::NoiseSource;
    std::optional<double> frequency;
    std::optional<double> diameter;
    commandLine.readOptionalNumber(kFrequency, 10, 300000, frequency);
    commandLine.readOptionalNumber(kDish, 0.1, 500, diameter);
    if (!frequency || !diameter)
        problems << QStringLiteral("システム雑音温度の測定には --frequency と --dish-diameter が要ります（フラックスの尺度の周波数と実効面積）。\n"
                                   "A system temperature run needs --frequency and --dish-diameter (the flux scale's frequency and "
                                   "effective area).");
    options.frequencyMegahertz = frequency.value_or(0);
    options.dishDiameterMetres = diameter.value_or(0);
    commandLine.readNumber(kEfficiency, 0, 1, options.efficiency, true);
    commandLine.readNumber(kEfficiencyError, 0, 0.5, options.efficiencyError);
    commandLine.readNumber(kColdOffset, 2, 50, options.coldOffsetBeamwidths);
    if (parser.isSet(kCold)) {
        if (const std::optional<ColdSkyDirection> cold = readColdSkyDirection(parser.value(kCold), problems)) {
            options.coldAzimuth = cold->azimuth;
            options.coldElevation = cold->elevation;
        }
        if (parser.isSet(kColdOffset))
            problems << QStringLiteral("--cold と --cold-offset はどちらか一つにしてください。\nGive --cold or --cold-offset, not both.");
    }
    if (hotCold) {
        commandLine.readNumber(kAmbient, 200, 350, options.ambientKelvin);
        commandLine.readNumber(kAmbientError, 0, 50, options.ambientErrorKelvin);
        commandLine.readOptionalNumber(kColdSky, 0, 300, options.coldSkyKelvin);
        commandLine.readOptionalNumber(kColdSkyError, 0, 300, options.coldSkyErrorKelvin);
        if (options.coldSkyKelvin && *options.coldSkyKelvin >= options.ambientKelvin)
            problems << QStringLiteral("--cold-sky-temperature は吸収体の温度より低くしてください。\n"
                                       "--cold-sky-temperature must be below the absorber's temperature.");
        return options;
    }
    options.sourceOnCommand = parser.value(kSourceOn);
    options.sourceOffCommand = parser.value(kSourceOff);
    if (options.sourceOnCommand.trimmed().isEmpty() || options.sourceOffCommand.trimmed().isEmpty())
        problems << QStringLiteral("雑音源には入れるコマンド --noise-source-on と切るコマンド --noise-source-off の両方が要ります。\n"
                                   "The noise source needs both commands: --noise-source-on and --noise-source-off.");
    std::optional<double> enr;
    commandLine.readOptionalNumber(kEnr, -10, 40, enr);
    if (!parser.isSet(kEnr))
        problems << QStringLiteral("雑音源には受信機の入口での過剰雑音比 --enr（dB）が要ります。\n"
                                   "The noise source needs its excess noise ratio at the receiver's input: --enr (dB).");
    options.enrDecibels = enr.value_or(0);
    commandLine.readNumber(kEnrError, 0, 5, options.enrErrorDecibels);
    return options;
}

}  // namespace heliotrope::measure
