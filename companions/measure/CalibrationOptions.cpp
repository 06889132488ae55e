#include "companions/measure/CalibrationOptions.h"

#include "companions/common/CompanionCommandLine.h"
#include "companions/measure/SunNoiseOptions.h"

#include <QCommandLineParser>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::measure {

namespace {

const QString kCalibrate = QStringLiteral("calibrate");
const QString kBeamwidth = QStringLiteral("beamwidth");
const QString kSpan = QStringLiteral("span");
const QString kStep = QStringLiteral("step");
const QString kOutput = QStringLiteral("calibration-output");
const QString kEvery = QStringLiteral("every");
const QString kUntil = QStringLiteral("until");

// The calibration's own options, in the order --help lists them.
const OptionRow kCalibrationOptions[] = {
    {"calibrate",
     "太陽でアンテナを較正する: cross（十字スキャン、ガウス当てはめ）か five（5 点法）。\n"
     "Calibrate the antenna on the sun: cross (two cuts, Gaussian fits) or five (five-point).",
     "cross|five"},
    {"beamwidth",
     "較正と --flux: アンテナのビーム幅（半値全幅）、度。\nCalibration and --flux: the antenna's beamwidth (FWHM), degrees.",
     "deg"},
    {"span",
     "較正: 太陽の両側へのスキャン幅、度（既定 ビーム幅×1.5）。\n"
     "Calibration: scan this far either side of the sun, degrees (default 1.5 beamwidths).",
     "deg"},
    {"step",
     "較正: 点の間隔、度（既定 ビーム幅×0.5）。\nCalibration: step between points, degrees (default half a beamwidth).",
     "deg"},
    {"calibration-output",
     "較正: 図（.png）と測定点（.csv）のファイル名の頭（既定 heliotrope-calibration-日時）。\n"
     "Calibration: name of the picture (.png) and points (.csv) without extension "
     "(default heliotrope-calibration-DATE).",
     "path", nullptr, OptionRow::Value::File},
    {"every",
     "較正: 前の回の始まりからこの分数ごとに繰り返す。太陽が 10° より低くなるか --until まで。\n"
     "Calibration: repeat, each scan this many minutes after the previous one began, until the sun "
     "is below 10° or --until.",
     "minutes"},
    {"until",
     "較正: --every の繰り返しをこの時刻（日本時間）で終える。\nCalibration: end the --every series at this time (JST).",
     "HH:MM"},
};

}  // namespace

QString patternName(CalibrationPattern pattern)
{
    return pattern == CalibrationPattern::FivePoint ? QStringLiteral("five") : QStringLiteral("cross");
}

std::optional<CalibrationPattern> patternNamed(const QString& name)
{
    for (const CalibrationPattern pattern : {CalibrationPattern::Cross, CalibrationPattern::FivePoint})
        if (name == patternName(pattern))
            return pattern;
    return std::nullopt;
}

std::span<const OptionRow> calibrationOptionRows()
{
    return kCalibrationOptions;
}

void addCalibrationOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kCalibrationOptions);
}

std::optional<CalibrationOptions> readCalibrationOptions(CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    if (!parser.isSet(kCalibrate)) {
        // --beamwidth serves the flux report too.
        if (fluxReportAsked(parser))
            commandLine.refuseWithout(QStringLiteral("--calibrate"), QStringLiteral("--calibrate"), {kSpan, kStep, kOutput, kEvery, kUntil});
        else
            commandLine.refuseWithout(QStringLiteral("--calibrate"), QStringLiteral("--calibrate"), {kBeamwidth, kSpan, kStep, kOutput, kEvery, kUntil});
        return std::nullopt;
    }
    CalibrationOptions options;
    const QString pattern = parser.value(kCalibrate).trimmed();
    if (const std::optional<CalibrationPattern> named = patternNamed(pattern))
        options.pattern = *named;
    else
        problems << QStringLiteral("--calibrate 「%1」 は cross か five にしてください。\n--calibrate takes cross or five.").arg(pattern);

    if (parser.isSet(kBeamwidth))
        commandLine.readNumber(kBeamwidth, 0.05, 30, options.beamwidth);
    else
        problems << QStringLiteral("--beamwidth でアンテナのビーム幅（度）を指定してください。\nGive the antenna's beamwidth in degrees with --beamwidth.");
    commandLine.readOptionalNumber(kSpan, 0.01, 45, options.span);
    commandLine.readOptionalNumber(kStep, 0.005, 45, options.step);
    if (options.beamwidth > 0 && options.stepDegrees() > options.spanDegrees())
        problems << QStringLiteral("--step は --span 以下にしてください。\n--step must not exceed --span.");
    // A cut needs points enough for the four parameters of its fit and one more.
    if (options.pattern == CalibrationPattern::Cross && options.beamwidth > 0
        && 2 * static_cast<int>(options.spanDegrees() / options.stepDegrees() + 1e-9) + 1 < 5)
        problems << QStringLiteral("十字スキャンには各軸 5 点以上が要ります: --span を広げるか --step を狭めてください。\n"
                                   "A cross scan needs at least 5 points per cut: widen --span or narrow --step.");

    // The site is the sky's, read once with the true sun's options; the
    // command line hands it over when both are read.
    options.outputBase = parser.value(kOutput);
    commandLine.readOptionalNumber(kEvery, 1, 24 * 60, options.everyMinutes);
    if (parser.isSet(kUntil)) {
        const QTime until = QTime::fromString(parser.value(kUntil).trimmed(), QStringLiteral("H:mm"));
        if (!until.isValid())
            problems << QStringLiteral("--until 「%1」 は 時:分（日本時間）にしてください。\n--until takes HH:MM (JST).").arg(parser.value(kUntil));
        else if (!options.everyMinutes)
            problems << QStringLiteral("--until は --every と使います。\n--until goes with --every.");
        else
            options.until = until;
    }
    return options;
}

}  // namespace heliotrope::measure
