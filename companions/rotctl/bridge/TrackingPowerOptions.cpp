#include "companions/rotctl/bridge/TrackingPowerOptions.h"

#include "companions/common/CompanionCommandLine.h"

#include <QCommandLineParser>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::rotctl {

namespace {

const QString kWatchPower = QStringLiteral("watch-power");
const QString kWatchBeamwidth = QStringLiteral("watch-beamwidth");
const QString kReferenceEvery = QStringLiteral("reference-every");
const QString kReferenceDwell = QStringLiteral("reference-dwell");
const QString kReferenceOffset = QStringLiteral("reference-offset");

const OptionRow kTrackingPowerOptions[] = {
    {"watch-power",
     "太陽を追尾している間、受信電力を毎秒読んで記録に残す: rigctld:HOST:PORT か command:\"CMD ...\"（--power と同じ形）。"
     "最初と --reference-every 分ごとに太陽の横の冷たい空を読み、利得とベースラインを追う。--track-sun か "
     "--true-sun（と --site）、--watch-beamwidth と一緒に使う。\n"
     "While tracking the sun, read the received power every second and keep it in the record: "
     "rigctld:HOST:PORT or command:\"CMD ...\" (the forms of --power). At the start and every "
     "--reference-every minutes, look at cold sky beside the sun to follow the gain and the baseline. "
     "Goes with --track-sun or --true-sun (and --site) and --watch-beamwidth.",
     "source"},
    {"watch-beamwidth",
     "--watch-power: アンテナのビーム幅（半値全幅）、度（0.1～30）。太陽から離れた読みと参照の向きに使う。\n"
     "--watch-power: the antenna's beamwidth (full width at half maximum), degrees, 0.1 to 30: "
     "what counts as off the sun, and where the references look.",
     "deg"},
    {"reference-every",
     "--watch-power: 冷たい空の参照の間隔、分（2～120、既定 10）。\n"
     "--watch-power: minutes between references on cold sky, 2 to 120 (default 10).",
     "min", "10"},
    {"reference-dwell",
     "--watch-power: 参照で冷たい空を読む長さ、秒（5～300、既定 30）。\n"
     "--watch-power: seconds the power is read on cold sky for a reference, 5 to 300 (default 30).",
     "s", "30"},
    {"reference-offset",
     "--watch-power: 参照の向き、太陽から横（仰角は太陽と同じ）へビーム幅のいくつ分（2～20、既定 5）。\n"
     "--watch-power: where a reference looks, this many beamwidths beside the sun in "
     "cross-elevation at the sun's elevation, 2 to 20 (default 5).",
     "beams", "5"},
};

}  // namespace

void addTrackingPowerOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kTrackingPowerOptions);
}

std::optional<TrackingPowerOptions> readTrackingPowerOptions(CompanionCommandLine& commandLine, bool sunKnown)
{
    const QCommandLineParser& parser = commandLine.parser();
    QStringList& problems = commandLine.problems();
    if (!parser.isSet(kWatchPower)) {
        for (const QString& name : {kWatchBeamwidth, kReferenceEvery, kReferenceDwell, kReferenceOffset}) {
            if (parser.isSet(name))
                problems << QStringLiteral("--%1 は --watch-power と一緒に使います。\n--%1 goes with --watch-power.").arg(name);
        }
        return std::nullopt;
    }
    TrackingPowerOptions options;
    if (const std::optional<power::PowerSourceChoice> choice = power::powerSourceChoice(parser.value(kWatchPower))) {
        options.source = *choice;
    } else {
        problems << QStringLiteral("--watch-power 「%1」 は rigctld:HOST:PORT か command:\"CMD ...\" の形ではありません。\n"
                                   "--watch-power \"%1\" is neither rigctld:HOST:PORT nor command:\"CMD ...\".")
                        .arg(parser.value(kWatchPower));
    }
    if (!parser.isSet(kWatchBeamwidth))
        problems << QStringLiteral("--watch-power にはビーム幅 --watch-beamwidth（度）が要ります。\n"
                                   "--watch-power needs the beamwidth, --watch-beamwidth DEGREES.");
    else
        commandLine.readNumber(kWatchBeamwidth, 0.1, 30, options.beamwidthDegrees);
    commandLine.readNumber(kReferenceEvery, 2, 120, options.referenceEveryMinutes);
    commandLine.readNumber(kReferenceDwell, 5, 300, options.referenceDwellSeconds);
    commandLine.readNumber(kReferenceOffset, 2, 20, options.referenceOffsetBeamwidths);
    if (!sunKnown)
        problems << QStringLiteral("--watch-power は本当の太陽を追う --track-sun か --true-sun（と --site）と一緒に使います。\n"
                                   "--watch-power goes with --track-sun or --true-sun (and --site): each reading is placed beside the real sun.");
    return options;
}

}  // namespace heliotrope::rotctl
