#pragma once

// A sun-noise measurement: the rotator alternates between the real sun (with
// the rotator's offsets, as tracking applies them) and cold sky, N times; at
// each point, once the rotator has settled, the power is read for the dwell
// time and averaged. Y = sun − cold in dB, averaged over the repeats, with its
// spread; with the station given, the expected Y and G/T as well.
//
// The run commands the rotator itself through the bridge's rotctld connection
// while the bridge holds back its own commands. It refuses to start (and
// commands nothing) when the sun is below 10° or a point lies outside the
// rotator's limits; it ends early, saying why, when the power source stops
// answering, rotctld is lost or refuses a command, a point does not settle, or
// the operator interrupts it. Every line for the operator is in Japanese and
// English.

#include "companions/measure/MeasurementEngine.h"
#include "companions/measure/MeasurementOutcome.h"
#include "companions/measure/SunNoiseCsv.h"
#include "companions/measure/SunNoiseOptions.h"
#include "companions/sky/TrueSun.h"
#include "companions/sunnoise/SunNoise.h"

#include <QObject>

#include <optional>
#include <vector>

namespace heliotrope::measure {

struct SunNoiseResult {
    std::vector<heliotrope::sunnoise::PowerPair> repeats;
    std::optional<heliotrope::sunnoise::YFactor> y;
    std::optional<double> expectedYDecibels;
    std::optional<double> gOverTDecibelsPerKelvin;
    bool gainControlWarning = false;  // Y below 0.3 dB: AGC on, or not on the sun
};

class SunNoiseRun : public QObject {
    Q_OBJECT

public:
    // Below this the sun's noise is mixed with the ground's and the
    // atmosphere's, and the cold sky beside it is not cold: no measurement.
    static constexpr double kLowestSunElevation = 10.0;  // degrees
    // Y below this is no measurement of the sun: the receiver's gain control
    // holds its output level, or the antenna does not see the sun.
    static constexpr double kLowestPlausibleYDecibels = 0.3;

    // The engine is the session's: the run plans on it and aims it.
    SunNoiseRun(MeasurementEngine& engine, const SunNoiseOptions& options, const heliotrope::sky::Site& site,
                heliotrope::sky::Refraction refraction, const heliotrope::sky::Atmosphere& atmosphere,
                QObject* parent = nullptr);

    // Readies the run; once the engine is ready it checks the sun and both
    // points against the rotator's limits, opens the CSV and begins. When it
    // cannot begin, the reason is said, nothing is commanded and finished()
    // says Refused.
    void start();
    // Ends the run early (Ctrl+C, or the engine could not go on), as `ended`
    // says; keeps the CSV rows written so far and the repeats' Y.
    void abort(const MeasurementOutcome& ended);
    bool isRunning() const { return m_running; }
    const SunNoiseResult& result() const { return m_result; }

signals:
    void notice(const QString& line);
    // One line per step: repeat k of n, which point, time left.
    void progress(const QString& line);
    // The run is over: a Y found, or why not.
    void finished(const MeasurementOutcome& ended);

private:
    enum class Point { Sun,
                       Cold };

    // The sun where the run may measure it; otherwise nothing, and why not.
    std::optional<heliotrope::sky::TrueSunPosition> sunNow(MeasurementOutcome* refusal) const;
    bool clamped(const companions::SetPoint& sky) const;
    // The cold-sky point for the sun at `sun`: --cold, or the offset on the
    // side that lies within the limits.
    std::optional<companions::SetPoint> coldSky(const heliotrope::sky::TrueSunPosition& sun) const;
    // The cold sky the run has settled on, whether or not the rotator can reach it.
    companions::SetPoint coldSkyOnChosenSide(const heliotrope::sky::TrueSunPosition& sun) const;
    void begin();
    void measure(Point point);
    void onMeasured(const Dwell& dwell);
    void finishRun();
    void stop(const MeasurementOutcome& ended);
    void sayProgress(const QString& japanese, const QString& english);

    SunNoiseOptions m_options;
    heliotrope::sky::Site m_site;
    heliotrope::sky::Refraction m_refraction;
    heliotrope::sky::Atmosphere m_atmosphere;
    MeasurementEngine& m_engine;
    double m_beamwidth = 0;  // degrees, for the cold-sky offset
    bool m_running = false;

    SunNoiseCsv m_csv;
    SunNoiseResult m_result;
    Point m_point = Point::Sun;
    int m_repeat = 0;                  // 1-based while running
    std::optional<double> m_coldSide;  // +1 or −1: the side of the sun the offset cold sky lies on
    PointReading m_sunPoint;
    double m_sunOffset = 0;  // degrees on the sky between the dish and the sun, at the sun point
    companions::CompanionElapsedTimer m_runClock;
    int m_pointsDone = 0;
};

}  // namespace heliotrope::measure
