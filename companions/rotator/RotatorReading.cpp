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

RotatorPosition meanReading(const std::vector<RotatorPosition>& readings)
{
    const RotatorPosition& first = readings.front();
    double azimuthSum = 0;
    double elevationSum = 0;
    for (const RotatorPosition& reading : readings) {
        azimuthSum += std::remainder(reading.azimuth - first.azimuth, 360.0);
        elevationSum += reading.elevation;
    }
    const double count = static_cast<double>(readings.size());
    return {first.azimuth + azimuthSum / count, elevationSum / count};
}

void Stillness::reading(const RotatorPosition& position, double seconds)
{
    // Alike to the first of the run, not only to the one before: a slow creep
    // of less than a hundredth a reading is still a rotator turning.
    if (!m_first || !readingsAlike(*m_first, position)) {
        m_first = position;
        m_firstSeconds = seconds;
    }
    m_latest = position;
    m_latestSeconds = seconds;
}

}  // namespace heliotrope::rotator
