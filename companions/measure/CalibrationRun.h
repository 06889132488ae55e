#pragma once

// A calibration on the sun: the points of the pattern, each placed relative
// to the true sun when it is commanded (the sun moves 0.25° a minute, so the
// pattern moves with it: Δaz = Δxel / cos el), measured one by one on the
// measurement engine, then fitted.
//
// Before the first command, the run refuses when the sun is below 10° or a
// point of the pattern would lie beyond the rotator's limits (now or by the
// time the run ends). A point the engine skips is left out of the fit. Every
// way the run ends gives the rotator back to the bridge, which tracks the
// window's set-point again.

#include "companions/common/ShiftedClock.h"
#include "companions/measure/CalibrationOptions.h"
#include "companions/measure/CalibrationResult.h"
#include "companions/measure/MeasurementEngine.h"
#include "companions/measure/MeasurementOutcome.h"

#include <QObject>

#include <optional>
#include <vector>

namespace heliotrope::measure {

class CalibrationRun : public QObject {
    Q_OBJECT

public:
    // The engine is the session's: the run plans on it and aims it.
    CalibrationRun(MeasurementEngine& engine, const CalibrationOptions& options, QObject* parent = nullptr);

    // Plans the pattern; the run begins when the engine is ready.
    void start();
    // The operator ends the run (Ctrl+C); nothing is fitted or saved.
    void interrupt();
    bool isRunning() const { return m_running; }
    // The points planned, those measured so far with their readings.
    const std::vector<MeasuredPoint>& points() const { return m_points; }
    // The lowest sun the run starts on, degrees: below it the refraction and
    // the ground spoil the beam's shape.
    static constexpr double kLowestSunElevation = 10;

signals:
    void notice(const QString& line);
    void progress(const QString& line);
    // The run is over: the fit when the points were measured to the end
    // (possibly refused), nothing otherwise; `ended` says how it ended.
    void finished(const std::optional<CalibrationOutcome>& outcome, const MeasurementOutcome& ended);

private:
    void planPattern();
    companions::SetPoint skyFor(double crossElevation, double elevation, double utc) const;
    // Why the run may not begin now; nothing when it may.
    std::optional<MeasurementOutcome> refusalBeforeStart() const;
    void begin();
    void sayWhatToExpect();
    void measurePoint();
    void onMeasured(const Dwell& dwell);
    void onSkipped(const heliotrope::rotator::RotatorPosition& reading, const heliotrope::rotator::RotatorPosition& target);
    void placeElevationCut();
    void nextPoint();
    void sayProgress();
    // The fit, when measured to the end; how it ended, said by whoever keeps it.
    void end(const std::optional<CalibrationOutcome>& outcome, const MeasurementOutcome& ended);
    double estimatedSecondsPerPoint() const;

    CalibrationOptions m_options;
    MeasurementEngine& m_engine;
    bool m_running = false;

    std::vector<MeasuredPoint> m_points;  // planned, then measured in order
    std::size_t m_index = 0;
    companions::CompanionElapsedTimer m_runClock;
};

}  // namespace heliotrope::measure
