#pragma once

namespace heliotrope::app {

// The window's unit of length is the twip, 1/1440 inch. Its layout was drawn
// for 96 dots per inch, where 15 twips make one logical pixel; Qt scales
// logical pixels to the screen. The one figure for the controls, the chart
// and their tests. A double, so that half a pixel (7.5 twips) stays exact.
inline constexpr double kTwipsPerPixel = 15;

}  // namespace heliotrope::app
