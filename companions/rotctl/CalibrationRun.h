#pragma once

// A calibration on the sun, driving the rotator through the bridge's rotctld
// connection while the bridge holds its own commands back.
//
// Each point of the pattern is placed relative to the true sun at the moment
// it is commanded (the sun moves 0.25° a minute), so the pattern moves with
// it: Δaz = Δxel / cos el. The rotator is read until it reports the point
// within the tolerance (settled), then the power is read for the dwell time;
// the point keeps the mean, the spread and the count of the readings, and its
// position relative to the sun at the middle of them. A point the rotator
// never reaches is skipped and said; a power source that fails three readings
// in a row ends the run.
//
// Before the first command, the run refuses when the sun is below 10° or a
// point of the pattern would lie beyond the rotator's limits (now or by the
// time the run ends); while it runs, a point that would has the run ended.
// Every way the run ends gives the bridge its commands back, so it tracks the
// window's set-point again.

#include "companions/common/ShiftedClock.h"
#include "companions/power/PowerSource.h"
#include "companions/rotctl/CalibrationOptions.h"
#include "companions/rotctl/CalibrationResult.h"
#include "companions/rotctl/RotatorGeometry.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <optional>
#include <vector>

namespace heliotrope::rotctl {

class Bridge;

class CalibrationRun : public QObject {
    Q_OBJECT

public:
    CalibrationRun(Bridge& bridge, const CalibrationOptions& options, heliotrope::power::PowerSource& power,
                   companions::UtcClock clock, QObject* parent = nullptr);

    // Begins as soon as rotctld is connected and the rotator read.
    void start();
    // The operator ends the run (Ctrl+C); nothing is fitted or saved.
    void interrupt();
    bool isRunning() const { return m_state != State::Idle && m_state != State::Finished; }

    // The lowest sun the run starts on, degrees: below it the refraction and
    // the ground spoil the beam's shape.
    static constexpr double kLowestSunElevation = 10;

signals:
    void notice(const QString& line);
    // Point `done` of `total` measured, about `secondsLeft` to go.
    void progress(int done, int total, double secondsLeft);
    // The run is over and the bridge's commands released; the outcome when
    // the points were measured to the end (fitted, possibly refused), nothing
    // otherwise. A last notice saying tracking resumes follows.
    void finished(const std::optional<CalibrationOutcome>& outcome);

private:
    enum class State { Idle,
                       WaitingForRotator,
                       Settling,
                       Dwelling,
                       Finished };

    struct Target {
        RotatorPosition rotator;   // what P is sent
        companions::SetPoint sky;  // where the dish should then point
        bool clamped = false;
        QString limitText;  // when clamped: which limit
    };

    void planPattern();
    Target targetFor(double crossElevation, double elevation, double utc) const;
    bool checkBeforeStart(QString* refusal) const;
    void begin();
    void commandPoint();
    void onPosition(const RotatorPosition& reading);
    void onReading(double decibels);
    void onPowerFailed(const QString& reason);
    void finishPoint();
    void nextPoint();
    void evaluate();
    void end(const std::optional<CalibrationOutcome>& outcome, const QString& line);
    double estimatedSecondsPerPoint() const;

    Bridge& m_bridge;
    CalibrationOptions m_options;
    heliotrope::power::PowerSource& m_power;
    companions::UtcClock m_clock;
    State m_state = State::Idle;

    std::vector<MeasuredPoint> m_points;  // planned, then measured in order
    std::size_t m_index = 0;
    Target m_target;
    bool m_pointingSent = false;          // the P for this point has gone out
    bool m_readingAfterPointing = false;  // a p written after it is on its way
    std::optional<RotatorPosition> m_present;
    QElapsedTimer m_pointClock;  // since the point was commanded, or since the dwell began
    QElapsedTimer m_runClock;
    QTimer m_pollTimer;
    std::vector<double> m_readings;
    std::vector<double> m_readingTimes;
    int m_failuresInRow = 0;
};

}  // namespace heliotrope::rotctl
