#pragma once

// The system temperature measured on cold sky: the dish is pointed at cold
// sky and stays there; the power is read for a dwell, the feed is raised
// (the absorber put over it, or the noise source switched on), read again,
// lowered, and read once more on cold sky, so that a receiver that drifted
// meanwhile is seen rather than taken for the step. Y is the raised power
// over the two cold dwells' mean; the system temperature and its error are
// the flux arithmetic's (flux/FluxScale.h), the cold sky's drift added to the
// cold's error, and a drift beyond kMostColdDrift gives no result.
//
// The run refuses to start (commanding nothing) when the cold sky lies
// outside the rotator's limits or, placed beside the sun, the sun is below
// 10°; it ends early, saying why, as the sun-noise run does, and when a step
// cannot be taken. Every line for the operator is in Japanese and English.

#include "companions/common/ShiftedClock.h"
#include "companions/flux/FluxScale.h"
#include "companions/measure/FeedSteps.h"
#include "companions/measure/MeasurementEngine.h"
#include "companions/measure/MeasurementOutcome.h"
#include "companions/measure/SystemTemperatureOptions.h"
#include "companions/sky/TrueSun.h"

#include <QObject>

#include <memory>
#include <optional>

namespace heliotrope::measure {

struct SystemTemperatureResult {
    std::optional<companions::SetPoint> cold;  // where the cold sky was
    std::optional<flux::PowerMean> coldBefore;
    std::optional<flux::PowerMean> raised;
    std::optional<flux::PowerMean> coldAfter;
    // Hot/cold: the step in temperature behind the rise.
    double ambientKelvin = 0;
    double ambientErrorKelvin = 0;
    double coldSkyKelvin = 0;
    double coldSkyErrorKelvin = 0;
    std::optional<double> coldDrift;  // (after − before) / their mean
    std::optional<double> y;          // raised over the cold mean, linear
    std::optional<double> systemKelvin;
    double systemErrorKelvin = 0;
};

class SystemTemperatureRun : public QObject {
    Q_OBJECT

public:
    // The cold sky changing by more than this between the first dwell and
    // the last is a receiver (or a sky) that moved: no system temperature.
    static constexpr double kMostColdDrift = 0.05;
    static constexpr double kLowestSunElevation = 10.0;  // degrees, for cold sky placed beside the sun
    // The spillover's share of a cold sky's antenna temperature when the
    // operator gives none, and its standard deviation (kelvin).
    static constexpr double kSpilloverAllowanceKelvin = 5.0;

    SystemTemperatureRun(MeasurementEngine& engine, const SystemTemperatureOptions& options, std::unique_ptr<FeedSteps> steps,
                         const sky::Site& site, sky::Refraction refraction, const sky::Atmosphere& atmosphere,
                         QObject* parent = nullptr);
    ~SystemTemperatureRun() override;

    void start();
    void abort(const MeasurementOutcome& ended);
    bool isRunning() const { return m_running; }
    const SystemTemperatureResult& result() const { return m_result; }

signals:
    void notice(const QString& line);
    void progress(const QString& line);
    void finished(const heliotrope::measure::MeasurementOutcome& ended);

private:
    enum class Stage { ColdBefore,
                       Raising,
                       Raised,
                       Lowering,
                       ColdAfter };

    void begin();
    void read(Stage stage);
    void onMeasured(const Dwell& dwell);
    void workOut();
    void stop(const MeasurementOutcome& ended);
    void sayProgress(const QString& japanese, const QString& english);
    QString raisedNameJapanese() const;
    QString raisedNameEnglish() const;

    SystemTemperatureOptions m_options;
    std::unique_ptr<FeedSteps> m_steps;
    sky::Site m_site;
    sky::Refraction m_refraction;
    sky::Atmosphere m_atmosphere;
    MeasurementEngine& m_engine;
    bool m_running = false;
    bool m_raised = false;  // the absorber on or the source on, as far as the run knows
    Stage m_stage = Stage::ColdBefore;
    SystemTemperatureResult m_result;
    companions::CompanionElapsedTimer m_runClock;
};

// A dwell in linear power: its mean, and a reading's scatter from the
// spread the engine keeps in dB. Nothing for a dwell without readings.
std::optional<flux::PowerMean> powerMeanOf(const Dwell& dwell);

// The cold sky's own antenna temperature at an elevation when the operator
// gives none: the typical air's emission at the frequency with the cosmic
// background through it, and the spillover's allowance; its error (the
// second) the allowance with 30 % of the sky's. Nothing where no typical
// air is known.
std::optional<std::pair<double, double>> typicalColdSkyKelvin(double frequencyMegahertz, double elevationDegrees);

}  // namespace heliotrope::measure
