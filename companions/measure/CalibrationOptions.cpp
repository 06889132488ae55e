#include "companions/measure/CalibrationOptions.h"

#include "companions/common/OptionValues.h"

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
const QString kSite = QStringLiteral("site");
const QString kOutput = QStringLiteral("calibration-output");

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
        {kOutput,
         QStringLiteral("較正: 図（.png）と測定点（.csv）のファイル名の頭（既定 heliotrope-calibration-日時）。\n"
                        "Calibration: name of the picture (.png) and points (.csv) without extension "
                        "(default heliotrope-calibration-DATE)."),
         QStringLiteral("path")},
    });
}

std::optional<CalibrationOptions> readCalibrationOptions(const QCommandLineParser& parser, const MeasurementOptions& shared,
                                                         QStringList& problems)
{
    const QStringList calibrationOnly{kBeamwidth, kSpan, kStep, kOutput};
    if (!parser.isSet(kCalibrate)) {
        for (const QString& name : calibrationOnly) {
            if (parser.isSet(name))
                problems << QStringLiteral("--%1 は --calibrate と一緒に使います。\n--%1 goes with --calibrate.").arg(name);
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
        problems << QStringLiteral("--calibrate 「%1」 は cross か five にしてください。\n--calibrate takes cross or five.").arg(pattern);

    if (parser.isSet(kBeamwidth))
        take(numberOption(kBeamwidth, parser.value(kBeamwidth), 0.05, 30), options.beamwidth);
    else
        problems << QStringLiteral("--beamwidth でアンテナのビーム幅（度）を指定してください。\nGive the antenna's beamwidth in degrees with --beamwidth.");
    const auto optionalNumber = [&](const QString& name, double lowest, double highest, std::optional<double>& into) {
        if (!parser.isSet(name))
            return;
        double value = 0;
        take(numberOption(name, parser.value(name), lowest, highest), value);
        into = value;
    };
    optionalNumber(kSpan, 0.01, 45, options.span);
    optionalNumber(kStep, 0.005, 45, options.step);
    options.dwellSeconds = shared.dwellSeconds.value_or(options.dwellSeconds);
    options.settleTolerance = shared.settleToleranceDegrees;
    options.settleTimeoutSeconds = shared.settleTimeoutSeconds;
    options.power = shared.power;
    options.clockOffsetSeconds = shared.clockOffsetSeconds;
    if (options.beamwidth > 0 && options.stepDegrees() > options.spanDegrees())
        problems << QStringLiteral("--step は --span 以下にしてください。\n--step must not exceed --span.");
    // A cut needs points enough for the four parameters of its fit and one more.
    if (options.pattern == CalibrationPattern::Cross && options.beamwidth > 0
        && 2 * static_cast<int>(options.spanDegrees() / options.stepDegrees() + 1e-9) + 1 < 5)
        problems << QStringLiteral("十字スキャンには各軸 5 点以上が要ります: --span を広げるか --step を狭めてください。\n"
                                   "A cross scan needs at least 5 points per cut: widen --span or narrow --step.");

    if (parser.isSet(kSite))
        take(siteOption(kSite, parser.value(kSite)), options.site);
    else
        problems << QStringLiteral("較正には --site でアンテナの場所が要ります。\nCalibration needs the antenna's site: --site LAT,LON[,HEIGHT_M].");
    options.outputBase = parser.value(kOutput);
    return options;
}

}  // namespace heliotrope::rotctl
