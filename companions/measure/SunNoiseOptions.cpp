#include "companions/measure/SunNoiseOptions.h"

#include "companions/common/CompanionCommandLine.h"
#include "companions/measure/SystemTemperatureOptions.h"
#include "companions/sunnoise/SunNoise.h"

#include <QCommandLineParser>

#include <cmath>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::numberOption;
using heliotrope::companions::OptionRow;

namespace heliotrope::measure {

namespace {

// Bounds wide enough for any station and narrow enough to catch a slip of the
// finger (a diameter in centimetres, a frequency in hertz).
constexpr double kMinFrequencyMhz = 10;
constexpr double kMaxFrequencyMhz = 300000;  // 300 GHz
constexpr double kMinDiameterM = 0.1;
constexpr double kMaxDiameterM = 500;
constexpr double kMaxSystemTemperatureK = 1e5;
constexpr double kMinColdOffset = 2;  // nearer than 2 beamwidths the sun is still in the beam's skirt
constexpr double kMaxColdOffset = 50;
constexpr int kMaxRepeats = 1000;

const QString kSunNoise = QStringLiteral("sun-noise");
const QString kCold = QStringLiteral("cold");
const QString kColdOffset = QStringLiteral("cold-offset");
const QString kRepeat = QStringLiteral("repeat");
const QString kFlux = QStringLiteral("flux");
const QString kFrequency = QStringLiteral("frequency");
const QString kDish = QStringLiteral("dish-diameter");
const QString kEfficiency = QStringLiteral("efficiency");
const QString kSystemTemperature = QStringLiteral("system-temperature");
const QString kCsv = QStringLiteral("csv");

// The sun-noise run's own options, in the order --help lists them.
const OptionRow kSunNoiseOptions[] = {
    {"sun-noise",
     "太陽雑音の測定: 本当の太陽とコールドスカイを交互に向いて受信電力を読み、Y（dB）と G/T を出す。"
     "終われば追尾に戻る。--site と --power が要る。\n"
     "Sun-noise run: point at the true sun and at cold sky in turn, read the "
     "received power, report Y (dB) and G/T, then go back to tracking. Needs --site "
     "and --power."},
    {"cold",
     "コールドスカイの向き「方位角,仰角」、度（仰角 0～90）。\n"
     "Cold-sky direction AZ,EL in degrees (elevation 0 to 90).",
     "az,el"},
    {"cold-offset",
     "--cold がなければ、太陽と同じ仰角で横方向（cross-elevation）にビーム幅のこの倍だけ"
     "離れた空をコールドスカイとする（既定 5、2～50）。ビーム幅は 70°×波長/直径。\n"
     "Without --cold, cold sky is this many beamwidths off the sun in "
     "cross-elevation at the sun's elevation (default 5, 2 to 50); the "
     "beamwidth is 70° × wavelength / diameter.",
     "beamwidths", "5"},
    {"repeat",
     "太陽とコールドスカイの組を測る回数（既定 5）。\nHow many sun/cold-sky pairs to measure (default 5).",
     "n", "5"},
    {"flux",
     "--sun-noise で、その日のその周波数の太陽電波流量、SFU（手で入力、ネットには取りに行かない）。"
     "値なしで単独に使うと、局の記録の日ごとの太陽フラックス（日の値、定時の値、バースト）を表示して終了する。"
     "--day、--since（日本時間の日付）、--beamwidth、--frequency、--plot、--csv、--fits と使う。\n"
     "With --sun-noise, the day's solar flux at the frequency, in SFU (typed in; nothing is fetched). "
     "Alone, without a value: print the days' solar flux from the station's record (daily and fixed-time values, "
     "bursts), then exit; with --day, --since (JST dates), --beamwidth, --frequency, --plot, --csv and --fits.",
     "sfu"},
    {"frequency",
     "受信周波数、MHz（--flux では既定: 尺度にした太陽雑音の測定の周波数）。\n"
     "Receive frequency, MHz (with --flux, default: that of the sun-noise run the scale comes from).",
     "mhz"},
    {"dish-diameter",
     "パラボラの直径、m。\nDish diameter, metres.",
     "m"},
    {"efficiency",
     "開口効率、0 より大きく 1 以下（既定 0.55）。\nAperture efficiency, above 0 and at most 1 (default 0.55).",
     "0..1", "0.55"},
    {"system-temperature",
     "期待される Y を計算するシステム雑音温度、K。\n"
     "System noise temperature for the expected Y, kelvin.",
     "k"},
    {"csv",
     "繰り返しごとの太陽とコールドスカイの電力を書く CSV ファイル。--flux では、その日の読みを 1 行ずつ"
     "（--since では日の値を 1 日 1 行）書く。\n"
     "CSV file for the sun and cold-sky powers of each repeat; with --flux, the day's readings a row each "
     "(with --since, the daily values a row a day).",
     "file", nullptr, OptionRow::Value::File},
};

}  // namespace

std::optional<double> SunNoiseOptions::beamwidthDegrees() const
{
    if (!frequencyMegahertz || !dishDiameterMetres)
        return std::nullopt;
    return heliotrope::sunnoise::estimatedBeamwidthDegrees(*frequencyMegahertz, *dishDiameterMetres);
}

std::span<const OptionRow> sunNoiseOptionRows()
{
    return kSunNoiseOptions;
}

void addSunNoiseOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kSunNoiseOptions);
}

namespace {

// --cold AZ,EL: the cold sky given as a direction on the sky.
void readColdSky(const QString& text, SunNoiseOptions& options, QStringList& problems)
{
    const QStringList parts = text.split(QLatin1Char(','));
    // Any finite number here; which of them is out of the sky is said below.
    const auto finite = [](const QString& part) { return numberOption(kCold, part, -HUGE_VAL, HUGE_VAL).value; };
    const std::optional<double> azimuth = parts.size() == 2 ? finite(parts[0]) : std::nullopt;
    const std::optional<double> elevation = parts.size() == 2 ? finite(parts[1]) : std::nullopt;
    if (!azimuth || !elevation) {
        problems << QStringLiteral("--cold 「%1」 は「方位角,仰角」の形ではありません（例: 200,45）。\n"
                                   "--cold \"%1\" is not AZ,EL in degrees, e.g. 200,45.")
                        .arg(text);
    } else if (*azimuth < 0 || *azimuth > 360) {
        problems << QStringLiteral("--cold 「%1」 の方位角は 0～360 にしてください。\n"
                                   "--cold \"%1\": the azimuth must be 0 to 360.")
                        .arg(text);
    } else if (*elevation < 0) {
        problems << QStringLiteral("--cold 「%1」 は地平線の下です。コールドスカイは仰角 0～90 の空にしてください。\n"
                                   "--cold \"%1\" is below the horizon: cold sky must be at elevation 0 to 90.")
                        .arg(text);
    } else if (*elevation > 90) {
        problems << QStringLiteral("--cold 「%1」 の仰角は 90 以下にしてください。\n"
                                   "--cold \"%1\": the elevation must be at most 90.")
                        .arg(text);
    } else {
        options.coldAzimuth = azimuth;
        options.coldElevation = elevation;
    }
}

}  // namespace

std::optional<ColdSkyDirection> readColdSkyDirection(const QString& text, QStringList& problems)
{
    SunNoiseOptions read;
    readColdSky(text, read, problems);
    if (!read.coldAzimuth || !read.coldElevation)
        return std::nullopt;
    return ColdSkyDirection{*read.coldAzimuth, *read.coldElevation};
}

std::optional<SunNoiseOptions> readSunNoiseOptions(CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    if (fluxReportAsked(parser)) {
        // The report's: --flux alone, with its --frequency and --csv.
        if (!parser.isSet(kSunNoise))
            commandLine.refuseWithout(QStringLiteral("--sun-noise"), QStringLiteral("--sun-noise"),
                                      {kCold, kColdOffset, kRepeat, kDish, kEfficiency, kSystemTemperature});
        else
            problems << QStringLiteral("--sun-noise の --flux には SFU の値が要ります（値なしの --flux は記録のフラックスの表示です）。\n"
                                       "--flux with --sun-noise takes a value in SFU (--flux alone shows the record's flux).");
        return std::nullopt;
    }
    if (!parser.isSet(kSunNoise)) {
        // A system temperature run places its cold sky and tells its dish with these same options.
        if (systemTemperatureAsked(commandLine))
            commandLine.refuseWithout(QStringLiteral("--sun-noise"), QStringLiteral("--sun-noise"), {kRepeat, kFlux, kSystemTemperature, kCsv});
        else
            commandLine.refuseWithout(QStringLiteral("--sun-noise"), QStringLiteral("--sun-noise"),
                                      {kCold, kColdOffset, kRepeat, kFlux, kFrequency, kDish, kEfficiency, kSystemTemperature, kCsv});
        return std::nullopt;
    }

    SunNoiseOptions options;
    const auto optional = [&](const QString& option, double lowest, double highest, bool lowestExcluded,
                              std::optional<double>& into) {
        commandLine.readOptionalNumber(option, lowest, highest, into, lowestExcluded);
    };
    const auto withDefault = [&](const QString& option, double lowest, double highest, bool lowestExcluded,
                                 double& into) { commandLine.readNumber(option, lowest, highest, into, lowestExcluded); };

    optional(kFlux, 0, kLargestFluxSfu, true, options.fluxSfu);
    optional(kFrequency, kMinFrequencyMhz, kMaxFrequencyMhz, false, options.frequencyMegahertz);
    optional(kDish, kMinDiameterM, kMaxDiameterM, false, options.dishDiameterMetres);
    withDefault(kEfficiency, 0, 1, true, options.efficiency);
    optional(kSystemTemperature, 0, kMaxSystemTemperatureK, true, options.systemTemperatureKelvin);
    withDefault(kColdOffset, kMinColdOffset, kMaxColdOffset, false, options.coldOffsetBeamwidths);

    double repeats = options.repeats;
    withDefault(kRepeat, 1, kMaxRepeats, false, repeats);
    if (repeats != std::floor(repeats)) {
        problems << QStringLiteral("--%1 「%2」 は整数にしてください。\n--%1 \"%2\" must be a whole number.")
                        .arg(kRepeat, parser.value(kRepeat));
    }
    options.repeats = static_cast<int>(repeats);

    if (parser.isSet(kCold)) {
        readColdSky(parser.value(kCold), options, problems);
        if (parser.isSet(kColdOffset)) {
            problems << QStringLiteral("--cold と --cold-offset はどちらか一つにしてください。\n"
                                       "Give --cold or --cold-offset, not both.");
        }
    } else if (parser.isSet(kFrequency) != parser.isSet(kDish) || (!parser.isSet(kFrequency) && !parser.isSet(kDish))) {
        problems << QStringLiteral("コールドスカイの向きが決まりません: --cold を指定するか、ビーム幅を計算できるよう "
                                   "--frequency と --dish-diameter を指定してください。\n"
                                   "No cold-sky direction: give --cold, or --frequency and --dish-diameter so that "
                                   "the beamwidth for --cold-offset is known.");
    }

    // The frequency and the diameter alone only place the cold sky; the flux
    // or a system temperature asks for G/T or the expected Y.
    const bool anyStation = parser.isSet(kFlux) || parser.isSet(kSystemTemperature);
    if (anyStation && !(parser.isSet(kFlux) && parser.isSet(kFrequency) && parser.isSet(kDish))) {
        QStringList missing;
        for (const QString& option : {kFlux, kFrequency, kDish}) {
            if (!parser.isSet(option))
                missing << QStringLiteral("--") + option;
        }
        problems << QStringLiteral("G/T と期待される Y には %1 も必要です。\n"
                                   "G/T and the expected Y also need %1.")
                        .arg(missing.join(QStringLiteral(", ")));
    }

    if (parser.isSet(kCsv)) {
        options.csvPath = parser.value(kCsv);
        if (options.csvPath.isEmpty())
            problems << QStringLiteral("--csv にファイル名がありません。\n--csv has no file name.");
    }
    return options;
}

bool fluxReportAsked(const QCommandLineParser& parser)
{
    return parser.isSet(kFlux) && parser.value(kFlux).trimmed().isEmpty();
}

}  // namespace heliotrope::measure
