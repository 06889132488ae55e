#pragma once

// What two positions of the rotator tell when set side by side.

#include "companions/rotator/RotatorPosition.h"

#include <optional>
#include <vector>

namespace heliotrope::rotator {

// Alike as rotctld reads them out: within a hundredth on each axis, the last
// digit it prints (older versions print six decimals of the same float). A
// reading alike to a command: the rotator stands on it.
bool readingsAlike(const RotatorPosition& a, const RotatorPosition& b);

// The mean of some readings (at least one), the azimuth taken about the
// first so that a rotator standing at north does not average 359.9° and 0.1°
// to 180°.
RotatorPosition meanReading(const std::vector<RotatorPosition>& readings);

// Whether the rotator stands still: its readings alike, a creep of less than
// a hundredth being as good as none, for long enough that a turning rotator
// would have read otherwise by then. Two alike readings alone say nothing on
// a coarse controller: a whole-degree rotator turning at 2° a second reads
// the same degree for half a second, and two readings a few milliseconds
// apart (a poll answered straight after the one before, as on a busy
// machine) read alike at any speed.
class Stillness {
public:
    // A reading at `seconds` of any clock.
    void reading(const RotatorPosition& position, double seconds);
    void reset() { *this = Stillness(); }
    // Readings alike for at least `span` seconds, the latest among them.
    bool still(double span) const { return m_first && m_latestSeconds - m_firstSeconds >= span; }
    const std::optional<RotatorPosition>& latest() const { return m_latest; }

private:
    std::optional<RotatorPosition> m_first;  // the first of the latest alike readings
    double m_firstSeconds = 0;
    std::optional<RotatorPosition> m_latest;
    double m_latestSeconds = 0;
};

}  // namespace heliotrope::rotator
