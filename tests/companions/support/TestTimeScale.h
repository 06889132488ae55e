#pragma once

// Every program of an end-to-end test on one faster clock: the simulated
// controller's rotator, the simulated radiometer's sun and the bridge's
// polling, settling and dwells all run `rate` times faster than the wall
// clock from the moment the test starts (HELIOTROPE_TIME_SCALE, inherited by
// every program the test starts, and by its children). Rates, dead bands and
// dwells keep their values in that time; only the waiting shrinks.
//
// Not ours, and so not faster: rotctld's serial timeouts and retries, a
// program starting, a process per power reading. A test says where that
// matters.

#include <QDateTime>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <optional>

class TestTimeScale {
public:
    // Sets the scale for this process's children from now on; with
    // `skyUtc`, their clock reads that UTC now, as the system's own time.
    explicit TestTimeScale(double rate, std::optional<double> skyUtc = std::nullopt)
        : m_rate(rate)
        , m_originUtc(static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0)
        , m_skyUtc(skyUtc.value_or(m_originUtc))
    {
        qputenv("HELIOTROPE_TIME_SCALE", QByteArray::number(rate, 'g', 6) + '@' + QByteArray::number(m_originUtc, 'f', 3) + '@'
                                             + QByteArray::number(m_skyUtc, 'f', 3));
    }
    ~TestTimeScale() { qunsetenv("HELIOTROPE_TIME_SCALE"); }
    TestTimeScale(const TestTimeScale&) = delete;
    TestTimeScale& operator=(const TestTimeScale&) = delete;

    double rate() const { return m_rate; }
    double originUtc() const { return m_originUtc; }
    // The programs' UTC now, before any --clock-offset.
    double utcNow() const
    {
        return m_skyUtc + m_rate * (static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0 - m_originUtc);
    }
    // The --clock-offset that puts the programs' clock at `utc` when the test started.
    double offsetTo(double utc) const { return utc - m_skyUtc; }
    // Real milliseconds for `seconds` of the programs' time (at least one).
    int realMs(double seconds) const { return std::max(1, static_cast<int>(std::lround(seconds * 1000.0 / m_rate))); }

private:
    double m_rate;
    double m_originUtc;
    double m_skyUtc;
};
