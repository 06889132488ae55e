#include "companions/rotctl/SunNoiseRun.h"

#include "companions/common/ConsoleText.h"
#include "companions/power/PowerSource.h"
#include "companions/rotctl/RotctldClient.h"
#include "companions/rotctl/TrueSunPointing.h"

#include <algorithm>
#include <cmath>

using heliotrope::companions::degreesText;
using heliotrope::companions::SetPoint;
using heliotrope::sky::TrueSunPosition;
namespace sunnoise = heliotrope::sunnoise;

namespace heliotrope::rotctl {

namespace {

constexpr double kRadiansPerDegree = 3.14159265358979 / 180.0;
// Cross-elevation offsets are turned into azimuth with 1 / cos el; near the
// zenith that grows without bound, so the factor stops here (el 84°).
constexpr double kLargestAzimuthFactor = 10.0;
// Time one point is guessed to take before any has been measured, beyond its
// dwell: a slew and the settling.
constexpr double kFirstSlewGuessSeconds = 10.0;

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

QString durationJapanese(double seconds)
{
    if (seconds < 90)
        return QStringLiteral("約 %1 秒").arg(std::max(1, static_cast<int>(std::lround(seconds))));
    return QStringLiteral("約 %1 分").arg(std::lround(seconds / 60.0));
}

QString durationEnglish(double seconds)
{
    if (seconds < 90)
        return QStringLiteral("about %1 s").arg(std::max(1, static_cast<int>(std::lround(seconds))));
    return QStringLiteral("about %1 min").arg(std::lround(seconds / 60.0));
}

}  // namespace

SunNoiseRun::SunNoiseRun(const SunNoiseOptions& options, const heliotrope::sky::Site& site,
                         heliotrope::sky::Refraction refraction, const heliotrope::sky::Atmosphere& atmosphere,
                         RotctldClient& rotctld, heliotrope::power::PowerSource& power, UtcSecondsClock clock,
                         QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_site(site)
    , m_refraction(refraction)
    , m_atmosphere(atmosphere)
    , m_rotctld(rotctld)
    , m_power(power)
    , m_clock(std::move(clock))
    , m_beamwidth(options.beamwidthDegrees().value_or(0))
{
    m_pollTimer.setInterval(kPositionPollMs);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        if (m_rotctld.isReady())
            m_rotctld.requestPosition();
    });
    m_settleTimer.setSingleShot(true);
    connect(&m_settleTimer, &QTimer::timeout, this, [this] {
        abort(QStringLiteral("回転器が %1 秒たっても目標（%2）に着きません。")
                  .arg(kSettleTimeoutMs / 1000)
                  .arg(directionTextJapanese(m_target.sky.azimuth, m_target.sky.elevation)),
              QStringLiteral("the rotator did not reach its target (%2) within %1 s.")
                  .arg(kSettleTimeoutMs / 1000)
                  .arg(directionTextEnglish(m_target.sky.azimuth, m_target.sky.elevation)));
    });
    connect(&m_rotctld, &RotctldClient::positionRead, this,
            [this](const RotatorPosition& position, qint64) { onPosition(position); });
    connect(&m_rotctld, &RotctldClient::lost, this, [this](RotctldClient::Problem, const QString&) {
        abort(QStringLiteral("rotctld との接続が切れました。"), QStringLiteral("the connection to rotctld was lost."));
    });
    connect(&m_rotctld, &RotctldClient::pointingAnswered, this, [this](int returnCode) {
        if (returnCode != 0 && isRunning()) {
            abort(QStringLiteral("rotctld が指向コマンド P を受け付けません（RPRT %1）。").arg(returnCode),
                  QStringLiteral("rotctld refused the pointing command P (RPRT %1).").arg(returnCode));
        }
    });
    connect(&m_power, &heliotrope::power::PowerSource::readingArrived, this, &SunNoiseRun::onReading);
    connect(&m_power, &heliotrope::power::PowerSource::failed, this, &SunNoiseRun::onPowerFailed);
}

std::optional<TrueSunPosition> SunNoiseRun::sunNow(QString* problemJapanese, QString* problemEnglish) const
{
    const TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(m_clock(), m_site, m_refraction, m_atmosphere);
    if (sun.status == heliotrope::sky::EphemerisStatus::Failed) {
        *problemJapanese = QStringLiteral("ERFA がこの時刻の太陽を計算できません。");
        *problemEnglish = QStringLiteral("ERFA cannot compute the sun for this instant.");
        return std::nullopt;
    }
    if (sun.elevation < kLowestSunElevation) {
        *problemJapanese = QStringLiteral("太陽の仰角が %1 で 10° 未満です。地面と大気の雑音が混ざり、そばの空も冷たくないため、"
                                          "測っても G/T になりません。")
                               .arg(degreesText(sun.elevation));
        *problemEnglish = QStringLiteral("the sun is at elevation %1, below 10°: the ground's and the atmosphere's noise "
                                         "would mix in and the sky beside it is not cold, so no G/T could be measured.")
                              .arg(degreesText(sun.elevation));
        return std::nullopt;
    }
    return sun;
}

SunNoiseRun::Target SunNoiseRun::targetFor(const SetPoint& sky) const
{
    const RotatorCommand command = rotatorCommand(m_frame, sky, m_lastReading);
    return Target{sky, RotatorPosition{command.azimuth, command.elevation}, command.clamped};
}

std::optional<SunNoiseRun::Target> SunNoiseRun::coldTarget(const TrueSunPosition& sun) const
{
    if (m_options.coldAzimuth && m_options.coldElevation) {
        const Target target = targetFor(SetPoint{*m_options.coldAzimuth, *m_options.coldElevation});
        return target.clamped ? std::nullopt : std::optional<Target>(target);
    }
    // Δaz = Δxel / cos el: the same angle on the sky at any elevation.
    const double factor = std::min(1.0 / std::cos(sun.elevation * kRadiansPerDegree), kLargestAzimuthFactor);
    const double azimuthStep = m_options.coldOffsetBeamwidths * m_beamwidth * factor;
    // The side chosen first stays for the whole run, so that every repeat
    // measures the same sky; the later side first, where the sun is going.
    const std::vector<double> sides = m_coldSide ? std::vector<double>{*m_coldSide} : std::vector<double>{1.0, -1.0};
    for (double side : sides) {
        const Target target = targetFor(SetPoint{normalized(sun.azimuth + side * azimuthStep), sun.elevation});
        if (!target.clamped)
            return target;
    }
    return std::nullopt;
}

bool SunNoiseRun::start(const RotatorFrame& frame)
{
    if (isRunning())
        return false;
    m_frame = frame;
    m_coldSide.reset();
    m_lastReading.reset();
    const auto refuse = [this](const QString& japanese, const QString& english) {
        emit notice(QStringLiteral("太陽雑音の測定を始めません: %1\nSun-noise run not started: %2").arg(japanese, english));
        emit finished(false);
        return false;
    };

    QString japanese;
    QString english;
    const std::optional<TrueSunPosition> sun = sunNow(&japanese, &english);
    if (!sun)
        return refuse(japanese, english);
    const Target sunTarget = targetFor(SetPoint{sun->azimuth, sun->elevation});
    if (sunTarget.clamped) {
        return refuse(QStringLiteral("太陽（%1）が回転器の可動範囲の外です。").arg(directionTextJapanese(sun->azimuth, sun->elevation)),
                      QStringLiteral("the sun (%1) is outside the rotator's limits.")
                          .arg(directionTextEnglish(sun->azimuth, sun->elevation)));
    }
    const std::optional<Target> cold = coldTarget(*sun);
    if (!cold) {
        return refuse(QStringLiteral("冷たい空の向きが回転器の可動範囲の外です（--cold か --cold-offset を見直してください）。"),
                      QStringLiteral("the cold-sky direction is outside the rotator's limits (check --cold or --cold-offset)."));
    }
    if (!m_options.coldAzimuth) {
        m_coldSide = normalized(cold->sky.azimuth - sun->azimuth) < 180.0 ? 1.0 : -1.0;
    } else {
        const double gap = heliotrope::sky::skySeparation(sun->azimuth, sun->elevation, cold->sky.azimuth, cold->sky.elevation);
        if (m_beamwidth > 0 && gap < 2 * m_beamwidth) {
            emit notice(QStringLiteral("注意: 冷たい空（--cold）は太陽から %1 しか離れておらず、ビーム幅 %2 の 2 倍より近いため、"
                                       "太陽の雑音が混ざって Y が小さく出ます。\n"
                                       "Note: cold sky (--cold) is only %1 from the sun, within two beamwidths (%2): "
                                       "the sun's noise leaks in and Y comes out low.")
                            .arg(degreesText(gap), degreesText(m_beamwidth)));
        }
    }
    if (!m_options.csvPath.isEmpty()) {
        QString problem;
        if (!m_csv.open(m_options.csvPath, &problem)) {
            // The reason comes as a Japanese line and an English one.
            const qsizetype lineEnd = problem.indexOf(QLatin1Char('\n'));
            return refuse(problem.left(lineEnd), lineEnd < 0 ? problem : problem.mid(lineEnd + 1));
        }
    }

    emit notice(QStringLiteral("太陽雑音の測定を始めます: 太陽（%1）と冷たい空（%2）を %3 回ずつ、各 %4 秒読みます。電力: %5。\n"
                               "Sun-noise run: the sun (%6) and cold sky (%7), %3 times each, read for %4 s each; "
                               "power from %5.")
                    .arg(directionTextJapanese(sun->azimuth, sun->elevation),
                         directionTextJapanese(cold->sky.azimuth, cold->sky.elevation))
                    .arg(m_options.repeats)
                    .arg(m_options.dwellSeconds)
                    .arg(m_power.description(), directionTextEnglish(sun->azimuth, sun->elevation),
                         directionTextEnglish(cold->sky.azimuth, cold->sky.elevation)));
    m_result = SunNoiseResult{};
    m_repeat = 1;
    m_pointsDone = 0;
    m_runClock.start();
    m_pollTimer.start();
    beginPoint(Point::Sun);
    return true;
}

void SunNoiseRun::beginPoint(Point point)
{
    m_point = point;
    QString japanese;
    QString english;
    const std::optional<TrueSunPosition> sun = sunNow(&japanese, &english);
    if (!sun) {
        abort(japanese, english);
        return;
    }
    std::optional<Target> target = point == Point::Sun ? targetFor(SetPoint{sun->azimuth, sun->elevation}) : coldTarget(*sun);
    if (!target || target->clamped) {
        abort(QStringLiteral("太陽が動いて、測る向きが回転器の可動範囲の外に出ました。"),
              QStringLiteral("the sun has moved and the point to measure is now outside the rotator's limits."));
        return;
    }
    m_target = *target;
    m_phase = Phase::Slewing;
    commandPoint();
    m_settleTimer.start(kSettleTimeoutMs);
    if (point == Point::Sun)
        sayProgress(QStringLiteral("太陽へ移動中"), QStringLiteral("moving to the sun"));
    else
        sayProgress(QStringLiteral("冷たい空へ移動中"), QStringLiteral("moving to cold sky"));
}

void SunNoiseRun::commandPoint()
{
    m_rotctld.requestPointing(m_target.rotator);
}

void SunNoiseRun::onPosition(const RotatorPosition& reading)
{
    m_lastReading = reading;
    if (m_phase != Phase::Slewing || m_rotctld.pointingPending())
        return;
    // Arrived: within the tolerance on the sky, so that a small azimuth error
    // high up is not held against the rotator.
    const double tolerance = m_options.settleToleranceDegrees;
    const auto within = [this, tolerance](const RotatorPosition& a, const RotatorPosition& b) {
        const RotatorPosition skyA = skyPosition(m_frame, a);
        const RotatorPosition skyB = skyPosition(m_frame, b);
        return heliotrope::sky::skySeparation(skyA.azimuth, skyA.elevation, skyB.azimuth, skyB.elevation) <= tolerance;
    };
    if (!within(reading, m_target.rotator))
        return;
    if (m_point == Point::Sun) {
        // The sun moved on while the rotator turned (0.25° a minute): follow
        // it before reading, so that the long slews do not cost the peak.
        QString japanese;
        QString english;
        const std::optional<TrueSunPosition> sun = sunNow(&japanese, &english);
        if (!sun) {
            abort(japanese, english);
            return;
        }
        const Target fresh = targetFor(SetPoint{sun->azimuth, sun->elevation});
        if (!within(fresh.rotator, m_target.rotator)) {
            m_target = fresh;
            commandPoint();
            return;
        }
    }
    m_settleTimer.stop();
    m_phase = Phase::Dwelling;
    m_readings.clear();
    m_dwellClock.start();
    if (m_point == Point::Sun)
        sayProgress(QStringLiteral("太陽を測定中"), QStringLiteral("reading the sun"));
    else
        sayProgress(QStringLiteral("冷たい空を測定中"), QStringLiteral("reading cold sky"));
    m_power.requestReading();
}

void SunNoiseRun::onReading(double decibels)
{
    if (m_phase != Phase::Dwelling)
        return;
    m_readings.push_back(decibels);
    if (m_dwellClock.elapsed() >= static_cast<qint64>(m_options.dwellSeconds * 1000.0))
        finishPoint();
    else
        m_power.requestReading();
}

void SunNoiseRun::onPowerFailed(const QString& reason)
{
    if (m_phase != Phase::Dwelling)
        return;
    abort(QStringLiteral("電力を読めません。"), QStringLiteral("the power source failed:\n%1").arg(reason));
}

void SunNoiseRun::finishPoint()
{
    PointReading point;
    const RotatorPosition where = skyPosition(m_frame, m_lastReading.value_or(m_target.rotator));
    point.azimuth = where.azimuth;
    point.elevation = where.elevation;
    point.readings = static_cast<int>(m_readings.size());
    double sum = 0;
    for (double reading : m_readings)
        sum += reading;
    point.meanDecibels = sum / point.readings;
    if (point.readings > 1) {
        double squares = 0;
        for (double reading : m_readings)
            squares += (reading - point.meanDecibels) * (reading - point.meanDecibels);
        point.standardDeviationDecibels = std::sqrt(squares / (point.readings - 1));
    }
    ++m_pointsDone;

    if (m_point == Point::Sun) {
        m_sunPoint = point;
        beginPoint(Point::Cold);
        return;
    }
    m_result.repeats.push_back({m_sunPoint.meanDecibels, point.meanDecibels});
    if (m_csv.isOpen() && !m_csv.write(m_repeat, m_clock(), m_sunPoint, point)) {
        emit notice(QStringLiteral("CSV ファイル「%1」に書き込めません。測定は続けます。\n"
                                   "Cannot write the CSV file \"%1\"; the run goes on.")
                        .arg(m_options.csvPath));
    }
    emit notice(QStringLiteral("%1/%2 回目: 太陽 %3 dB、冷たい空 %4 dB、Y %5 dB\nRepeat %1 of %2: sun %3 dB, cold sky %4 dB, Y %5 dB")
                    .arg(m_repeat)
                    .arg(m_options.repeats)
                    .arg(decibelsText(m_sunPoint.meanDecibels), decibelsText(point.meanDecibels),
                         decibelsText(m_sunPoint.meanDecibels - point.meanDecibels)));
    if (m_repeat >= m_options.repeats) {
        finishRun();
        return;
    }
    ++m_repeat;
    beginPoint(Point::Sun);
}

void SunNoiseRun::finishRun()
{
    m_result.y = sunnoise::yFactor(m_result.repeats);
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
        const QString stationText = QStringLiteral("%1 SFU, %2 MHz, %3 m, η %4")
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
    if (m_power.resolution() >= 1.0) {
        lines += QStringLiteral("\n電力は %1 dB 単位の読みです: 一つの読みは ±%2 dB 粗く、多くの読みと繰り返しの平均でだけ細かくなります。\n"
                                "The power is read in steps of %1 dB: each reading is coarse by ±%2 dB; only averaging "
                                "many readings and repeats refines it.")
                     .arg(m_power.resolution())
                     .arg(m_power.resolution() / 2);
    }
    emit notice(lines);
    if (y.meanDecibels < kLowestPlausibleYDecibels) {
        m_result.gainControlWarning = true;
        emit notice(QStringLiteral("警告: 太陽と冷たい空で受信電力がほとんど変わりません（Y = %1 dB、0.3 dB 未満）。"
                                   "受信機の AGC（自動利得制御）が入っているか、アンテナが太陽を向いていません。"
                                   "AGC を切り、指向のオフセットを確かめてください。\n"
                                   "Warning: the power hardly changes between the sun and cold sky (Y = %1 dB, below "
                                   "0.3 dB): the receiver's gain control may be on, or the antenna is not on the sun. "
                                   "Turn the AGC off and check the pointing offsets.")
                        .arg(decibelsText(y.meanDecibels)));
    }
    stop(true);
}

void SunNoiseRun::abort(const QString& reasonJapanese, const QString& reasonEnglish)
{
    if (!isRunning())
        return;
    emit notice(QStringLiteral("太陽雑音の測定を中止しました: %1\nSun-noise run stopped: %2").arg(reasonJapanese, reasonEnglish));
    if (!m_result.repeats.empty()) {
        const std::optional<sunnoise::YFactor> partial = sunnoise::yFactor(m_result.repeats);
        emit notice(QStringLiteral("それまでの %1 回の Y = %2 dB\nY over the %1 repeats measured: %2 dB")
                        .arg(partial->repeats)
                        .arg(decibelsText(partial->meanDecibels)));
        m_result.y = partial;
    }
    stop(false);
}

void SunNoiseRun::stop(bool completed)
{
    m_pollTimer.stop();
    m_settleTimer.stop();
    m_phase = Phase::Idle;
    emit finished(completed);
}

double SunNoiseRun::secondsLeft() const
{
    const int total = 2 * m_options.repeats;
    const int left = total - m_pointsDone;
    const double perPoint = m_pointsDone > 0 ? static_cast<double>(m_runClock.elapsed()) / 1000.0 / m_pointsDone
                                             : m_options.dwellSeconds + kFirstSlewGuessSeconds;
    return left * perPoint;
}

void SunNoiseRun::sayProgress(const QString& japanese, const QString& english)
{
    const double left = secondsLeft();
    emit progress(QStringLiteral("太陽雑音 %1/%2 回目: %3（残り%4） / sun noise %1 of %2: %5 (%6 left)")
                      .arg(m_repeat)
                      .arg(m_options.repeats)
                      .arg(japanese, durationJapanese(left), english, durationEnglish(left)));
}

}  // namespace heliotrope::rotctl
