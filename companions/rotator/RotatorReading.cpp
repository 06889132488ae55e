#include "companions/rotator/RotatorReading.h"

#include <cmath>

namespace heliotrope::rotator {

namespace {

// A hundredth, and room for its binary fraction (108.46 - 108.45 is a little
// over 0.01).
constexpr double kLastPrintedDigit = 0.015;

}  // namespace

bool readingsAlike(const RotatorPosition& a, const RotatorPosition& b)
{
    return std::abs(a.azimuth - b.azimuth) < kLastPrintedDigit && std::abs(a.elevation - b.elevation) < kLastPrintedDigit;
}

}  // namespace heliotrope::rotator
