#include "companions/measure/MeasurementOptions.h"

#include "companions/common/CompanionCommandLine.h"

#include <QCommandLineParser>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::measure {

namespace {

const QString kDwell = QStringLiteral("dwell");
const QString kSettleTolerance = QStringLiteral("settle-tolerance");
const QString kSettleTimeout = QStringLiteral("settle-timeout");
const QString kPower = QStringLiteral("power");
const QString kClockOffset = QStringLiteral("clock-offset");
const QString kClockUnsynchronisedOk = QStringLiteral("clock-unsynchronised-ok");
const QString kHealthDrop = QStringLiteral("health-drop");

// About ten years either way: enough to put a test at any hour of any season.
constexpr double kLargestClockOffset = 3.2e8;

bool measurementAsked(const QCommandLineParser& parser)
{
    // The system temperature runs on cold sky are read and settled alike.
    return parser.isSet(QStringLiteral("calibrate")) || parser.isSet(QStringLiteral("sun-noise")) || parser.isSet(QStringLiteral("hot-cold"))
        || parser.isSet(QStringLiteral("noise-source-on")) || parser.isSet(QStringLiteral("noise-source-off"));
}

// The options both runs share, in the order --help lists them.
const OptionRow kMeasurementOptions[] = {
    {"dwell",
     "較正と太陽雑音: 各点で電力を読む時間、秒（既定 較正 2、太陽雑音 5、システム雑音温度 10）。\n"
     "Calibration and sun noise: read the power this long at each point, s (default 2 to "
     "calibrate, 5 for sun noise, 10 for a system temperature).",
     "s"},
    {"settle-tolerance",
     "較正と太陽雑音: ローテーターが点に着いたとみなす差、天球上の度（既定 0.05）。\n"
     "Calibration and sun noise: the rotator has arrived within this, degrees on the sky (default 0.05).",
     "deg", "0.05"},
    {"settle-timeout",
     "較正と太陽雑音: 着かない点を飛ばすまでの時間、秒（既定 60）。3 点続けて着かなければ測定を中止する。\n"
     "Calibration and sun noise: skip a point the rotator has not reached after this, s (default 60); "
     "three in a row end the run.",
     "s", "60"},
    {"power",
     "較正と太陽雑音: 電力を読む所: rigctld:HOST:PORT（l STRENGTH、整数 dB）か command:\"CMD ...\"（1 回 1 行の dB）。\n"
     "Calibration and sun noise: where to read the power: rigctld:HOST:PORT (l STRENGTH, whole dB) or\n"
     "command:\"CMD ...\" (run per reading, prints one number in dB).",
     "source"},
    {"clock-offset",
     "試験用: システムの UTC にこの秒数を足した時刻の太陽を使う（既定 0）。\n"
     "Testing aid: compute the sun for the system's UTC plus this many seconds (default 0).",
     "s", "0"},
    {"clock-unsynchronised-ok",
     "較正: システムの時計が NTP で同期していなくても、求めたずれを保存して使う（既定: 表示だけで保存しない）。\n"
     "Calibration: save and apply the offsets found even when the system clock is not synchronised by "
     "NTP (default: shown, not saved)."},
    {"health-drop",
     "太陽雑音: Y が同じ周波数の最近 10 回の中央値よりこれだけ下がったら警告する、dB（既定 1）。\n"
     "Sun noise: warn when Y falls this far below the median of the last ten at the same frequency, "
     "dB (default 1).",
     "dB", "1"},
};

}  // namespace

std::span<const OptionRow> measurementOptionRows()
{
    return kMeasurementOptions;
}

void addMeasurementOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kMeasurementOptions);
}

MeasurementOptions readMeasurementOptions(CompanionCommandLine& commandLine)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    MeasurementOptions options;
    commandLine.readNumber(kClockOffset, -kLargestClockOffset, kLargestClockOffset, options.clockOffsetSeconds);
    options.clockUnsynchronisedOk = parser.isSet(kClockUnsynchronisedOk);
    commandLine.readNumber(kHealthDrop, 0.01, 60, options.healthDropDecibels);
    if (!measurementAsked(parser)) {
        commandLine.refuseWithout(QStringLiteral("--calibrate、--sun-noise、--hot-cold か --noise-source-on"),
                                  QStringLiteral("--calibrate, --sun-noise, --hot-cold or --noise-source-on"),
                                  {kDwell, kSettleTolerance, kSettleTimeout, kPower});
        return options;
    }
    commandLine.readOptionalNumber(kDwell, 0.05, 3600, options.dwellSeconds);
    // P carries hundredths of a degree: a finer tolerance could never be met.
    commandLine.readNumber(kSettleTolerance, 0.01, 5, options.settleToleranceDegrees);
    commandLine.readNumber(kSettleTimeout, 1, 3600, options.settleTimeoutSeconds);

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

}  // namespace heliotrope::measure
