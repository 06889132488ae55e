#pragma once

// Geometry of the sky chart in twips (1/1440 inch, 15 twips to a logical
// pixel), origin at the top-left corner of the drawing area, y downwards.
// Pure arithmetic: no Qt, so it can be checked in twips on its own.

#include "app/Twips.h"

namespace chart {

using heliotrope::app::kTwipsPerPixel;

// The drawing area, border included, and the square the chart occupies in it.
inline constexpr double kAreaWidth = 2835;
inline constexpr double kAreaHeight = 2595;
inline constexpr double kChartSize = 2400;

inline constexpr double kCentre = 1200;        // zenith, both axes
inline constexpr double kHorizonRadius = 900;  // elevation 0
inline constexpr double kTwipsPerDegree = 10;  // linear in elevation
inline constexpr double kMarkerRadius = 80;    // the sun disc

struct ChartPoint {
    double x = 0;  // twips, to the right
    double y = 0;  // twips, downwards
};

// Where the sun at azimuth A (degrees from north through east) and elevation h
// (degrees above the horizon) stands on the chart: r = 900 - 10 h from the
// centre, north straight up, east to the right. Uses the same literal pi as
// the solar series, so a position matches the set-point the cycle shows.
// Elevation 90 gives the centre, 0 the horizon circle. Outside 0..90 the
// formula is applied as it stands (h > 90 lands on the opposite side, h < 0
// outside the horizon); non-finite input gives a non-finite point, and the
// caller decides whether to draw it.
ChartPoint projectSun(double azimuthDeg, double elevationDeg);

}  // namespace chart
