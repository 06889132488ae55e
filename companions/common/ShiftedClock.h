#pragma once

// The UTC the companions compute the sun for. Normally the system's clock; a
// test that needs the sun high whatever the hour shifts it by a number of
// seconds (--clock-offset), the same number in every program of the test, so
// that the bridge and the simulated radiometer see the same sky.

#include <QDateTime>

#include <functional>

namespace heliotrope::companions {

// Seconds since 1970-01-01 00:00 UTC, without leap seconds, with fractions.
using UtcClock = std::function<double()>;

inline UtcClock shiftedUtcClock(double offsetSeconds)
{
    return [offsetSeconds] { return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0 + offsetSeconds; };
}

}  // namespace heliotrope::companions
