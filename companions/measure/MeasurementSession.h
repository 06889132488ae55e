#pragma once

// One measurement on the sun from start to end, whichever run it holds (the
// calibration or the sun-noise run): it makes the power source and the
// engine, reads the source once before the antenna moves, starts the run on
// the rotator the bridge lends, ends it on Ctrl+C, gives the rotator back,
// keeps what was found (the offsets saved, the station's record written, the
// health figures compared) and says one outcome. The program's main() starts
// one from the command line; the bridge may start one on request.

#include "companions/common/ShiftedClock.h"
#include "companions/measure/CalibrationOptions.h"
#include "companions/measure/CalibrationResult.h"
#include "companions/measure/FeedSteps.h"
#include "companions/measure/MeasurementOptions.h"
#include "companions/measure/MeasurementOutcome.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/measure/SystemTemperatureOptions.h"
#include "companions/station/SystemClock.h"

#include <QDateTime>
#include <QObject>

#include <memory>
#include <optional>
#include <variant>

namespace heliotrope::power {
class PowerSource;
}

namespace heliotrope::measure {

class CalibrationRun;
class MeasurementEngine;
class RotatorLender;
class ResultKeeping;
class SunNoiseRun;
struct SunNoiseResult;
class SystemTemperatureRun;

// What one measurement is asked to do: the run and its options, the sky the
// sun-noise run places the sun in (the calibration's options carry their
// own), and how its result is kept.
struct MeasurementRequest {
    std::variant<CalibrationOptions, SunNoiseOptions, SystemTemperatureOptions> run;
    // Who puts the absorber over the feed or the noise source on, for a
    // system temperature run; none: the operator at this terminal, or the
    // options' commands (makeFeedSteps).
    FeedStepsMaker feedSteps;
    heliotrope::sky::Site site;
    heliotrope::sky::Refraction refraction = heliotrope::sky::Refraction::Radio;
    heliotrope::sky::Atmosphere atmosphere;
    // How each point is settled and read, and how results are kept.
    MeasurementOptions measurement;
    QString recordPath;  // the station's record; empty: its usual place
    // Where a calibration not told where to write its picture and points
    // writes them; empty: the working folder.
    QString outputFolder;
};

// The system clock as a measurement judges it. HELIOTROPE_CLOCK_STATE
// (synchronised, unsynchronised or unknown), when set, stands in for the
// kernel's answer, so that either clock can be played on any machine.
heliotrope::station::ClockState measurementClockState();

class MeasurementSession : public QObject {
    Q_OBJECT

public:
    MeasurementSession(RotatorLender& lender, MeasurementRequest request, companions::UtcClock clock,
                       QObject* parent = nullptr);
    ~MeasurementSession() override;

    // Begins; everything that follows, a refusal too, is said through the
    // signals, and finished() comes exactly once (never from within start()).
    void start();
    // The operator ends the measurement (Ctrl+C): nothing is saved.
    void interrupt();
    bool isRunning() const { return m_stage != Stage::Idle && m_stage != Stage::Over; }
    const MeasurementOutcome& outcome() const { return m_outcome; }
    // The sun-noise run's figures, once it has ended; nothing for a calibration.
    const SunNoiseResult* sunNoiseResult() const;

signals:
    void notice(const QString& line);
    // A finding the operator must not miss (the station's health): for the
    // journal's warning priority.
    void warning(const QString& line);
    void progress(const QString& line);
    // The rotator is back with the bridge and the result dealt with.
    void finished(const heliotrope::measure::MeasurementOutcome& outcome);

private:
    enum class Stage { Idle,
                       ReadingPower,
                       Running,
                       Over };

    void onFirstReading();
    void onCalibrationFinished(const std::optional<CalibrationOutcome>& fitted, const MeasurementOutcome& ended);
    void onSunNoiseFinished(const MeasurementOutcome& ended);
    void onSystemTemperatureFinished(const MeasurementOutcome& ended);
    // Why there is no result, said once, whichever run ended how.
    void sayOutcome(const MeasurementOutcome& outcome);
    void endBeforeTheRun(const MeasurementOutcome& outcome);
    void end(const MeasurementOutcome& outcome);

    RotatorLender& m_lender;
    MeasurementRequest m_request;
    companions::UtcClock m_clock;
    Stage m_stage = Stage::Idle;
    QDateTime m_runStarted;  // when the run began to measure, on the run's clock
    MeasurementOutcome m_outcome;
    std::unique_ptr<ResultKeeping> m_keeping;
    std::unique_ptr<heliotrope::power::PowerSource> m_power;
    std::unique_ptr<MeasurementEngine> m_engine;
    std::unique_ptr<CalibrationRun> m_calibration;
    std::unique_ptr<SunNoiseRun> m_sunNoise;
    std::unique_ptr<SystemTemperatureRun> m_systemTemperature;
};

}  // namespace heliotrope::measure
