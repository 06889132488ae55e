#pragma once

// What the station calls a burst: how far above the quiet sun, in its
// scatter, and for how long. The bridge's flux watch (--watch-power) finds,
// says and keeps bursts by it; the flux report (--flux) works a day the
// bridge has not kept yet out by the rule it is given, the same when given
// the same.

#include "companions/flux/FluxDay.h"

namespace heliotrope::companions {
class CompanionCommandLine;
}

namespace heliotrope::rotctl {

void addBurstOptions(companions::CompanionCommandLine& commandLine);
// The day's arithmetic with the burst rule given (the defaults otherwise);
// `used`: whether --watch-power or --flux is asked, without which the
// options are refused as doing nothing.
flux::FluxOptions readBurstOptions(companions::CompanionCommandLine& commandLine, bool used);

}  // namespace heliotrope::rotctl
