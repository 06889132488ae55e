#pragma once

#include <cstdint>

namespace solar {

// One reading of the Japan Standard Time clock, split the way the cycle uses it.
struct ClockReading {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
};

// Japan Standard Time for an instant given as seconds since 1970-01-01 00:00
// UTC: UT + 9 h, independent of the machine's own time-zone setting.
ClockReading jstFromUnixSeconds(std::int64_t unixSeconds);

}  // namespace solar
