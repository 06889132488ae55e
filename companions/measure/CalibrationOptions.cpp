#include "companions/measure/CalibrationOptions.h"

#include "companions/common/OptionValues.h"
#include "companions/measure/PowerOption.h"

#include <QCommandLineParser>

using heliotrope::companions::HostAndPort;
using heliotrope::companions::hostAndPortOption;
using heliotrope::companions::numberOption;
using heliotrope::companions::OptionValue;
using heliotrope::companions::siteOption;

namespace heliotrope::rotctl {

namespace {

const QString kCalibrate = QStringLiteral("calibrate");
const QString kBeamwidth = QStringLiteral("beamwidth");
const QString kSpan = QStringLiteral("span");
const QString kStep = QStringLiteral("step");
const QString kDwell = QStringLiteral("dwell");
const QString kSettleTolerance = QStringLiteral("settle-tolerance");
const QString kSettleTimeout = QStringLiteral("settle-timeout");
const QString kPower = QStringLiteral("power");
const QString kSite = QStringLiteral("site");
const QString kOutput = QStringLiteral("calibration-output");
const QString kClockOffset = QStringLiteral("clock-offset");

// About ten years either way: enough to put a test at any hour of any season.
constexpr double kLargestClockOffset = 3.2e8;

}  // namespace

void addCalibrationOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        {kCalibrate,
         QStringLiteral("太陽でアンテナを較正する: cross（十字スキャン、ガウス当てはめ）か five（5 点法）。\n"
                        "Calibrate the antenna on the sun: cross (two cuts, Gaussian fits) or five (five-point)."),
         QStringLiteral("cross|five")},
        {kBeamwidth, QStringLiteral("較正: アンテナのビーム幅（半値全幅）、度。\nCalibration: the antenna's beamwidth (FWHM), degrees."),
         QStringLiteral("deg")},
        {kSpan, QStringLiteral("較正: 太陽の両側へのスキャン幅、度（既定 ビーム幅×1.5）。\n"
                               "Calibration: scan this far either side of the sun, degrees (default 1.5 beamwidths)."),
         QStringLiteral("deg")},
        {kStep, QStringLiteral("較正: 点の間隔、度（既定 ビーム幅×0.5）。\nCalibration: step between points, degrees (default half a beamwidth)."),
         QStringLiteral("deg")},
        {kDwell, QStringLiteral("較正と太陽雑音: 各点で電力を読む時間、秒（既定 較正 2、太陽雑音 5）。\n"
                                "Calibration and sun noise: read the power this long at each point, s (default 2 to "
                                "calibrate, 5 for sun noise)."),
         QStringLiteral("s")},
        {kSettleTolerance,
         QStringLiteral("較正と太陽雑音: 回転器が点に着いたとみなす差、天球上の度（既定 0.05）。\n"
                        "Calibration and sun noise: the rotator has arrived within this, degrees on the sky (default 0.05)."),
         QStringLiteral("deg"), QStringLiteral("0.05")},
        {kSettleTimeout,
         QStringLiteral("較正と太陽雑音: 着かない点を飛ばすまでの時間、秒（既定 60）。3 点続けて着かなければ測定を中止する。\n"
                        "Calibration and sun noise: skip a point the rotator has not reached after this, s (default 60); "
                        "three in a row end the run."),
         QStringLiteral("s"), QStringLiteral("60")},
        {kPower,
         QStringLiteral("較正と太陽雑音: 電力を読む所: rigctld:HOST:PORT（l STRENGTH、整数 dB）か command:\"CMD ...\"（1 回 1 行の dB）。\n"
                        "Calibration and sun noise: where to read the power: rigctld:HOST:PORT (l STRENGTH, whole dB) or\n"
                        "command:\"CMD ...\" (run per reading, prints one number in dB)."),
         QStringLiteral("source")},
        {kOutput,
         QStringLiteral("較正: 図（.png）と測定点（.csv）のファイル名の頭（既定 heliotrope-calibration-日時）。\n"
                        "Calibration: name of the picture (.png) and points (.csv) without extension "
                        "(default heliotrope-calibration-DATE)."),
         QStringLiteral("path")},
        {kClockOffset,
         QStringLiteral("試験用: システムの UTC にこの秒数を足した時刻の太陽を使う（既定 0）。\n"
                        "Testing aid: compute the sun for the system's UTC plus this many seconds (default 0)."),
         QStringLiteral("s"), QStringLiteral("0")},
    });
}

std::optional<CalibrationOptions> readCalibrationOptions(const QCommandLineParser& parser, QStringList& problems)
{
    const QStringList calibrationOnly{kBeamwidth, kSpan, kStep, kPower, kOutput};
    if (!parser.isSet(kCalibrate)) {
        for (const QString& name : calibrationOnly) {
            // The power is read by the sun-noise run as well.
            if (parser.isSet(name) && !(name == kPower && parser.isSet(QStringLiteral("sun-noise"))))
                problems << QStringLiteral("--%1 は --calibrate と一緒に使います。/ --%1 goes with --calibrate.").arg(name);
        }
        return std::nullopt;
    }
    CalibrationOptions options;
    const auto take = [&problems](const auto& read, auto& into) {
        if (read.value)
            into = *read.value;
        else
            problems << read.problem;
    };
    const QString pattern = parser.value(kCalibrate).trimmed();
    if (pattern == QLatin1String("cross"))
        options.pattern = CalibrationPattern::Cross;
    else if (pattern == QLatin1String("five"))
        options.pattern = CalibrationPattern::FivePoint;
    else
        problems << QStringLiteral("--calibrate 「%1」 は cross か five にしてください。/ --calibrate takes cross or five.").arg(pattern);

    if (parser.isSet(kBeamwidth))
        take(numberOption(kBeamwidth, parser.value(kBeamwidth), 0.05, 30), options.beamwidth);
    else
        problems << QStringLiteral("--beamwidth でアンテナのビーム幅（度）を指定してください。/ Give the antenna's beamwidth in degrees with --beamwidth.");
    const auto optionalNumber = [&](const QString& name, double lowest, double highest, std::optional<double>& into) {
        if (!parser.isSet(name))
            return;
        double value = 0;
        take(numberOption(name, parser.value(name), lowest, highest), value);
        into = value;
    };
    optionalNumber(kSpan, 0.01, 45, options.span);
    optionalNumber(kStep, 0.005, 45, options.step);
    if (parser.isSet(kDwell))
        take(numberOption(kDwell, parser.value(kDwell), 0.05, 600), options.dwellSeconds);
    // P carries hundredths of a degree: a finer tolerance could never be met.
    take(numberOption(kSettleTolerance, parser.value(kSettleTolerance), 0.01, 5), options.settleTolerance);
    take(numberOption(kSettleTimeout, parser.value(kSettleTimeout), 1, 3600), options.settleTimeoutSeconds);
    if (options.beamwidth > 0 && options.stepDegrees() > options.spanDegrees())
        problems << QStringLiteral("--step は --span 以下にしてください。/ --step must not exceed --span.");
    // A cut needs points enough for the four parameters of its fit and one more.
    if (options.pattern == CalibrationPattern::Cross && options.beamwidth > 0
        && 2 * static_cast<int>(options.spanDegrees() / options.stepDegrees() + 1e-9) + 1 < 5)
        problems << QStringLiteral("十字スキャンには各軸 5 点以上が要ります: --span を広げるか --step を狭めてください。/ "
                                   "A cross scan needs at least 5 points per cut: widen --span or narrow --step.");

    if (const std::optional<heliotrope::power::PowerSourceChoice> choice = readPowerOption(parser, problems))
        options.power = *choice;
    if (parser.isSet(kSite))
        take(siteOption(kSite, parser.value(kSite)), options.site);
    else
        problems << QStringLiteral("較正には --site でアンテナの場所が要ります。/ Calibration needs the antenna's site: --site LAT,LON[,HEIGHT_M].");
    options.outputBase = parser.value(kOutput);
    take(numberOption(kClockOffset, parser.value(kClockOffset), -kLargestClockOffset, kLargestClockOffset),
         options.clockOffsetSeconds);
    return options;
}

}  // namespace heliotrope::rotctl
