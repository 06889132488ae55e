#include "companions/rotctl/page/StationWatch.h"

#include "companions/common/ShiftedClock.h"
#include "companions/measure/MeasurementSession.h"
#include "companions/rotctl/bridge/Bridge.h"

namespace heliotrope::rotctl {

namespace {

// The latest this many: a day's warnings, not a history (the log keeps that).
constexpr std::size_t kWarningsKept = 20;
// The kernel is asked again after this long, not at every request.
constexpr qint64 kClockAskMs = 10000;

}  // namespace

StationWatch::StationWatch(Bridge& bridge, QObject* parent)
    : QObject(parent)
    , m_started(companions::companionUtcMs())
{
    // Lost from the start until rotctld first answers.
    m_lostSince = m_started;
    connect(&bridge.rotctld(), &hamlib::RotctldClient::ready, this, [this] { m_lostSince.reset(); });
    connect(&bridge.rotctld(), &hamlib::RotctldClient::lost, this, [this] {
        if (!m_lostSince)
            m_lostSince = companions::companionUtcMs();
    });
    connect(&bridge.rotctld(), &hamlib::RotctldClient::positionRead, this, [this] { m_lastReading = companions::companionUtcMs(); });
    clock();  // as the bridge found it at its start
}

void StationWatch::warned(const QString& line)
{
    m_warnings.push_back(SaidWarning{companions::companionUtcMs(), line});
    while (m_warnings.size() > kWarningsKept)
        m_warnings.pop_front();
}

station::ClockState StationWatch::clock()
{
    const qint64 now = companions::companionUtcMs();
    if (m_clock && now - m_clockAskedMs < kClockAskMs)
        return *m_clock;
    m_clockAskedMs = now;
    const station::ClockState state = measure::measurementClockState();
    if (!m_clock || *m_clock != state) {
        m_clock = state;
        m_clockSince = now;
    }
    return state;
}

}  // namespace heliotrope::rotctl
