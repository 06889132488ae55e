#pragma once

// The position report sent back to the window: "1,<azimuth>,<elevation>", ASCII,
// no line end. The window shows the second and third fields verbatim in its
// antenna boxes, so a line end would show there too. The first field is read
// and dropped by the window.

#include <QByteArray>

namespace heliotrope::companions {

// Azimuth in degrees from north through east, brought into 0 to 360 (below
// 360.00 once rounded, so north reads 0.00 as a rotator's -180 to 180 or overlap
// coordinates are folded back), elevation in degrees; both with two decimals,
// "-0.00" written as "0.00". Angles that are not finite give an empty result.
QByteArray positionReport(double azimuth, double elevation);

// The azimuth folded into 0 <= a < 360.
double normalizedAzimuth(double azimuth);

}  // namespace heliotrope::companions
