#pragma once

#include "solar/CalculationState.h"
#include "solar/CycleView.h"
#include "solar/JstTime.h"
#include "tools/sweep/SweepPlaces.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sweep {

// What the ticks of one place came to.
struct Tally {
    std::uint64_t ticks = 0;
    std::uint64_t sentByDay = 0;
    std::uint64_t sentByNight = 0;
    std::uint64_t sunsetUnknown = 0;      // day ticks sent without a sunset time
    std::uint64_t withheldObserver = 0;   // boxes unreadable, or no finite position
    std::uint64_t withheldNoSunrise = 0;  // night ticks without a sunrise to park at
    std::uint64_t faults = 0;
    std::map<std::string, std::uint64_t> faultsByRule;
    std::vector<std::string> firstFaults;  // the first few, described

    void add(const Tally& other);
};

// Runs the calculation cycle for one place tick after tick, the calculation
// state carried from one tick to the next as the window carries it, and
// checks what each tick showed and sent.
class PlaceSweep {
public:
    explicit PlaceSweep(const Place& place);

    void tick(const solar::ClockReading& now);
    const Tally& tally() const { return m_tally; }

private:
    void fault(const solar::ClockReading& now, const char* rule, const std::string& detail = std::string());

    const Place& m_place;
    solar::CalculationState m_state;
    Tally m_tally;
};

}  // namespace sweep
