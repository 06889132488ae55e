#pragma once

// heliotrope-rotctl's command line: one table of options (the one --help
// lists) read into the mode asked for, each mode with options of its own.
// The bridge runs; a measurement is asked of the running bridge or made by
// this process as a bridge of its own; an asking command (--stow, --resume,
// --stop-rotator, --status) asks the running bridge; --sun-now, --history,
// --set-flux, --flux and --fit-pointing-model end once answered.

#include "companions/common/OptionValues.h"
#include "companions/rotctl/asking/StationAsking.h"
#include "companions/rotctl/bridge/BridgeOptions.h"
#include "companions/rotctl/bridge/RunOptions.h"
#include "companions/rotctl/reports/FluxCommand.h"
#include "companions/rotctl/reports/HistoryCommand.h"
#include "companions/rotctl/reports/PointingModelFit.h"
#include "companions/rotctl/reports/SetFluxCommand.h"

#include <QStringList>

#include <variant>

namespace heliotrope::rotctl {

// A measurement on the command line: asked of the running bridge as
// `asking` says; with none running, made by this process as the bridge
// `bridge` would be.
struct MeasurementMode {
    RunOptions run;
    AskOptions asking;
    BridgeOptions bridge;
};

// --sun-now: the sun as the bridge would point at it now.
struct SunNowMode {
    MountPointing pointing;
};

// --fit-pointing-model, at the bridge's site, in its sky and azimuth range.
struct PointingFitMode {
    PointingFitOptions fit;
    FitStation station;
};

using RotctlMode = std::variant<BridgeOptions, MeasurementMode, AskOptions, SunNowMode, HistoryOptions, SetFluxOptions, PointingFitMode,
                                FluxReportOptions>;

// QCommandLineParser has no option with an optional value: `--stow` alone
// (the bridge's own stow position) is made `--stow=` here, `--stow AZ,EL`
// left as it is; likewise `--flux` alone (the record's flux) and `--flux SFU`
// (a sun-noise run's).
QStringList withStowValue(const QStringList& arguments);

companions::CommandLine<RotctlMode> parseRotctlCommandLine(const QStringList& arguments);

// The bridge's options in a mode that runs a bridge (the bridge itself, or
// a measurement made here); nothing in the others.
const BridgeOptions* bridgeOptions(const RotctlMode& mode);
// The measurement's options; nothing when no measurement is asked.
const RunOptions* runOptions(const RotctlMode& mode);

}  // namespace heliotrope::rotctl
