#include "companions/rotctl/CalibrationRun.h"

#include "companions/common/ConsoleText.h"
#include "companions/rotctl/Bridge.h"
#include "companions/sky/TrueSun.h"

#include <algorithm>
#include <cmath>
#include <numeric>

using heliotrope::companions::degreesText;
using heliotrope::companions::SetPoint;
using heliotrope::companions::UtcClock;

namespace heliotrope::rotctl {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979 / 180.0;
// How often the rotator is read while it moves to a point, ms.
constexpr int kSettlePollMs = 200;
// Power readings failing in a row before the source is taken for dead. One
// failure may be a rigctld restarted between two readings.
constexpr int kFailuresToGiveUp = 3;
// Five-point: the baseline is read this many beamwidths off the sun, where
// the main beam's response is below 10⁻¹⁰ of its peak.
constexpr double kBaselineBeamwidths = 3;

double cosineOf(double degrees)
{
    return std::cos(degrees * kRadiansPerDegree);
}

double wrapped180(double degrees)
{
    return std::remainder(degrees, 360.0);
}

heliotrope::sky::TrueSunPosition sunAt(const CalibrationOptions& options, double utc)
{
    // The sun as the dish sees it at radio wavelengths, refraction included.
    return heliotrope::sky::trueSunTopocentric(utc, options.site, heliotrope::sky::Refraction::Radio);
}

QString pointName(const MeasuredPoint& point)
{
    return QStringLiteral("（クロス仰角 %1°、仰角 %2° / xel %1°, el %2°）")
        .arg(point.plannedCrossElevation, 0, 'f', 2)
        .arg(point.plannedElevation, 0, 'f', 2);
}

}  // namespace

CalibrationRun::CalibrationRun(Bridge& bridge, const CalibrationOptions& options, heliotrope::power::PowerSource& power,
                               UtcClock clock, QObject* parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_options(options)
    , m_power(power)
    , m_clock(std::move(clock))
{
    m_pollTimer.setInterval(kSettlePollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        if (m_bridge.rotctld().isReady())
            m_bridge.rotctld().requestPosition();
    });
    RotctldClient& client = m_bridge.rotctld();
    connect(&client, &RotctldClient::positionRead, this, [this](const RotatorPosition& reading, qint64) { onPosition(reading); });
    connect(&client, &RotctldClient::commandWritten, this, [this](const QByteArray& command) {
        if (command.startsWith("P "))
            m_pointingSent = true;
        else if (command == "p" && m_pointingSent)
            m_readingAfterPointing = true;
    });
    connect(&client, &RotctldClient::ready, this, [this] {
        if (m_state == State::WaitingForRotator)
            m_bridge.rotctld().requestPosition();
    });
    connect(&client, &RotctldClient::lost, this, [this] {
        if (m_state == State::Settling || m_state == State::Dwelling) {
            end(std::nullopt, QStringLiteral("rotctld との接続が切れたため較正を中止しました。/ "
                                             "Calibration stopped: the connection to rotctld was lost."));
        }
    });
    connect(&client, &RotctldClient::pointingAnswered, this, [this](int returnCode) {
        if (returnCode != 0 && (m_state == State::Settling || m_state == State::Dwelling)) {
            end(std::nullopt, QStringLiteral("rotctld が指向コマンドを受け付けないため較正を中止しました（RPRT %1）。/ "
                                             "Calibration stopped: rotctld refused a pointing command (RPRT %1).")
                                  .arg(returnCode));
        }
    });
    connect(&m_power, &heliotrope::power::PowerSource::readingArrived, this, &CalibrationRun::onReading);
    connect(&m_power, &heliotrope::power::PowerSource::failed, this, &CalibrationRun::onPowerFailed);
}

void CalibrationRun::start()
{
    planPattern();
    m_state = State::WaitingForRotator;
    emit notice(QStringLiteral("較正: rotctld に接続して回転器の位置を読むのを待っています。/ "
                               "Calibration: waiting for rotctld and the rotator's position."));
    if (m_bridge.rotctld().isReady())
        m_bridge.rotctld().requestPosition();
}

void CalibrationRun::planPattern()
{
    m_points.clear();
    const double step = m_options.stepDegrees();
    const int half = static_cast<int>(std::floor(m_options.spanDegrees() / step + 1e-9));
    const auto add = [this](PointRole role, double xel, double el) {
        MeasuredPoint point;
        point.role = role;
        point.plannedCrossElevation = xel;
        point.plannedElevation = el;
        m_points.push_back(point);
    };
    if (m_options.pattern == CalibrationPattern::Cross) {
        for (int k = -half; k <= half; ++k)
            add(PointRole::CrossElevation, k * step, 0);
        // Centred in cross-elevation on the first cut's peak once it is known.
        for (int k = -half; k <= half; ++k)
            add(PointRole::Elevation, 0, k * step);
    } else {
        const double off = kBaselineBeamwidths * m_options.beamwidth;
        add(PointRole::Baseline, -off, 0);
        add(PointRole::CrossElevation, -step, 0);
        add(PointRole::Centre, 0, 0);
        add(PointRole::CrossElevation, step, 0);
        add(PointRole::Baseline, off, 0);
        add(PointRole::Elevation, 0, step);
        add(PointRole::Elevation, 0, -step);
    }
}

CalibrationRun::Target CalibrationRun::targetFor(double crossElevation, double elevation, double utc) const
{
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_options, utc);
    Target target;
    double azimuth = std::fmod(sun.azimuth + crossElevation / std::max(cosineOf(sun.elevation), 1e-3), 360.0);
    if (azimuth < 0)
        azimuth += 360.0;
    target.sky = SetPoint{azimuth, sun.elevation + elevation};
    const RotatorFrame& frame = m_bridge.frame();
    const RotatorCommand command = rotatorCommand(frame, target.sky, m_present);
    target.rotator = RotatorPosition{command.azimuth, command.elevation};
    target.clamped = command.clamped;
    if (command.clamped) {
        const RotatorLimits& limits = frame.limits;
        QStringList which;
        if (command.azimuth <= limits.minAzimuth)
            which << QStringLiteral("方位角の下限 %1 / azimuth limit %1").arg(degreesText(limits.minAzimuth));
        if (command.azimuth >= limits.maxAzimuth)
            which << QStringLiteral("方位角の上限 %1 / azimuth limit %1").arg(degreesText(limits.maxAzimuth));
        if (command.elevation <= limits.minElevation)
            which << QStringLiteral("仰角の下限 %1 / minimum elevation %1").arg(degreesText(limits.minElevation));
        if (command.elevation >= limits.maxElevation)
            which << QStringLiteral("仰角の上限 %1 / maximum elevation %1").arg(degreesText(limits.maxElevation));
        target.limitText = which.join(QStringLiteral("、"));
    }
    return target;
}

double CalibrationRun::estimatedSecondsPerPoint() const
{
    // Dwell and a settling allowance: the rotator's speed is not known ahead.
    return m_options.dwellSeconds + 2.0;
}

bool CalibrationRun::checkBeforeStart(QString* refusal) const
{
    const double now = m_clock();
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_options, now);
    if (sun.status == heliotrope::sky::EphemerisStatus::Failed) {
        *refusal = QStringLiteral("この日時の太陽を計算できません。/ The sun cannot be computed for this date.");
        return false;
    }
    if (sun.elevation < kLowestSunElevation) {
        *refusal = QStringLiteral("太陽の仰角が %1 で %2° より低いため、較正を始めません。/ "
                                  "The sun is at %1 elevation, below %2°: calibration not started.")
                       .arg(degreesText(sun.elevation))
                       .arg(kLowestSunElevation);
        return false;
    }
    // The pattern where it stands now and where it will stand at the end
    // (the el cut may move by the first cut's peak: checked at command time).
    const double end = now + static_cast<double>(m_points.size()) * estimatedSecondsPerPoint();
    for (const double utc : {now, end}) {
        for (const MeasuredPoint& point : m_points) {
            const Target target = targetFor(point.plannedCrossElevation, point.plannedElevation, utc);
            if (target.clamped) {
                *refusal = QStringLiteral("較正パターンの点%1が回転器の可動範囲を越えます（%2）。較正を始めません。/ "
                                          "A point of the pattern%1 lies beyond the rotator's limits (%2): calibration not started.")
                               .arg(pointName(point), target.limitText);
                return false;
            }
        }
    }
    return true;
}

void CalibrationRun::onPosition(const RotatorPosition& reading)
{
    if (m_state == State::WaitingForRotator) {
        m_present = reading;
        begin();
        return;
    }
    if (m_state != State::Settling)
        return;
    if (!m_readingAfterPointing)
        return;  // read before the P went out: says nothing about arriving
    m_present = reading;
    const double azimuthOff = wrapped180(reading.azimuth - m_target.rotator.azimuth) * cosineOf(m_target.sky.elevation);
    const double elevationOff = reading.elevation - m_target.rotator.elevation;
    if (std::abs(azimuthOff) <= m_options.settleTolerance && std::abs(elevationOff) <= m_options.settleTolerance) {
        m_pollTimer.stop();
        m_state = State::Dwelling;
        m_readings.clear();
        m_readingTimes.clear();
        m_pointClock.restart();
        m_power.requestReading();
        return;
    }
    if (static_cast<double>(m_pointClock.elapsed()) > m_options.settleTimeoutSeconds * 1000.0) {
        MeasuredPoint& point = m_points[m_index];
        point.skipped = true;
        emit notice(QStringLiteral("点%1に回転器が %2 秒たっても着きません（読み 方位角 %3 仰角 %4、目標 %5 %6）。この点を飛ばします。/ "
                                   "The rotator did not reach point%1 within %2 s (reads %3 %4, target %5 %6): point skipped.")
                        .arg(pointName(point))
                        .arg(m_options.settleTimeoutSeconds)
                        .arg(degreesText(reading.azimuth), degreesText(reading.elevation),
                             degreesText(m_target.rotator.azimuth), degreesText(m_target.rotator.elevation)));
        nextPoint();
    }
}

void CalibrationRun::begin()
{
    QString refusal;
    if (!checkBeforeStart(&refusal)) {
        end(std::nullopt, refusal);
        return;
    }
    m_bridge.holdCommands(true);
    m_runClock.start();
    m_index = 0;
    emit notice(QStringLiteral("較正を始めます: %1、%2 点、ビーム幅 %3、幅 ±%4、間隔 %5、各点 %6 秒、電力: %7 / "
                               "Calibration begins: %1, %2 points, beamwidth %3, span ±%4, step %5, dwell %6 s, power: %7")
                    .arg(m_options.pattern == CalibrationPattern::Cross ? QStringLiteral("cross") : QStringLiteral("five"))
                    .arg(m_points.size())
                    .arg(degreesText(m_options.beamwidth), degreesText(m_options.spanDegrees()),
                         degreesText(m_options.stepDegrees()))
                    .arg(m_options.dwellSeconds)
                    .arg(m_power.description()));
    emit progress(0, static_cast<int>(m_points.size()), static_cast<double>(m_points.size()) * estimatedSecondsPerPoint());
    commandPoint();
}

void CalibrationRun::commandPoint()
{
    const MeasuredPoint& point = m_points[m_index];
    m_target = targetFor(point.plannedCrossElevation, point.plannedElevation, m_clock());
    if (m_target.clamped) {
        end(std::nullopt, QStringLiteral("点%1が回転器の可動範囲を越えるため較正を中止しました（%2）。/ "
                                         "Calibration stopped: point%1 would lie beyond the rotator's limits (%2).")
                              .arg(pointName(point), m_target.limitText));
        return;
    }
    m_state = State::Settling;
    m_pointingSent = false;
    m_readingAfterPointing = false;
    m_pointClock.restart();
    m_bridge.rotctld().requestPointing(m_target.rotator);
    m_bridge.rotctld().requestPosition();
    m_pollTimer.start();
}

void CalibrationRun::onReading(double decibels)
{
    if (m_state != State::Dwelling)
        return;
    m_failuresInRow = 0;
    m_readings.push_back(decibels);
    m_readingTimes.push_back(m_clock());
    if (static_cast<double>(m_pointClock.elapsed()) >= m_options.dwellSeconds * 1000.0)
        finishPoint();
    else
        m_power.requestReading();
}

void CalibrationRun::onPowerFailed(const QString& reason)
{
    if (m_state != State::Dwelling)
        return;
    if (++m_failuresInRow >= kFailuresToGiveUp) {
        end(std::nullopt, QStringLiteral("電力を %1 回続けて読めないため較正を中止しました: %2 / "
                                         "Calibration stopped: %1 power readings failed in a row: %2")
                              .arg(kFailuresToGiveUp)
                              .arg(reason));
        return;
    }
    emit notice(reason);
    m_power.requestReading();
}

void CalibrationRun::finishPoint()
{
    MeasuredPoint& point = m_points[m_index];
    const double count = static_cast<double>(m_readings.size());
    point.count = static_cast<int>(m_readings.size());
    point.power = std::accumulate(m_readings.begin(), m_readings.end(), 0.0) / count;
    double squares = 0;
    for (const double value : m_readings)
        squares += (value - point.power) * (value - point.power);
    point.spread = m_readings.size() > 1 ? std::sqrt(squares / (count - 1)) : 0;
    point.utc = (m_readingTimes.front() + m_readingTimes.back()) / 2;

    // Where the rotator stood relative to the sun in the middle of the readings,
    // in the rotator's own reading (the frame's offsets are added back): the
    // fitted centre is then the whole offset, not a correction to the present one.
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_options, point.utc);
    const RotatorFrame& frame = m_bridge.frame();
    const RotatorPosition sky = skyPosition(frame, *m_present);
    point.sunAzimuth = sun.azimuth;
    point.sunElevation = sun.elevation;
    point.readAzimuth = m_present->azimuth;
    point.readElevation = m_present->elevation;
    point.crossElevation = wrapped180(sky.azimuth + frame.azimuthOffset - sun.azimuth) * cosineOf(sun.elevation);
    point.elevation = sky.elevation + frame.elevationOffset - sun.elevation;

    // Cross scan: the cut in elevation goes through the first cut's peak.
    if (m_options.pattern == CalibrationPattern::Cross && point.role == PointRole::CrossElevation
        && (m_index + 1 == m_points.size() || m_points[m_index + 1].role != PointRole::CrossElevation)) {
        const heliotrope::calibrate::BeamFitResult fit = heliotrope::calibrate::fitBeamCut(cutPoints(m_points, PointRole::CrossElevation), m_options.beamwidth);
        if (fit.ok()) {
            // The frame's present azimuth offset is already in every command.
            const double centre = fit.centre - frame.azimuthOffset * cosineOf(sun.elevation);
            for (MeasuredPoint& next : m_points) {
                if (next.role == PointRole::Elevation)
                    next.plannedCrossElevation = centre;
            }
        } else {
            emit notice(refusalText(fit, QStringLiteral("クロス仰角のスキャン"), QStringLiteral("cross-elevation"))
                        + QStringLiteral(" 仰角のスキャンは太陽の計算位置を通します。/ The elevation cut goes through the computed sun."));
        }
    }
    nextPoint();
}

void CalibrationRun::nextPoint()
{
    ++m_index;
    const int done = static_cast<int>(m_index);
    const int total = static_cast<int>(m_points.size());
    const double perPoint = static_cast<double>(m_runClock.elapsed()) / 1000.0 / done;
    emit progress(done, total, perPoint * (total - done));
    if (m_index >= m_points.size()) {
        evaluate();
        return;
    }
    commandPoint();
}

void CalibrationRun::evaluate()
{
    CalibrationOutcome outcome = evaluateCalibration(m_options.pattern, m_points, m_options.beamwidth);
    end(outcome, QStringLiteral("較正の測定を終えました（%1 秒）。/ Calibration measured in %1 s.").arg(static_cast<double>(m_runClock.elapsed()) / 1000.0, 0, 'f', 1));
}

void CalibrationRun::interrupt()
{
    if (!isRunning())
        return;
    end(std::nullopt, QStringLiteral("Ctrl+C で較正を中止しました。結果は保存しません。/ Calibration interrupted (Ctrl+C); nothing saved."));
}

void CalibrationRun::end(const std::optional<CalibrationOutcome>& outcome, const QString& line)
{
    if (m_state == State::Finished)
        return;
    const bool wasDriving = m_state == State::Settling || m_state == State::Dwelling;
    m_state = State::Finished;
    m_pollTimer.stop();
    emit notice(line);
    if (wasDriving || m_bridge.rotctld().isReady())
        m_bridge.holdCommands(false);
    emit finished(outcome);
    emit notice(QStringLiteral("窓の設定点の追尾に戻ります。/ Back to tracking the window's set-point."));
}

}  // namespace heliotrope::rotctl
