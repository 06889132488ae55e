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

#include "companions/rotctl/RotatorGeometry.h"
#include "companions/rotctl/SunNoiseCsv.h"
#include "companions/rotctl/SunNoiseOptions.h"
#include "companions/sky/TrueSun.h"
#include "companions/sunnoise/SunNoise.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace heliotrope::power {
class PowerSource;
}

namespace heliotrope::rotctl {

class RotctldClient;

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
    // A point not reached in this long is given up, and with it the run.
    static constexpr int kSettleTimeoutMs = 180000;
    static constexpr int kPositionPollMs = 250;

    using UtcSecondsClock = std::function<double()>;  // seconds since 1970 UTC, with fractions

    SunNoiseRun(const SunNoiseOptions& options, const heliotrope::sky::Site& site,
                heliotrope::sky::Refraction refraction, const heliotrope::sky::Atmosphere& atmosphere,
                RotctldClient& rotctld, heliotrope::power::PowerSource& power, UtcSecondsClock clock,
                QObject* parent = nullptr);

    // Checks the sun and both points against the frame's limits, opens the CSV
    // and commands the sun. False, with the reason said and nothing commanded,
    // when it cannot start.
    bool start(const RotatorFrame& frame);
    // Ends the run early (Ctrl+C): says why, keeps the CSV rows written so far.
    void abort(const QString& reasonJapanese, const QString& reasonEnglish);
    bool isRunning() const { return m_phase != Phase::Idle; }
    const SunNoiseResult& result() const { return m_result; }

signals:
    void notice(const QString& line);
    // One line per step: repeat k of n, which point, time left.
    void progress(const QString& line);
    // The run is over; completed false when it was refused or ended early.
    void finished(bool completed);

private:
    enum class Phase { Idle,
                       Slewing,
                       Dwelling };
    enum class Point { Sun,
                       Cold };

    struct Target {
        companions::SetPoint sky;  // sky terms, degrees
        RotatorPosition rotator;   // rotator terms, within the limits
        bool clamped = false;
    };

    std::optional<heliotrope::sky::TrueSunPosition> sunNow(QString* problemJapanese, QString* problemEnglish) const;
    Target targetFor(const companions::SetPoint& sky) const;
    // The cold-sky point for the sun at `sun`: --cold, or the offset on the
    // side that lies within the limits.
    std::optional<Target> coldTarget(const heliotrope::sky::TrueSunPosition& sun) const;
    void beginPoint(Point point);
    void commandPoint();
    void onPosition(const RotatorPosition& reading);
    void onReading(double decibels);
    void onPowerFailed(const QString& reason);
    void finishPoint();
    void finishRun();
    void stop(bool completed);
    void sayProgress(const QString& japanese, const QString& english);
    double secondsLeft() const;

    SunNoiseOptions m_options;
    heliotrope::sky::Site m_site;
    heliotrope::sky::Refraction m_refraction;
    heliotrope::sky::Atmosphere m_atmosphere;
    RotctldClient& m_rotctld;
    heliotrope::power::PowerSource& m_power;
    UtcSecondsClock m_clock;
    double m_beamwidth = 0;  // degrees, for the cold-sky offset

    RotatorFrame m_frame;
    SunNoiseCsv m_csv;
    SunNoiseResult m_result;
    Phase m_phase = Phase::Idle;
    Point m_point = Point::Sun;
    int m_repeat = 0;  // 1-based while running
    Target m_target;
    std::optional<double> m_coldSide;              // +1 or −1: the side of the sun the offset cold sky lies on
    std::optional<RotatorPosition> m_lastReading;  // rotator terms
    std::vector<double> m_readings;                // of the point being read, dB
    PointReading m_sunPoint;
    QTimer m_pollTimer;
    QTimer m_settleTimer;
    QElapsedTimer m_dwellClock;
    QElapsedTimer m_runClock;
    int m_pointsDone = 0;
};

}  // namespace heliotrope::rotctl
