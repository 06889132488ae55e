#include "companions/measure/SunNoiseRun.h"

#include "companions/common/ConsoleText.h"
#include "companions/measure/BesideTheSun.h"
#include "companions/measure/MeasurementProgress.h"
#include "companions/measure/OutcomeMessages.h"
#include "companions/power/PowerSource.h"

#include <algorithm>
#include <cmath>

using heliotrope::companions::degreesText;
using heliotrope::companions::directionTextEnglish;
using heliotrope::companions::directionTextJapanese;
using heliotrope::companions::SetPoint;
using heliotrope::sky::TrueSunPosition;
namespace sunnoise = heliotrope::sunnoise;

namespace heliotrope::measure {

namespace {

// Time one point is guessed to take before any has been measured, beyond its
// dwell: a slew and the settling.
constexpr double kFirstSlewGuessSeconds = 10.0;
// A correction smaller than this is made but not said.
constexpr double kNoticeableCorrectionDecibels = 0.01;

double normalized(double azimuth)
{
    double a = std::fmod(azimuth, 360.0);
    if (a < 0)
        a += 360.0;
    return a;
}

QString decibelsText(double decibels)
{
    return QString::number(decibels, 'f', 2);
}

}  // namespace

SunNoiseRun::SunNoiseRun(MeasurementEngine& engine, const SunNoiseOptions& options, const heliotrope::sky::Site& site,
                         heliotrope::sky::Refraction refraction, const heliotrope::sky::Atmosphere& atmosphere,
                         QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_site(site)
    , m_refraction(refraction)
    , m_atmosphere(atmosphere)
    , m_engine(engine)
    , m_beamwidth(options.beamwidthDegrees().value_or(0))
{
    connect(&m_engine, &MeasurementEngine::ready, this, &SunNoiseRun::begin);
    connect(&m_engine, &MeasurementEngine::arrived, this, [this] {
        if (m_point == Point::Sun)
            sayProgress(QStringLiteral("太陽を測定中"), QStringLiteral("reading the sun"));
        else
            sayProgress(QStringLiteral("コールドスカイを測定中"), QStringLiteral("reading cold sky"));
    });
    connect(&m_engine, &MeasurementEngine::measured, this, &SunNoiseRun::onMeasured);
    connect(&m_engine, &MeasurementEngine::skipped, this, [this](const rotator::RotatorPosition& reading, const rotator::RotatorPosition& target) {
        // A repeat is a pair: a point not reached takes its repeat with it.
        emit notice(QStringLiteral("%1/%2 回目: ローテーターが %3 秒たっても目標（%4）に着きません（読み %5）。この回を飛ばします。\n"
                                   "Repeat %1 of %2: the rotator did not reach its target (%6) within %3 s (reads %7): repeat skipped.")
                        .arg(m_repeat)
                        .arg(m_options.repeats)
                        .arg(m_engine.settings().settleTimeoutSeconds)
                        .arg(directionTextJapanese(target.azimuth, target.elevation),
                             directionTextJapanese(reading.azimuth, reading.elevation),
                             directionTextEnglish(target.azimuth, target.elevation),
                             directionTextEnglish(reading.azimuth, reading.elevation)));
        m_pointsDone += m_point == Point::Sun ? 2 : 1;
        if (m_repeat >= m_options.repeats) {
            finishRun();
            return;
        }
        ++m_repeat;
        measure(Point::Sun);
    });
    connect(&m_engine, &MeasurementEngine::stopped, this, [this](const QString& japanese, const QString& english) {
        abort(outcomeOf(OutcomeReason::Stopped, japanese, english));
    });
}

std::optional<TrueSunPosition> SunNoiseRun::sunNow(MeasurementOutcome* refusal) const
{
    const TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(m_engine.now(), m_site, m_refraction, m_atmosphere);
    if (sun.status == heliotrope::sky::EphemerisStatus::Failed) {
        *refusal = outcomeOf(OutcomeReason::SunUnknown, QStringLiteral("ERFA がこの時刻の太陽を計算できません。"),
                             QStringLiteral("ERFA cannot compute the sun for this instant."));
        return std::nullopt;
    }
    if (sun.elevation < kLowestSunElevation) {
        *refusal = outcomeOf(OutcomeReason::SunTooLow,
                             QStringLiteral("太陽の仰角が %1 で 10° 未満です。地面と大気の雑音が混ざり、そばの空も冷たくないため、"
                                            "測っても G/T になりません。")
                                 .arg(degreesText(sun.elevation)),
                             QStringLiteral("the sun is at elevation %1, below 10°: the ground's and the atmosphere's noise "
                                            "would mix in and the sky beside it is not cold, so no G/T could be measured.")
                                 .arg(degreesText(sun.elevation)));
        return std::nullopt;
    }
    return sun;
}

bool SunNoiseRun::clamped(const SetPoint& sky) const
{
    return m_engine.commandFor(sky).clamped;
}

SetPoint SunNoiseRun::coldSkyOnChosenSide(const TrueSunPosition& sun) const
{
    if (m_options.coldAzimuth && m_options.coldElevation)
        return SetPoint{*m_options.coldAzimuth, *m_options.coldElevation};
    return besideTheSun(sun.azimuth, sun.elevation, m_coldSide.value_or(1.0) * m_options.coldOffsetBeamwidths * m_beamwidth, 0);
}

std::optional<SetPoint> SunNoiseRun::coldSky(const TrueSunPosition& sun) const
{
    if (m_options.coldAzimuth && m_options.coldElevation) {
        const SetPoint cold{*m_options.coldAzimuth, *m_options.coldElevation};
        return clamped(cold) ? std::nullopt : std::optional<SetPoint>(cold);
    }
    // The side chosen first stays for the whole run, so that every repeat
    // measures the same sky; the later side first, where the sun is going.
    const std::vector<double> sides = m_coldSide ? std::vector<double>{*m_coldSide} : std::vector<double>{1.0, -1.0};
    for (double side : sides) {
        const SetPoint cold = besideTheSun(sun.azimuth, sun.elevation, side * m_options.coldOffsetBeamwidths * m_beamwidth, 0);
        if (!clamped(cold))
            return cold;
    }
    return std::nullopt;
}

void SunNoiseRun::start()
{
    m_running = true;
    m_coldSide.reset();
}

void SunNoiseRun::begin()
{
    MeasurementOutcome refusal;
    const std::optional<TrueSunPosition> sun = sunNow(&refusal);
    if (!sun)
        return stop(refusal);
    if (clamped(SetPoint{sun->azimuth, sun->elevation})) {
        return stop(outcomeOf(OutcomeReason::BeyondLimits,
                              QStringLiteral("太陽（%1）がローテーターの可動範囲の外です。").arg(directionTextJapanese(sun->azimuth, sun->elevation)),
                              QStringLiteral("the sun (%1) is outside the rotator's limits.")
                                  .arg(directionTextEnglish(sun->azimuth, sun->elevation))));
    }
    const std::optional<SetPoint> cold = coldSky(*sun);
    if (!cold) {
        return stop(outcomeOf(OutcomeReason::BeyondLimits,
                              QStringLiteral("コールドスカイの向きがローテーターの可動範囲の外です（--cold か --cold-offset を見直してください）。"),
                              QStringLiteral("the cold-sky direction is outside the rotator's limits (check --cold or --cold-offset).")));
    }
    if (!m_options.coldAzimuth) {
        m_coldSide = normalized(cold->azimuth - sun->azimuth) < 180.0 ? 1.0 : -1.0;
    } else {
        const double gap = heliotrope::sky::skySeparation(sun->azimuth, sun->elevation, cold->azimuth, cold->elevation);
        if (m_beamwidth > 0 && gap < 2 * m_beamwidth) {
            emit notice(QStringLiteral("注意: コールドスカイ（--cold）は太陽から %1 しか離れておらず、ビーム幅 %2 の 2 倍より近いため、"
                                       "太陽の雑音が混ざって Y が小さく出ます。\n"
                                       "Note: cold sky (--cold) is only %1 from the sun, within two beamwidths (%2): "
                                       "the sun's noise leaks in and Y comes out low.")
                            .arg(degreesText(gap), degreesText(m_beamwidth)));
        }
    }
    if (!m_options.csvPath.isEmpty()) {
        QString problem;
        if (!m_csv.open(m_options.csvPath, &problem))
            return stop(outcomeSaying(OutcomeReason::OutputUnwritable, problem));
    }

    emit notice(QStringLiteral("太陽雑音の測定を始めます: 太陽（%1）とコールドスカイ（%2）を %3 回ずつ、各 %4 秒読みます。電力: %5。\n"
                               "Sun-noise run: the sun (%6) and cold sky (%7), %3 times each, read for %4 s each; "
                               "power from %5.")
                    .arg(directionTextJapanese(sun->azimuth, sun->elevation), directionTextJapanese(cold->azimuth, cold->elevation))
                    .arg(m_options.repeats)
                    .arg(m_engine.settings().dwellSeconds)
                    .arg(m_engine.power().description(), directionTextEnglish(sun->azimuth, sun->elevation),
                         directionTextEnglish(cold->azimuth, cold->elevation)));
    m_result = SunNoiseResult{};
    m_repeat = 1;
    m_pointsDone = 0;
    m_runClock.start();
    measure(Point::Sun);
}

void SunNoiseRun::measure(Point point)
{
    m_point = point;
    if (point == Point::Sun)
        sayProgress(QStringLiteral("太陽へ移動中"), QStringLiteral("moving to the sun"));
    else
        sayProgress(QStringLiteral("コールドスカイへ移動中"), QStringLiteral("moving to cold sky"));
    m_engine.measure([this, point](double utc) {
        const TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(utc, m_site, m_refraction, m_atmosphere);
        if (point == Point::Sun)
            return SetPoint{sun.azimuth, sun.elevation};
        // Beyond the limits now: the engine ends the run, naming the direction.
        return coldSky(sun).value_or(coldSkyOnChosenSide(sun));
    });
}

void SunNoiseRun::onMeasured(const Dwell& dwell)
{
    PointReading point;
    const rotator::RotatorPosition where = rotator::skyPosition(m_engine.frame(), dwell.position);
    point.azimuth = where.azimuth;
    point.elevation = where.elevation;
    point.dwell = dwell;
    ++m_pointsDone;

    if (m_point == Point::Sun) {
        m_sunPoint = point;
        // How far the dish stood from the sun meanwhile: a rotator that
        // reaches only whole degrees may stand most of a degree off it.
        const TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(dwell.utc, m_site, m_refraction, m_atmosphere);
        m_sunOffset = heliotrope::sky::skySeparation(point.azimuth, point.elevation, sun.azimuth, sun.elevation);
        measure(Point::Cold);
        return;
    }
    // The sun's power as on the beam's axis, where the beam is known and the
    // dish stood noticeably off the sun; the CSV keeps what was read.
    double sunDecibels = m_sunPoint.dwell.power;
    QString correctionJapanese;
    QString correctionEnglish;
    if (m_beamwidth > 0)
        sunDecibels = sunnoise::sunDecibelsOnAxis(m_sunPoint.dwell.power, point.dwell.power, m_sunOffset, m_beamwidth);
    if (sunDecibels - m_sunPoint.dwell.power >= kNoticeableCorrectionDecibels) {
        const QString offset = degreesText(m_sunOffset);
        const QString added = decibelsText(sunDecibels - m_sunPoint.dwell.power);
        correctionJapanese = QStringLiteral("（アンテナは太陽から %1 離れていたため +%2 dB 補正）").arg(offset, added);
        correctionEnglish = QStringLiteral(" (the dish stood %1 off the sun: +%2 dB)").arg(offset, added);
    }
    m_result.repeats.push_back({sunDecibels, point.dwell.power});
    if (m_csv.isOpen() && !m_csv.write(m_repeat, m_engine.now(), m_sunPoint, point)) {
        emit notice(QStringLiteral("CSV ファイル「%1」に書き込めません。測定は続けます。\n"
                                   "Cannot write the CSV file \"%1\"; the run goes on.")
                        .arg(m_options.csvPath));
    }
    emit notice(QStringLiteral("%1/%2 回目: 太陽 %3 dB、コールドスカイ %4 dB、Y %5 dB%6\nRepeat %1 of %2: sun %3 dB, cold sky %4 dB, Y %5 dB%7")
                    .arg(m_repeat)
                    .arg(m_options.repeats)
                    .arg(decibelsText(m_sunPoint.dwell.power), decibelsText(point.dwell.power),
                         decibelsText(sunDecibels - point.dwell.power), correctionJapanese, correctionEnglish));
    if (m_repeat >= m_options.repeats) {
        finishRun();
        return;
    }
    ++m_repeat;
    measure(Point::Sun);
}

void SunNoiseRun::finishRun()
{
    m_result.y = sunnoise::yFactor(m_result.repeats);
    if (!m_result.y) {
        stop(outcomeOf(OutcomeReason::NoRepeatMeasured));
        return;
    }
    const sunnoise::YFactor& y = *m_result.y;
    QString lines;
    if (y.standardDeviationDecibels) {
        lines = QStringLiteral("太陽雑音の結果: Y = %1 dB（標準偏差 %2 dB、%3 回）\nSun-noise result: Y = %1 dB "
                               "(standard deviation %2 dB over %3 repeats)")
                    .arg(decibelsText(y.meanDecibels), decibelsText(*y.standardDeviationDecibels))
                    .arg(y.repeats);
    } else {
        lines = QStringLiteral("太陽雑音の結果: Y = %1 dB（1 回のみ、ばらつきは不明）\nSun-noise result: Y = %1 dB "
                               "(a single repeat: no spread known)")
                    .arg(decibelsText(y.meanDecibels));
    }
    if (m_options.hasStation()) {
        const sunnoise::Station station{*m_options.fluxSfu, *m_options.frequencyMegahertz, *m_options.dishDiameterMetres,
                                        m_options.efficiency};
        // Said as the option it came from: a usual value, not the day's measured flux.
        const QString stationText = QStringLiteral("--flux %1 SFU, %2 MHz, %3 m, η %4")
                                        .arg(*m_options.fluxSfu)
                                        .arg(*m_options.frequencyMegahertz)
                                        .arg(*m_options.dishDiameterMetres)
                                        .arg(m_options.efficiency);
        if (m_options.systemTemperatureKelvin) {
            m_result.expectedYDecibels = sunnoise::expectedYDecibels(station, *m_options.systemTemperatureKelvin);
            lines += QStringLiteral("\n期待される Y（システム雑音温度 %1 K、%2）: %3 dB\nExpected Y at system temperature %1 K (%2): %3 dB")
                         .arg(*m_options.systemTemperatureKelvin)
                         .arg(stationText, decibelsText(*m_result.expectedYDecibels));
        }
        const double correction = sunnoise::sunDiscCorrection(
            sunnoise::estimatedBeamwidthDegrees(station.frequencyMegahertz, station.dishDiameterMetres));
        m_result.gOverTDecibelsPerKelvin = sunnoise::gOverTDecibelsPerKelvin(station, y.meanDecibels);
        if (m_result.gOverTDecibelsPerKelvin) {
            const double systemTemperature = *sunnoise::systemTemperatureKelvin(station, y.meanDecibels);
            lines += QStringLiteral("\nG/T = %1 dB/K（%2、太陽の視直径の補正 K = %3）、この Y のシステム雑音温度 %4 K\n"
                                    "G/T = %1 dB/K (%2, sun's disc correction K = %3); system temperature for this Y: %4 K")
                         .arg(decibelsText(*m_result.gOverTDecibelsPerKelvin), stationText)
                         .arg(correction, 0, 'f', 3)
                         .arg(systemTemperature, 0, 'f', 0);
        } else {
            lines += QStringLiteral("\nY が 0 dB 以下のため G/T は出せません。\nY is not above 0 dB: no G/T.");
        }
    }
    if (m_engine.power().resolution() >= 1.0) {
        lines += QStringLiteral("\n電力は %1 dB 単位の読みです: 一つの読みは ±%2 dB 粗く、多くの読みと繰り返しの平均でだけ細かくなります。\n"
                                "The power is read in steps of %1 dB: each reading is coarse by ±%2 dB; only averaging "
                                "many readings and repeats refines it.")
                     .arg(m_engine.power().resolution())
                     .arg(m_engine.power().resolution() / 2);
    }
    emit notice(lines);
    if (y.meanDecibels < kLowestPlausibleYDecibels) {
        m_result.gainControlWarning = true;
        emit notice(QStringLiteral("警告: 太陽とコールドスカイで受信電力がほとんど変わりません（Y = %1 dB、0.3 dB 未満）。"
                                   "受信機の AGC（自動利得制御）が入っているか、アンテナが太陽を向いていません。"
                                   "AGC を切り、指向のオフセットを確かめてください。\n"
                                   "Warning: the power hardly changes between the sun and cold sky (Y = %1 dB, below "
                                   "0.3 dB): the receiver's gain control may be on, or the antenna is not on the sun. "
                                   "Turn the AGC off and check the pointing offsets.")
                        .arg(decibelsText(y.meanDecibels)));
    }
    stop(outcomeOf(OutcomeReason::Found));
}

void SunNoiseRun::abort(const MeasurementOutcome& ended)
{
    if (!isRunning())
        return;
    if (!m_result.repeats.empty()) {
        const std::optional<sunnoise::YFactor> partial = sunnoise::yFactor(m_result.repeats);
        emit notice(QStringLiteral("それまでの %1 回の Y = %2 dB\nY over the %1 repeats measured: %2 dB")
                        .arg(partial->repeats)
                        .arg(decibelsText(partial->meanDecibels)));
        m_result.y = partial;
    }
    stop(ended);
}

void SunNoiseRun::stop(const MeasurementOutcome& ended)
{
    if (!m_running)
        return;
    m_running = false;
    emit finished(ended);
}

void SunNoiseRun::sayProgress(const QString& japanese, const QString& english)
{
    const int total = 2 * m_options.repeats;
    const double left = secondsLeft(m_pointsDone, total, static_cast<double>(m_runClock.elapsed()) / 1000.0,
                                    m_engine.settings().dwellSeconds + kFirstSlewGuessSeconds);
    emit progress(progressText(ProgressStep{QStringLiteral("太陽雑音"), QStringLiteral("sun noise"), QStringLiteral("回目"),
                                            QStringLiteral("repeat"), m_repeat, m_options.repeats, japanese, english, left}));
}

}  // namespace heliotrope::measure
