#pragma once

// heliotrope-rotctl's command line as a bridge reads it, for tests of what
// the bridge and a measurement made by it take: the bridge's options with
// the run's beside them (none for an asking or report mode, whose line reads
// as no bridge at all).

#include "companions/rotctl/RotctlCommandLine.h"

namespace heliotrope::rotctl {

struct BridgeLine : BridgeOptions {
    std::optional<measure::CalibrationOptions> calibration;
    std::optional<measure::SunNoiseOptions> sunNoise;
};

inline companions::CommandLine<BridgeLine> parseBridgeLine(const QStringList& arguments)
{
    const companions::CommandLine<RotctlMode> read = parseRotctlCommandLine(arguments);
    companions::CommandLine<BridgeLine> line{std::nullopt, read.text, read.exitCode};
    if (!read.options)
        return line;
    if (const BridgeOptions* bridge = bridgeOptions(*read.options)) {
        BridgeLine taken;
        static_cast<BridgeOptions&>(taken) = *bridge;
        if (const RunOptions* run = runOptions(*read.options)) {
            taken.calibration = run->calibration;
            taken.sunNoise = run->sunNoise;
        }
        line.options = taken;
    } else {
        line.exitCode = -1;  // read, but as another mode than a bridge
    }
    return line;
}

}  // namespace heliotrope::rotctl
