#include "companions/measure/SystemTemperatureRun.h"

#include "companions/common/ConsoleText.h"
#include "companions/measure/BesideTheSun.h"
#include "companions/measure/MeasurementProgress.h"
#include "companions/measure/OutcomeMessages.h"
#include "companions/power/PowerSource.h"

#include <cmath>

using heliotrope::companions::degreesText;
using heliotrope::companions::directionTextEnglish;
using heliotrope::companions::directionTextJapanese;
using heliotrope::companions::SetPoint;

namespace heliotrope::measure {

namespace {

constexpr double kCosmicKelvin = 2.725;
constexpr double kSkyShareError = 0.3;
const double kDecibelToNeper = std::log(10.0) / 10.0;
// Before any dwell is measured: a slew, the settling and the operator's step.
constexpr double kFirstStepGuessSeconds = 20.0;
constexpr int kDwells = 3;

QString kelvinText(double kelvin)
{
    return QString::number(kelvin, 'f', 1);
}

}  // namespace

std::optional<flux::PowerMean> powerMeanOf(const Dwell& dwell)
{
    if (dwell.count < 1 || !std::isfinite(dwell.power))
        return std::nullopt;
    const double mean = std::pow(10.0, dwell.power / 10.0);
    // A small spread in dB is the same share of the linear power.
    return flux::PowerMean{mean, mean * dwell.spread * kDecibelToNeper, dwell.count};
}

std::optional<std::pair<double, double>> typicalColdSkyKelvin(double frequencyMegahertz, double elevationDegrees)
{
    const std::optional<flux::Air> air = flux::typicalAir(frequencyMegahertz);
    if (!air || !(elevationDegrees > 0))
        return std::nullopt;
    const double through = flux::transmission(*air, elevationDegrees);
    const double sky = air->meanTemperatureKelvin * (1.0 - through) + kCosmicKelvin * through;
    return std::pair{sky + SystemTemperatureRun::kSpilloverAllowanceKelvin,
                     std::hypot(SystemTemperatureRun::kSpilloverAllowanceKelvin, kSkyShareError * sky)};
}

SystemTemperatureRun::SystemTemperatureRun(MeasurementEngine& engine, const SystemTemperatureOptions& options,
                                           std::unique_ptr<FeedSteps> steps, const sky::Site& site, sky::Refraction refraction,
                                           const sky::Atmosphere& atmosphere, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_steps(std::move(steps))
    , m_site(site)
    , m_refraction(refraction)
    , m_atmosphere(atmosphere)
    , m_engine(engine)
{
    connect(&m_engine, &MeasurementEngine::ready, this, &SystemTemperatureRun::begin);
    connect(&m_engine, &MeasurementEngine::arrived, this, [this] {
        if (m_stage == Stage::Raised)
            sayProgress(QStringLiteral("%1を測定中").arg(raisedNameJapanese()), QStringLiteral("reading %1").arg(raisedNameEnglish()));
        else
            sayProgress(QStringLiteral("コールドスカイを測定中"), QStringLiteral("reading cold sky"));
    });
    connect(&m_engine, &MeasurementEngine::measured, this, &SystemTemperatureRun::onMeasured);
    connect(&m_engine, &MeasurementEngine::skipped, this, [this](const rotator::RotatorPosition& reading, const rotator::RotatorPosition& target) {
        // Every dwell is on one spot: one not reached is a rotator that cannot hold it.
        abort(outcomeOf(OutcomeReason::Stopped,
                        QStringLiteral("ローテーターが %1 秒たってもコールドスカイ（%2）に着きません（読み %3）。")
                            .arg(m_engine.settings().settleTimeoutSeconds)
                            .arg(directionTextJapanese(target.azimuth, target.elevation), directionTextJapanese(reading.azimuth, reading.elevation)),
                        QStringLiteral("the rotator did not reach cold sky (%2) within %1 s (reads %3).")
                            .arg(m_engine.settings().settleTimeoutSeconds)
                            .arg(directionTextEnglish(target.azimuth, target.elevation), directionTextEnglish(reading.azimuth, reading.elevation))));
    });
    connect(&m_engine, &MeasurementEngine::stopped, this, [this](const QString& japanese, const QString& english) {
        abort(outcomeOf(OutcomeReason::Stopped, japanese, english));
    });
    connect(m_steps.get(), &FeedSteps::notice, this, &SystemTemperatureRun::notice);
    connect(m_steps.get(), &FeedSteps::taken, this, [this] {
        if (!m_running)
            return;
        if (m_stage == Stage::Raising) {
            m_raised = true;
            read(Stage::Raised);
        } else if (m_stage == Stage::Lowering) {
            m_raised = false;
            read(Stage::ColdAfter);
        }
    });
    connect(m_steps.get(), &FeedSteps::failed, this, [this](const QString& japanese, const QString& english) {
        abort(outcomeOf(OutcomeReason::Stopped, japanese, english));
    });
}

SystemTemperatureRun::~SystemTemperatureRun() = default;

QString SystemTemperatureRun::raisedNameJapanese() const
{
    return m_options.method == SystemTemperatureMethod::HotCold ? QStringLiteral("吸収体") : QStringLiteral("雑音源を入れた空");
}

QString SystemTemperatureRun::raisedNameEnglish() const
{
    return m_options.method == SystemTemperatureMethod::HotCold ? QStringLiteral("the absorber") : QStringLiteral("the source on");
}

void SystemTemperatureRun::start()
{
    m_running = true;
    m_raised = false;
    m_result = SystemTemperatureResult{};
}

void SystemTemperatureRun::begin()
{
    if (!m_running)
        return;
    SetPoint cold;
    if (m_options.coldAzimuth && m_options.coldElevation) {
        cold = SetPoint{*m_options.coldAzimuth, *m_options.coldElevation};
        const sky::TrueSunPosition sun = sky::trueSunTopocentric(m_engine.now(), m_site, m_refraction, m_atmosphere);
        const double beamwidth = m_options.beamwidthDegrees();
        if (sun.status != sky::EphemerisStatus::Failed && sun.elevation > 0
            && sky::skySeparation(sun.azimuth, sun.elevation, cold.azimuth, cold.elevation) < 3 * beamwidth)
            emit notice(QStringLiteral("注意: コールドスカイ（--cold）が太陽からビーム幅 %1 の 3 倍より近く、太陽の雑音でシステム雑音温度が高く出ます。\n"
                                       "Note: cold sky (--cold) is within three beamwidths (%1) of the sun: its noise makes the "
                                       "system temperature come out high.")
                            .arg(degreesText(beamwidth)));
    } else {
        const sky::TrueSunPosition sun = sky::trueSunTopocentric(m_engine.now(), m_site, m_refraction, m_atmosphere);
        if (sun.status == sky::EphemerisStatus::Failed)
            return stop(outcomeOf(OutcomeReason::SunUnknown, QStringLiteral("ERFA がこの時刻の太陽を計算できません。"),
                                  QStringLiteral("ERFA cannot compute the sun for this instant.")));
        if (sun.elevation < kLowestSunElevation)
            return stop(outcomeOf(OutcomeReason::SunTooLow,
                                  QStringLiteral("太陽の仰角が %1 で 10° 未満です。そばの空は地面と大気の雑音で冷たくありません（--cold で空を指定できます）。")
                                      .arg(degreesText(sun.elevation)),
                                  QStringLiteral("the sun is at elevation %1, below 10°: the sky beside it is not cold (--cold names a sky).")
                                      .arg(degreesText(sun.elevation))));
        // The side the sun moves away from keeps it out of the beam however long the operator takes.
        const double offset = m_options.coldOffsetBeamwidths * m_options.beamwidthDegrees();
        const SetPoint behind = besideTheSun(sun.azimuth, sun.elevation, -offset, 0);
        const SetPoint ahead = besideTheSun(sun.azimuth, sun.elevation, offset, 0);
        cold = m_engine.commandFor(behind).clamped ? ahead : behind;
    }
    if (m_engine.commandFor(cold).clamped)
        return stop(outcomeOf(OutcomeReason::BeyondLimits,
                              QStringLiteral("コールドスカイ（%1）がローテーターの可動範囲の外です（--cold か --cold-offset を見直してください）。")
                                  .arg(directionTextJapanese(cold.azimuth, cold.elevation)),
                              QStringLiteral("cold sky (%1) is outside the rotator's limits (check --cold or --cold-offset).")
                                  .arg(directionTextEnglish(cold.azimuth, cold.elevation))));
    if (!(cold.elevation > 0))
        return stop(outcomeOf(OutcomeReason::BeyondLimits, QStringLiteral("コールドスカイが地平線の上にありません。"),
                              QStringLiteral("the cold sky is not above the horizon.")));
    m_result.cold = cold;
    m_result.ambientKelvin = m_options.ambientKelvin;
    m_result.ambientErrorKelvin = m_options.ambientErrorKelvin;
    if (m_options.method == SystemTemperatureMethod::HotCold) {
        if (m_options.coldSkyKelvin) {
            m_result.coldSkyKelvin = *m_options.coldSkyKelvin;
            m_result.coldSkyErrorKelvin = m_options.coldSkyErrorKelvin.value_or(3.0);
        } else if (const auto typical = typicalColdSkyKelvin(m_options.frequencyMegahertz, cold.elevation)) {
            m_result.coldSkyKelvin = typical->first;
            m_result.coldSkyErrorKelvin = m_options.coldSkyErrorKelvin.value_or(typical->second);
        } else {
            return stop(outcomeOf(OutcomeReason::NotFound,
                                  QStringLiteral("この周波数の標準大気がわかりません。--cold-sky-temperature を指定してください。"),
                                  QStringLiteral("no typical air is known at this frequency: give --cold-sky-temperature.")));
        }
    }
    const QString method = m_options.method == SystemTemperatureMethod::HotCold
        ? QStringLiteral("ホット・コールド（吸収体 %1 K、コールドスカイのアンテナ温度 %2 ± %3 K）\nhot/cold (absorber %1 K, cold sky's antenna temperature %2 ± %3 K)")
              .arg(kelvinText(m_result.ambientKelvin), kelvinText(m_result.coldSkyKelvin), kelvinText(m_result.coldSkyErrorKelvin))
        : QStringLiteral("雑音源（ENR %1 ± %2 dB）\nnoise source (ENR %1 ± %2 dB)")
              .arg(QString::number(m_options.enrDecibels, 'f', 2), QString::number(m_options.enrErrorDecibels, 'f', 2));
    const QStringList methodLines = method.split(QLatin1Char('\n'));
    emit notice(QStringLiteral("システム雑音温度の測定を始めます: %1。コールドスカイ（%2）で各 %3 秒読みます。電力: %4。\n"
                               "System temperature run: %5, on cold sky (%6), read for %3 s each; power from %4.")
                    .arg(methodLines.first(), directionTextJapanese(cold.azimuth, cold.elevation))
                    .arg(m_engine.settings().dwellSeconds)
                    .arg(m_engine.power().description(), methodLines.last(), directionTextEnglish(cold.azimuth, cold.elevation)));
    m_runClock.start();
    read(Stage::ColdBefore);
}

void SystemTemperatureRun::read(Stage stage)
{
    m_stage = stage;
    sayProgress(QStringLiteral("コールドスカイへ"), QStringLiteral("to cold sky"));
    const SetPoint cold = *m_result.cold;
    m_engine.measure([cold](double) { return cold; });
}

void SystemTemperatureRun::onMeasured(const Dwell& dwell)
{
    if (!m_running)
        return;
    const std::optional<flux::PowerMean> power = powerMeanOf(dwell);
    if (!power)
        return abort(outcomeOf(OutcomeReason::Stopped, QStringLiteral("電力が読めませんでした。"), QStringLiteral("no power was read.")));
    switch (m_stage) {
    case Stage::ColdBefore:
        m_result.coldBefore = power;
        m_stage = Stage::Raising;
        sayProgress(QStringLiteral("%1を待っています").arg(raisedNameJapanese()), QStringLiteral("waiting for %1").arg(raisedNameEnglish()));
        m_steps->take(FeedSteps::Step::Raise);
        return;
    case Stage::Raised:
        m_result.raised = power;
        m_stage = Stage::Lowering;
        sayProgress(QStringLiteral("元に戻すのを待っています"), QStringLiteral("waiting for the feed to be cleared"));
        m_steps->take(FeedSteps::Step::Lower);
        return;
    case Stage::ColdAfter:
        m_result.coldAfter = power;
        workOut();
        return;
    case Stage::Raising:
    case Stage::Lowering:
        return;
    }
}

void SystemTemperatureRun::workOut()
{
    const flux::PowerMean& before = *m_result.coldBefore;
    const flux::PowerMean& after = *m_result.coldAfter;
    const double coldMean = (before.mean + after.mean) / 2.0;
    const double drift = (after.mean - before.mean) / coldMean;
    m_result.coldDrift = drift;
    const QString driftText = QString::number(100.0 * drift, 'f', 2);
    emit notice(QStringLiteral("コールドスカイの変化（前後）: %1 %\nCold sky's change from first to last: %1 %").arg(driftText));
    if (std::fabs(drift) > kMostColdDrift)
        return stop(outcomeOf(OutcomeReason::NotFound,
                              QStringLiteral("コールドスカイが測定の間に %1 % 変わりました（%2 % まで）。受信機の利得か空が動いています。").arg(driftText).arg(100.0 * kMostColdDrift),
                              QStringLiteral("the cold sky changed by %1 % during the run (at most %2 %): the receiver's gain or the sky moved.")
                                  .arg(driftText)
                                  .arg(100.0 * kMostColdDrift)));
    // The raised dwell lies between the two cold ones: their mean is the cold
    // sky at its time for a steady drift, and half their difference is how
    // far it may be off for one that was not steady.
    const int count = before.count + after.count;
    const double statistical = std::hypot(flux::relativeError(before), flux::relativeError(after)) / 2.0;
    const double coldRelative = std::hypot(statistical, drift / 2.0);
    const flux::PowerMean cold{coldMean, coldRelative * coldMean * std::sqrt(static_cast<double>(count)), count};
    const flux::Aperture aperture{m_options.dishDiameterMetres, m_options.efficiency, m_options.efficiencyError};
    flux::ScaleResult scale;
    if (m_options.method == SystemTemperatureMethod::HotCold) {
        flux::HotColdCalibration calibration;
        calibration.hot = *m_result.raised;
        calibration.cold = cold;
        calibration.ambientKelvin = m_result.ambientKelvin;
        calibration.ambientError = m_result.ambientErrorKelvin;
        calibration.coldSkyKelvin = m_result.coldSkyKelvin;
        calibration.coldSkyError = m_result.coldSkyErrorKelvin;
        calibration.elevationDegrees = m_result.cold->elevation;
        scale = flux::scaleFromHotCold(calibration, aperture);
    } else {
        flux::NoiseSourceCalibration calibration;
        calibration.on = *m_result.raised;
        calibration.off = cold;
        calibration.enrDecibels = m_options.enrDecibels;
        calibration.enrErrorDecibels = m_options.enrErrorDecibels;
        calibration.elevationDegrees = m_result.cold->elevation;
        scale = flux::scaleFromNoiseSource(calibration, aperture);
    }
    m_result.y = m_result.raised->mean / coldMean;
    if (!scale.scale || !scale.scale->systemTemperatureKelvin) {
        const bool noRise = scale.refusal == flux::ScaleRefusal::NoRise;
        return stop(outcomeOf(OutcomeReason::NotFound,
                              noRise ? QStringLiteral("%1の電力がコールドスカイより上がりません（Y = %2）。").arg(raisedNameJapanese()).arg(*m_result.y, 0, 'f', 3)
                                     : QStringLiteral("測った値が範囲の外です。"),
                              noRise ? QStringLiteral("%1 read no more than cold sky (Y = %2).").arg(raisedNameEnglish()).arg(*m_result.y, 0, 'f', 3)
                                     : QStringLiteral("the figures measured are out of range.")));
    }
    m_result.systemKelvin = scale.scale->systemTemperatureKelvin;
    m_result.systemErrorKelvin = *m_result.systemKelvin * scale.scale->systemTemperatureError;
    emit notice(QStringLiteral("Y = %1（%2 dB）、システム雑音温度 Tsys = %3 ± %4 K（仰角 %5 のコールドスカイで）。\n"
                               "Y = %1 (%2 dB), system temperature Tsys = %3 ± %4 K (on cold sky at elevation %5).")
                    .arg(*m_result.y, 0, 'f', 4)
                    .arg(10.0 * std::log10(*m_result.y), 0, 'f', 2)
                    .arg(kelvinText(*m_result.systemKelvin), kelvinText(m_result.systemErrorKelvin), degreesText(m_result.cold->elevation)));
    stop(outcomeOf(OutcomeReason::Found));
}

void SystemTemperatureRun::abort(const MeasurementOutcome& ended)
{
    if (!m_running)
        return;
    // A step under way may have been half taken: the absorber put on, the source switched.
    m_steps->abandon(m_raised || m_stage == Stage::Raising);
    m_raised = false;
    stop(ended);
}

void SystemTemperatureRun::stop(const MeasurementOutcome& ended)
{
    if (!m_running)
        return;
    m_running = false;
    emit finished(ended);
}

void SystemTemperatureRun::sayProgress(const QString& japanese, const QString& english)
{
    const int done = m_stage == Stage::ColdBefore ? 0 : m_stage == Stage::ColdAfter ? 2
                                                                                    : 1;
    emit progress(progressText(ProgressStep{QStringLiteral("システム雑音温度"), QStringLiteral("system temperature"), QStringLiteral("読み目"),
                                            QStringLiteral("dwell"), done + 1, kDwells, japanese, english,
                                            secondsLeft(done, kDwells, static_cast<double>(m_runClock.elapsed()) / 1000.0,
                                                        m_engine.settings().dwellSeconds + kFirstStepGuessSeconds)}));
}

}  // namespace heliotrope::measure
