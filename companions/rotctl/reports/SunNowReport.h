#pragma once

// --sun-now: a look at the site before observing. For the site and one instant
// it gives the real sun, the window's model position for the same instant
// (computed by the window's own calculation cycle, at the JST clock reading
// the window would have) and how far apart they are on the sky; a gap beyond
// the true-sun guard means a wrong --site or clock.

#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotctl/truesun/TrueSunOptions.h"

#include <QString>
#include <QtGlobal>

namespace heliotrope::rotctl {

struct SunNowReport {
    QString text;      // for standard output, Japanese and English lines
    int exitCode = 0;  // 1 when the real sun could not be computed
};

// options.site must be set. utcMilliseconds: the instant, since 1970-01-01 UTC.
// frame: how the bridge would command the rotator for the real sun; the
// command is shown with its model or offsets and without them.
SunNowReport sunNowReport(const TrueSunOptions& options, qint64 utcMilliseconds, const rotator::RotatorFrame& frame = {});

}  // namespace heliotrope::rotctl
