#include "companions/measure/CalibrationRun.h"

#include "companions/common/ConsoleText.h"
#include "companions/measure/BesideTheSun.h"
#include "companions/measure/MeasurementProgress.h"
#include "companions/measure/OutcomeMessages.h"
#include "companions/pointing/PointingModel.h"
#include "companions/sky/TrueSun.h"

#include <algorithm>
#include <cmath>

using heliotrope::companions::degreesText;
using heliotrope::companions::SetPoint;

namespace heliotrope::measure {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979 / 180.0;
// Five-point: the baseline is read this many beamwidths off the sun, where
// the main beam's response is below 10⁻¹⁰ of its peak.
constexpr double kBaselineBeamwidths = 3;
// Before any point is measured: a slew and the settling, beyond the dwell.
constexpr double kFirstSlewGuessSeconds = 2.0;

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
    return heliotrope::sky::trueSunTopocentric(utc, options.site, options.refraction, options.atmosphere);
}

QString pointNameJapanese(const MeasuredPoint& point)
{
    return QStringLiteral("（クロス仰角 %1°、仰角 %2°）")
        .arg(point.plannedCrossElevation, 0, 'f', 2)
        .arg(point.plannedElevation, 0, 'f', 2);
}

QString pointNameEnglish(const MeasuredPoint& point)
{
    return QStringLiteral(" (xel %1°, el %2°)").arg(point.plannedCrossElevation, 0, 'f', 2).arg(point.plannedElevation, 0, 'f', 2);
}

}  // namespace

CalibrationRun::CalibrationRun(MeasurementEngine& engine, const CalibrationOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_engine(engine)
{
    m_engine.setOverTheTop(options.overTheTop);
    connect(&m_engine, &MeasurementEngine::ready, this, &CalibrationRun::begin);
    connect(&m_engine, &MeasurementEngine::measured, this, &CalibrationRun::onMeasured);
    connect(&m_engine, &MeasurementEngine::skipped, this, &CalibrationRun::onSkipped);
    connect(&m_engine, &MeasurementEngine::stopped, this, [this](const QString& japanese, const QString& english) {
        end(std::nullopt, outcomeOf(OutcomeReason::Stopped, japanese, english));
    });
}

void CalibrationRun::start()
{
    planPattern();
    m_running = true;
    emit notice(QStringLiteral("較正: rotctld に接続してローテーターの位置を読むのを待っています。\n"
                               "Calibration: waiting for rotctld and the rotator's position."));
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

SetPoint CalibrationRun::skyFor(double crossElevation, double elevation, double utc) const
{
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_options, utc);
    return besideTheSun(sun.azimuth, sun.elevation, crossElevation, elevation);
}

double CalibrationRun::estimatedSecondsPerPoint() const
{
    // Dwell and a settling allowance: the rotator's speed is not known ahead.
    return m_engine.settings().dwellSeconds + kFirstSlewGuessSeconds;
}

std::optional<MeasurementOutcome> CalibrationRun::refusalBeforeStart() const
{
    const double now = m_engine.now();
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_options, now);
    if (sun.status == heliotrope::sky::EphemerisStatus::Failed)
        return outcomeOf(OutcomeReason::SunUnknown, QStringLiteral("この日時の太陽を計算できません。"), QStringLiteral("The sun cannot be computed for this date."));
    if (sun.elevation < kLowestSunElevation) {
        return outcomeOf(OutcomeReason::SunTooLow, QStringLiteral("太陽の仰角が %1 で %2° より低いため、較正を始めません。太陽が %2° より高いときに始めてください。").arg(degreesText(sun.elevation)).arg(kLowestSunElevation),
                         QStringLiteral("The sun is at %1 elevation, below %2°: calibration not started. Start when the sun "
                                        "is above %2°.")
                             .arg(degreesText(sun.elevation))
                             .arg(kLowestSunElevation));
    }
    // The pattern where it stands now and where it will stand at the end
    // (the el cut may move by the first cut's peak: checked at command time).
    const double end = now + static_cast<double>(m_points.size()) * estimatedSecondsPerPoint();
    for (const double utc : {now, end}) {
        for (const MeasuredPoint& point : m_points) {
            LimitCrossed limit;
            if (m_engine.commandFor(skyFor(point.plannedCrossElevation, point.plannedElevation, utc), &limit).clamped) {
                return outcomeOf(OutcomeReason::BeyondLimits,
                                 QStringLiteral("較正パターンの点%1がローテーターの可動範囲を越えます（%2）。較正を始めません。"
                                                "--span を狭めるか、太陽が範囲の内に入ってから始めてください。")
                                     .arg(pointNameJapanese(point), limit.japanese),
                                 QStringLiteral("A point of the pattern%1 lies beyond the rotator's limits (%2): calibration not "
                                                "started. Narrow --span, or start when the sun is well within the limits.")
                                     .arg(pointNameEnglish(point), limit.english));
            }
        }
    }
    return std::nullopt;
}

void CalibrationRun::begin()
{
    if (const std::optional<MeasurementOutcome> refusal = refusalBeforeStart()) {
        end(std::nullopt, *refusal);
        return;
    }
    m_runClock.start();
    m_index = 0;
    emit notice(QStringLiteral("較正を始めます: %1、%2 点、ビーム幅 %3、幅 ±%4、間隔 %5、各点 %6 秒、電力: %7\n"
                               "Calibration begins: %1, %2 points, beamwidth %3, span ±%4, step %5, dwell %6 s, power: %7")
                    .arg(patternName(m_options.pattern))
                    .arg(m_points.size())
                    .arg(degreesText(m_options.beamwidth), degreesText(m_options.spanDegrees()),
                         degreesText(m_options.stepDegrees()))
                    .arg(m_engine.settings().dwellSeconds)
                    .arg(m_engine.power().description()));
    if (m_options.overTheTop) {
        emit notice(QStringLiteral("このスキャンは天頂の向こう側から測ります（方位角 + 180°、仰角 180° − e）。ずれは指向モデルのために記録し、追尾のずれにはしません。\n"
                                   "This scan is taken over the top (azimuth + 180°, elevation 180° − e): its offsets are recorded "
                                   "for the pointing model, never used as the tracking offsets."));
    }
    sayWhatToExpect();
    measurePoint();
}

void CalibrationRun::sayWhatToExpect()
{
    // A rotator whose step is a good part of the beam places the points
    // coarsely and reads where they are to half a step: what that leaves.
    const rotator::RotatorProfile& rotator = m_engine.rotatorProfile();
    if (!rotator.step() || *rotator.step() <= m_options.beamwidth / 3)
        return;
    const int perCut = static_cast<int>(m_points.size()) / 2;
    const double expected = *rotator.step() / 2 / std::sqrt(static_cast<double>(std::max(perCut, 1)));
    emit notice(QStringLiteral("ローテーターの刻み %1° はビーム幅 %2° の 3 分の 1 より粗いため、ずれはおよそ ±%3° までしか求まりません。\n"
                               "The rotator's step of %1° is coarser than a third of the beamwidth (%2°): expect the offsets "
                               "to about ±%3°.")
                    .arg(*rotator.step())
                    .arg(m_options.beamwidth)
                    .arg(expected, 0, 'f', 2));
}

void CalibrationRun::measurePoint()
{
    sayProgress();
    const MeasuredPoint point = m_points[m_index];
    m_engine.measure([this, point](double utc) { return skyFor(point.plannedCrossElevation, point.plannedElevation, utc); });
}

void CalibrationRun::onMeasured(const Dwell& dwell)
{
    MeasuredPoint& point = m_points[m_index];
    point.dwell = dwell;

    // Where the rotator stood relative to the sun in the middle of the readings,
    // in the rotator's own reading: the fitted centre is then the whole offset
    // (what the mount's pointing model is fitted to), not a correction to the
    // offsets or the model the commands went through.
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_options, dwell.utc);
    point.sunAzimuth = sun.azimuth;
    point.sunElevation = sun.elevation;
    // Over the top the rotator's angles are taken from the flipped sun: a
    // step up on the sky is a step down of the rotator's elevation there, so
    // the elevation cut runs the other way, and its centre is still
    // reading − beam in the rotator's own angles.
    const heliotrope::pointing::Direction sunInMount
        = heliotrope::pointing::mountAngles({sun.azimuth, sun.elevation}, m_options.overTheTop);
    point.crossElevation = wrapped180(dwell.position.azimuth - sunInMount.azimuth) * cosineOf(sun.elevation);
    point.elevation = dwell.position.elevation - sunInMount.elevation;
    placeElevationCut();
    nextPoint();
}

void CalibrationRun::onSkipped(const rotator::RotatorPosition& reading, const rotator::RotatorPosition& target)
{
    MeasuredPoint& point = m_points[m_index];
    point.skipped = true;
    emit notice(QStringLiteral("点%1にローテーターが %2 秒たっても着きません（読み 方位角 %3 仰角 %4、目標 %5 %6）。この点を飛ばします。\n"
                               "The rotator did not reach point%7 within %2 s (reads %3 %4, target %5 %6): point skipped.")
                    .arg(pointNameJapanese(point))
                    .arg(m_engine.settings().settleTimeoutSeconds)
                    .arg(degreesText(reading.azimuth), degreesText(reading.elevation), degreesText(target.azimuth),
                         degreesText(target.elevation), pointNameEnglish(point)));
    placeElevationCut();
    nextPoint();
}

void CalibrationRun::placeElevationCut()
{
    // Cross scan: the cut in elevation goes through the first cut's peak,
    // once the last point of the first cut is done.
    const MeasuredPoint& point = m_points[m_index];
    if (m_options.pattern != CalibrationPattern::Cross || point.role != PointRole::CrossElevation
        || (m_index + 1 < m_points.size() && m_points[m_index + 1].role == PointRole::CrossElevation))
        return;
    const heliotrope::beamfit::BeamFitResult fit
        = heliotrope::beamfit::fitBeamCut(cutPoints(m_points, PointRole::CrossElevation), m_options.beamwidth);
    if (!fit.ok()) {
        companions::Words said = refusalText(fit, QStringLiteral("クロス仰角のスキャン"), QStringLiteral("cross-elevation"));
        said += {QStringLiteral("仰角のスキャンは太陽の計算位置を通します。"), QStringLiteral("The elevation cut goes through the computed sun.")};
        emit notice(said.text());
        return;
    }
    // The frame's present offset (or model) at the sun is already in every command.
    const heliotrope::sky::TrueSunPosition sun = sunAt(m_options, m_engine.now());
    const double centre = fit.centre - rotator::frameOffsetAt(m_engine.frame(), SetPoint{sun.azimuth, sun.elevation}, m_options.overTheTop).azimuth * cosineOf(sun.elevation);
    for (MeasuredPoint& next : m_points) {
        if (next.role == PointRole::Elevation)
            next.plannedCrossElevation = centre;
    }
}

void CalibrationRun::nextPoint()
{
    ++m_index;
    if (m_index >= m_points.size()) {
        CalibrationOutcome outcome = evaluateCalibration(m_options.pattern, m_points, m_options.beamwidth);
        outcome.overTheTop = m_options.overTheTop;
        emit notice(QStringLiteral("較正の測定を終えました（%1 秒）。\nCalibration measured in %1 s.").arg(static_cast<double>(m_runClock.elapsed()) / 1000.0, 0, 'f', 1));
        end(outcome, outcomeOf(OutcomeReason::Found));
        return;
    }
    measurePoint();
}

void CalibrationRun::sayProgress()
{
    const int total = static_cast<int>(m_points.size());
    const int done = static_cast<int>(m_index);
    emit progress(progressText(ProgressStep{
        QStringLiteral("較正"), QStringLiteral("calibration"), QStringLiteral("点"), QStringLiteral("point"), done + 1, total, {}, {}, secondsLeft(done, total, static_cast<double>(m_runClock.elapsed()) / 1000.0, estimatedSecondsPerPoint())}));
}

void CalibrationRun::interrupt()
{
    if (!isRunning())
        return;
    end(std::nullopt, outcomeOf(OutcomeReason::Interrupted));
}

void CalibrationRun::end(const std::optional<CalibrationOutcome>& outcome, const MeasurementOutcome& ended)
{
    if (!m_running)
        return;
    m_running = false;
    emit finished(outcome, ended);
}

}  // namespace heliotrope::measure
