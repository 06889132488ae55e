#pragma once

#include <optional>
#include <string>

namespace solar {

// The display patterns of the set-point boxes. The value is first taken to 15
// significant decimal digits and then rounded half away from zero, so 9.996
// gives "10.00" and 0.125 gives "0.13". A non-finite value is refused
// (nullopt): it must never reach a box or the antenna. A negative value
// carries a leading "-" before the pattern's own text.

// "000.00": at least three whole digits, two decimals (5.5 -> "005.50").
std::optional<std::string> formatAzimuth(double degrees);
// " ##.00": a blank, whole degrees without leading zeros (none when 0), two
// decimals (78.42726 -> " 78.43", 0.5 -> " .50").
std::optional<std::string> formatDayElevation(double degrees);
// "##.000": whole degrees without leading zeros, three decimals (0 -> ".000").
std::optional<std::string> formatNightElevation(double degrees);

// The general number-to-text form of the chart's times: shortest decimal text
// to 15 significant digits, a point as separator, no blank, no leading zero
// before the point; a whole number has no point (18 -> "18", 5 -> "5").
std::optional<std::string> formatGeneral(double value);

}  // namespace solar
