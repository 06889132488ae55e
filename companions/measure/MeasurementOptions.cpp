#include "companions/measure/MeasurementOptions.h"

#include "companions/common/OptionValues.h"

#include <QCommandLineParser>

using heliotrope::companions::numberOption;

namespace heliotrope::rotctl {

namespace {

const QString kDwell = QStringLiteral("dwell");
const QString kSettleTolerance = QStringLiteral("settle-tolerance");
const QString kSettleTimeout = QStringLiteral("settle-timeout");
const QString kPower = QStringLiteral("power");
const QString kClockOffset = QStringLiteral("clock-offset");

// About ten years either way: enough to put a test at any hour of any season.
constexpr double kLargestClockOffset = 3.2e8;

bool measurementAsked(const QCommandLineParser& parser)
{
    return parser.isSet(QStringLiteral("calibrate")) || parser.isSet(QStringLiteral("sun-noise"));
}

}  // namespace

void addMeasurementOptions(QCommandLineParser& parser)
{
    parser.addOptions({
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
        {kClockOffset,
         QStringLiteral("試験用: システムの UTC にこの秒数を足した時刻の太陽を使う（既定 0）。\n"
                        "Testing aid: compute the sun for the system's UTC plus this many seconds (default 0)."),
         QStringLiteral("s"), QStringLiteral("0")},
    });
}

MeasurementOptions readMeasurementOptions(const QCommandLineParser& parser, QStringList& problems)
{
    MeasurementOptions options;
    const auto take = [&problems](const auto& read, auto& into) {
        if (read.value)
            into = *read.value;
        else
            problems << read.problem;
    };
    take(numberOption(kClockOffset, parser.value(kClockOffset), -kLargestClockOffset, kLargestClockOffset),
         options.clockOffsetSeconds);
    if (!measurementAsked(parser)) {
        for (const QString& name : {kDwell, kSettleTolerance, kSettleTimeout, kPower}) {
            if (parser.isSet(name))
                problems << QStringLiteral("--%1 は --calibrate か --sun-noise と一緒に使います。\n"
                                           "--%1 goes with --calibrate or --sun-noise.")
                                .arg(name);
        }
        return options;
    }
    if (parser.isSet(kDwell)) {
        double dwell = 0;
        take(numberOption(kDwell, parser.value(kDwell), 0.05, 3600), dwell);
        options.dwellSeconds = dwell;
    }
    // P carries hundredths of a degree: a finer tolerance could never be met.
    take(numberOption(kSettleTolerance, parser.value(kSettleTolerance), 0.01, 5), options.settleToleranceDegrees);
    take(numberOption(kSettleTimeout, parser.value(kSettleTimeout), 1, 3600), options.settleTimeoutSeconds);

    if (!parser.isSet(kPower)) {
        problems << QStringLiteral("--power で電力を読む所を指定してください（rigctld:127.0.0.1:4532 か command:\"...\"）。\n"
                                   "Give where to read the power with --power (rigctld:HOST:PORT or command:\"CMD ...\").");
    } else if (const std::optional<heliotrope::power::PowerSourceChoice> choice = heliotrope::power::powerSourceChoice(parser.value(kPower))) {
        options.power = *choice;
    } else {
        problems << QStringLiteral("--power 「%1」 は rigctld:HOST:PORT か command:\"CMD ...\" の形ではありません。\n"
                                   "--power \"%1\" is neither rigctld:HOST:PORT nor command:\"CMD ...\".")
                        .arg(parser.value(kPower));
    }
    return options;
}

}  // namespace heliotrope::rotctl
