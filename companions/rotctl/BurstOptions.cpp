#include "companions/rotctl/BurstOptions.h"

#include "companions/common/CompanionCommandLine.h"

#include <QCommandLineParser>

using heliotrope::companions::CompanionCommandLine;
using heliotrope::companions::OptionRow;

namespace heliotrope::rotctl {

namespace {

const QString kBurstSigma = QStringLiteral("burst-sigma");
const QString kBurstSeconds = QStringLiteral("burst-seconds");

const OptionRow kBurstOptions[] = {
    {"burst-sigma",
     "--watch-power と --flux: バーストとする高さ、静かな太陽からその散らばりのいくつ分（2～20、既定 3）。\n"
     "--watch-power and --flux: how far above the quiet sun a burst stands, in the quiet sun's "
     "scatter, 2 to 20 (default 3).",
     "sigma", "3"},
    {"burst-seconds",
     "--watch-power と --flux: バーストとする長さ、秒（15～600、既定 30）。これより短い高まりはバーストと言わない"
     "（10 秒までのものは混信として印を付ける）。\n"
     "--watch-power and --flux: how long a burst stands that high, seconds, 15 to 600 (default 30); a "
     "shorter rise is not called a burst (one of up to 10 s is flagged as interference).",
     "s", "30"},
};

}  // namespace

void addBurstOptions(CompanionCommandLine& commandLine)
{
    commandLine.addOptions(kBurstOptions);
}

flux::FluxOptions readBurstOptions(CompanionCommandLine& commandLine, bool used)
{
    flux::FluxOptions options;
    if (!used) {
        commandLine.refuseWithout(QStringLiteral("--watch-power か値なしの --flux"), QStringLiteral("--watch-power or --flux alone"),
                                  {kBurstSigma, kBurstSeconds});
        return options;
    }
    commandLine.readNumber(kBurstSigma, 2, 20, options.burstSigma);
    commandLine.readNumber(kBurstSeconds, 15, 600, options.burstSeconds);
    return options;
}

}  // namespace heliotrope::rotctl
