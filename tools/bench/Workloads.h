#pragma once

// The work the benchmarks and the instruction counts measure, kept in one
// place so that both time and count exactly the same thing.
//
// Solar inputs stand at the default observation point (八王子) and sweep a
// year and a day, so a figure is an average over the trigonometry's argument
// range rather than the cost of one lucky value.

#include "solar/CalculationState.h"
#include "solar/CycleView.h"
#include "solar/JstTime.h"
#include "solar/SunPosition.h"

#include <QByteArray>

namespace heliotrope::app {
class frmMain;
}

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace bench {

using heliotrope::app::frmMain;

inline constexpr double kLatitudeDeg = 35.64;  // the window's default point
inline constexpr double kLongitudeDeg = 139.3;

// Where the sky stands during a cycle: day ticks blink the marker and show the
// sunset; night ticks also compute the sunrise azimuth and park the antenna.
enum class Sky { Day,
                 Night };
const char* skyName(Sky sky);

// ---------------------------------------------------------------- position

struct PositionInput {
    double dayNumber;
    double utHours;
};

// 24 dates (the 1st and the 15th of every month) times 24 whole hours JST.
const std::vector<PositionInput>& positionInputs();

// One CALAZEL call on the next input of the sweep.
class PositionWorkload {
public:
    solar::SunPosition once();

private:
    std::size_t m_next = 0;
};

// ---------------------------------------------------------------- solver

// One CALRISE call on the state of the next of the 24 dates, as the position
// step of a noon tick leaves it.
class RiseSetWorkload {
public:
    RiseSetWorkload();
    double once();  // the sunset hour, so the call cannot be dropped

private:
    std::vector<solar::CalculationState> m_states;
    std::size_t m_next = 0;
};

// ---------------------------------------------------------------- cycle

// The JST clock of a running calculation: every reading is 750 ms after the
// one before, and after half an hour it starts over, so that however long a
// benchmark runs it stays on the same side of the horizon.
class SteppingTime {
public:
    explicit SteppingTime(Sky sky, std::chrono::milliseconds step = std::chrono::milliseconds(750));
    std::chrono::system_clock::time_point next();

private:
    std::chrono::system_clock::time_point m_start;
    std::chrono::milliseconds m_step;
    long m_steps = 0;
};

// The cycle's surface without a window: strings for the boxes, the chart's
// instructions kept as values, and the pointing message built as the link
// would put it on the wire, but not sent.
class PlainView final : public solar::CycleView {
public:
    std::string observerLatitudeText() const override;
    std::string observerLongitudeText() const override;
    void showObserverProblem(const solar::ObserverProblem& problem) override;
    void setSettingElevationText(const std::string& text) override;
    void setSettingAzimuthText(const std::string& text) override;
    std::string settingAzimuthText() const override;
    std::string settingElevationText() const override;
    void drawSky(const solar::SkyStep& step) override;
    void drawNotice(const solar::Notice& notice) override;
    void sendPointing(const std::string& azimuthText, const std::string& elevationText) override;

    const QByteArray& lastMessage() const { return m_message; }

private:
    std::string m_elevation;
    std::string m_azimuth;
    solar::SkyStep m_sky;
    solar::Notice m_notice;
    solar::ObserverProblem m_problem;
    QByteArray m_message;
};

// One whole cycle without a window: position, solver, night position, the
// formatted texts and the message bytes.
class CycleWorkload {
public:
    explicit CycleWorkload(Sky sky);
    // False when the cycle did not produce a message, or the wrong branch ran.
    bool once();

private:
    Sky m_sky;
    SteppingTime m_time;
    solar::CalculationState m_state;
    PlainView m_view;
};

// ---------------------------------------------------------------- window

// The real window on the running QApplication, its link open to a loopback
// controller, driven one cycle (or one clock tick) at a time. The window's own
// timers are stopped so that only the work under measurement runs. Its clock
// moves on by `clockStep` at every reading: 750 ms for cycles, 1 s for ticks.
class WindowWorkload {
public:
    explicit WindowWorkload(Sky sky, std::chrono::milliseconds clockStep = std::chrono::milliseconds(750));
    ~WindowWorkload();
    WindowWorkload(const WindowWorkload&) = delete;
    WindowWorkload& operator=(const WindowWorkload&) = delete;

    // Empty when the rig stands: the window is shown and its link is open.
    const std::string& setupError() const;
    frmMain& window();

    // SOLCAL as a tick runs it, then the repaint the event loop does after it.
    void once();

    // What reached the controller since the last call, and whether every
    // cycle since then repainted the chart and sent exactly one message of
    // the expected branch. Empty when all is well, otherwise what went wrong.
    // Not part of the measured work.
    std::string check(int cyclesSinceLastCheck);

    // The clock timer's tick, all that runs while the calculation is stopped:
    // the time label rewritten, then the repaint.
    void clockTick();
    // Whether every tick since the last call repainted the time label and
    // nothing else reached the controller.
    std::string checkClock(int ticksSinceLastCheck);

private:
    struct Rig;
    std::unique_ptr<Rig> m_rig;
};

}  // namespace bench
