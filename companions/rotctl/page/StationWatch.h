#pragma once

// What the page tells beside --status's lines, watched as it happens: the
// warnings the bridge has said, each with its time; since when rotctld has
// been lost and the clock unsynchronised; when the rotator was last read.
// Times in the companions' UTC milliseconds, as the bridge stamps its own.

#include "companions/station/SystemClock.h"

#include <QObject>
#include <QString>

#include <deque>
#include <optional>

namespace heliotrope::rotctl {

class Bridge;

struct SaidWarning {
    qint64 utcMs = 0;
    QString text;  // Japanese, newline, English
};

class StationWatch : public QObject {
    Q_OBJECT

public:
    explicit StationWatch(Bridge& bridge, QObject* parent = nullptr);

    void warned(const QString& line);
    const std::deque<SaidWarning>& warnings() const { return m_warnings; }
    const std::optional<qint64>& rotctldLostSinceMs() const { return m_lostSince; }
    const std::optional<qint64>& lastReadingMs() const { return m_lastReading; }
    // The clock as a measurement judges it, and since when it has stood so.
    station::ClockState clock();
    qint64 clockSinceMs() const { return m_clockSince; }
    qint64 startedMs() const { return m_started; }

private:
    std::deque<SaidWarning> m_warnings;
    std::optional<qint64> m_lostSince;
    std::optional<qint64> m_lastReading;
    std::optional<station::ClockState> m_clock;
    qint64 m_clockSince = 0;
    qint64 m_clockAskedMs = 0;
    qint64 m_started = 0;
};

}  // namespace heliotrope::rotctl
