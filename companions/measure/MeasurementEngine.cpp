#include "companions/measure/MeasurementEngine.h"

#include "companions/common/ConsoleText.h"
#include "companions/measure/RotatorLender.h"
#include "companions/rotator/RotatorReading.h"
#include "companions/sky/TrueSun.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <optional>

using heliotrope::companions::degreesText;
using heliotrope::companions::SetPoint;
using heliotrope::companions::UtcClock;

namespace heliotrope::measure {

namespace {

double separationOnSky(const rotator::RotatorFrame& frame, const rotator::RotatorPosition& a, const rotator::RotatorPosition& b)
{
    const rotator::RotatorPosition skyA = rotator::skyPosition(frame, a);
    const rotator::RotatorPosition skyB = rotator::skyPosition(frame, b);
    return heliotrope::sky::skySeparation(skyA.azimuth, skyA.elevation, skyB.azimuth, skyB.elevation);
}

}  // namespace

MeasurementEngine::MeasurementEngine(RotatorLender& lender, heliotrope::power::PowerSource& power,
                                     const EngineSettings& settings, UtcClock clock, QObject* parent)
    : QObject(parent)
    , m_lender(lender)
    , m_power(power)
    , m_settings(settings)
    , m_clock(std::move(clock))
{
    m_pollTimer.setInterval(companions::realIntervalMs(kPollMs));
    connect(&m_pollTimer, &QTimer::timeout, this, [this] {
        if (m_lender.rotctld().isReady())
            m_lender.rotctld().requestPosition();
    });
    hamlib::RotctldClient& client = m_lender.rotctld();
    connect(&client, &hamlib::RotctldClient::positionRead, this, &MeasurementEngine::onPosition);
    connect(&client, &hamlib::RotctldClient::ready, this, [this] {
        if (m_phase == Phase::Waiting)
            m_lender.rotctld().requestPosition();
    });
    connect(&client, &hamlib::RotctldClient::lost, this, [this] {
        if (m_phase == Phase::Settling || m_phase == Phase::Dwelling)
            stop(QStringLiteral("rotctld との接続が切れました。"), QStringLiteral("the connection to rotctld was lost."));
    });
    // A rotator whose controller stops answering (a silent serial line) is
    // given up on as a power source is: three readings refused in a row.
    connect(&client, &hamlib::RotctldClient::positionRefused, this, [this](int returnCode) {
        if (m_phase != Phase::Settling && m_phase != Phase::Dwelling)
            return;
        if (m_refusedReadings.spend()) {
            const hamlib::HamlibError error = hamlib::hamlibError(returnCode);
            stop(QStringLiteral("ローテーターの位置を %1 回続けて読めません（RPRT %2: %3）。%4").arg(kRefusedReadingsToGiveUp).arg(returnCode).arg(error.japanese, error.actionJapanese),
                 QStringLiteral("the rotator's position could not be read %1 times in a row (RPRT %2: %3). %4").arg(kRefusedReadingsToGiveUp).arg(returnCode).arg(error.english, error.actionEnglish));
        }
    });
    connect(&client, &hamlib::RotctldClient::pointingAnswered, this, [this](int returnCode) {
        if (returnCode != 0 && (m_phase == Phase::Settling || m_phase == Phase::Dwelling)) {
            const hamlib::HamlibError error = hamlib::hamlibError(returnCode);
            stop(QStringLiteral("rotctld が指向コマンド P を受け付けません（RPRT %1: %2）。%3").arg(returnCode).arg(error.japanese, error.actionJapanese),
                 QStringLiteral("rotctld refused the pointing command P (RPRT %1: %2). %3").arg(returnCode).arg(error.english, error.actionEnglish));
        }
    });
    connect(&m_power, &heliotrope::power::PowerSource::readingArrived, this, &MeasurementEngine::onReading);
    connect(&m_power, &heliotrope::power::PowerSource::failed, this, &MeasurementEngine::onPowerFailed);
}

const rotator::RotatorFrame& MeasurementEngine::frame() const
{
    return m_lender.frame();
}

const rotator::RotatorProfile& MeasurementEngine::rotatorProfile() const
{
    return m_lender.rotatorProfile();
}

void MeasurementEngine::start()
{
    m_phase = Phase::Waiting;
    if (m_lender.rotctld().isReady())
        m_lender.rotctld().requestPosition();
}

double MeasurementEngine::arrivalBand() const
{
    return std::max(m_settings.settleTolerance, m_lender.rotatorProfile().reach());
}

std::optional<double> MeasurementEngine::secondsFor(const SetPoint& from, const SetPoint& to) const
{
    const rotator::RotatorProfile& rotator = m_lender.rotatorProfile();
    if (!rotator.azimuthRate() || !rotator.elevationRate())
        return std::nullopt;
    const double slew = std::max(std::abs(std::remainder(to.azimuth - from.azimuth, 360.0)) / *rotator.azimuthRate(),
                                 std::abs(to.elevation - from.elevation) / *rotator.elevationRate());
    // Two readings alike after the stop, at the polling interval.
    return slew + 2.0 * kPollMs / 1000.0 + m_settings.dwellSeconds;
}

rotator::RotatorCommand MeasurementEngine::commandFor(const SetPoint& sky, LimitCrossed* crossed) const
{
    const rotator::RotatorCommand command = rotator::rotatorCommand(frame(), sky, m_present, m_overTheTop);
    if (command.clamped && crossed) {
        const rotator::RotatorLimits& limits = frame().limits;
        QStringList japanese;
        QStringList english;
        const auto add = [&](bool met, const char* ja, const char* en, double value) {
            if (!met)
                return;
            japanese << QStringLiteral("%1 %2").arg(QString::fromUtf8(ja), degreesText(value));
            english << QStringLiteral("%1 %2").arg(QString::fromUtf8(en), degreesText(value));
        };
        add(command.azimuth <= limits.minAzimuth, "方位角の下限", "azimuth limit", limits.minAzimuth);
        add(command.azimuth >= limits.maxAzimuth, "方位角の上限", "azimuth limit", limits.maxAzimuth);
        add(command.elevation <= limits.minElevation, "仰角の下限", "minimum elevation", limits.minElevation);
        add(command.elevation >= limits.maxElevation, "仰角の上限", "maximum elevation", limits.maxElevation);
        crossed->japanese = japanese.join(QStringLiteral("、"));
        crossed->english = english.join(QStringLiteral(", "));
    }
    return command;
}

void MeasurementEngine::measure(Aim aim)
{
    if (m_phase != Phase::Ready)
        return;
    m_aim = std::move(aim);
    m_slewFrom = m_present;
    m_pointClock.restart();
    command(m_aim(m_clock()));
}

void MeasurementEngine::command(const SetPoint& sky)
{
    LimitCrossed limit;
    const rotator::RotatorCommand next = commandFor(sky, &limit);
    if (next.clamped) {
        stop(QStringLiteral("測る向き（%1）がローテーターの可動範囲を越えます（%2）。")
                 .arg(companions::directionTextJapanese(sky.azimuth, sky.elevation), limit.japanese),
             QStringLiteral("the point to measure (%1) lies beyond the rotator's limits (%2).")
                 .arg(companions::directionTextEnglish(sky.azimuth, sky.elevation), limit.english));
        return;
    }
    m_phase = Phase::Settling;
    // Arrival is judged against the command as it goes on the line, in
    // hundredths: the unrounded target may lie on the other side of a half
    // step from what the controller is told (23.4488° goes as 23.45, which a
    // tenths controller takes as 23.5), and the rotator would then stop
    // where it never counts as arrived.
    m_target = hamlib::RotctldClient::asSent(rotator::RotatorPosition{next.azimuth, next.elevation});
    m_previous.reset();
    m_lender.rotctld().requestPointing(m_target);
    m_lender.rotctld().requestPosition();
    m_pollTimer.start();
}

bool MeasurementEngine::hasArrived(const rotator::RotatorPosition& reading) const
{
    // Within the settle tolerance on the sky, or as near as this rotator gets
    // on each axis, measured from the command as its controller takes it (a
    // whole-degree controller told 166.66° goes to 167° and may stop at 166.6°).
    const rotator::RotatorProfile& rotator = m_lender.rotatorProfile();
    const rotator::RotatorPosition rounded = rotator.rounded(m_target);
    if (separationOnSky(frame(), reading, m_target) > m_settings.settleTolerance && !rotator.within(reading, m_target))
        return false;
    return rotator::readingsAlike(reading, rounded) || rotator::readingsAlike(reading, m_target) || (m_previous && rotator::readingsAlike(reading, *m_previous));
}

void MeasurementEngine::onPosition(const rotator::RotatorPosition& reading, bool afterPointing)
{
    if (m_phase == Phase::Waiting) {
        m_present = reading;
        m_phase = Phase::Ready;
        m_borrowing = true;
        m_lender.lendRotator();
        emit ready();
        return;
    }
    if (m_phase == Phase::Dwelling) {
        m_refusedReadings.refill();
        m_present = reading;
        m_dwellPositions.push_back(reading);
        return;
    }
    if (m_phase != Phase::Settling || !afterPointing)
        return;  // asked for before the P was answered: says nothing about arriving
    m_present = reading;
    m_refusedReadings.refill();
    // A rotator stopped short of the band has widened it by now: the lender
    // learnt its dead band from this very reading before passing it on (a
    // tenths controller that stops 0.4° short).
    if (hasArrived(reading)) {
        // The sky moved on while the rotator turned: follow it before reading.
        const rotator::RotatorCommand fresh = commandFor(m_aim(m_clock()));
        if (!fresh.clamped && separationOnSky(frame(), rotator::RotatorPosition{fresh.azimuth, fresh.elevation}, m_target) > arrivalBand()) {
            command(m_aim(m_clock()));
            return;
        }
        m_skipped.refill();
        m_phase = Phase::Dwelling;
        m_readings.clear();
        m_readingTimes.clear();
        m_dwellPositions = {reading};
        m_pointClock.restart();
        emit arrived();
        m_power.requestReading();
        return;
    }
    m_previous = reading;
    if (static_cast<double>(m_pointClock.elapsed()) > m_settings.settleTimeoutSeconds * 1000.0) {
        m_pollTimer.stop();
        m_phase = Phase::Ready;
        const rotator::RotatorPosition target = m_target;
        if (m_skipped.spend()) {
            stop(QStringLiteral("ローテーターが %1 点続けて %2 秒以内に目標に着きません（読み %3、目標 %4）。")
                     .arg(kSkippedToGiveUp)
                     .arg(m_settings.settleTimeoutSeconds)
                     .arg(companions::directionTextJapanese(reading.azimuth, reading.elevation),
                          companions::directionTextJapanese(target.azimuth, target.elevation)),
                 QStringLiteral("the rotator did not reach %1 points in a row within %2 s (reads %3, target %4).")
                     .arg(kSkippedToGiveUp)
                     .arg(m_settings.settleTimeoutSeconds)
                     .arg(companions::directionTextEnglish(reading.azimuth, reading.elevation),
                          companions::directionTextEnglish(target.azimuth, target.elevation)));
            return;
        }
        emit skipped(reading, target);
    }
}

void MeasurementEngine::onReading(double decibels)
{
    if (m_phase != Phase::Dwelling)
        return;
    m_powerFailures.refill();
    m_readings.push_back(decibels);
    m_readingTimes.push_back(m_clock());
    if (static_cast<double>(m_pointClock.elapsed()) >= m_settings.dwellSeconds * 1000.0)
        finishDwell();
    else
        m_power.requestReading();
}

void MeasurementEngine::onPowerFailed(const QString& reason)
{
    if (m_phase != Phase::Dwelling)
        return;
    // The source's own words first, whole; then what the engine makes of them.
    emit notice(reason);
    if (m_powerFailures.spend()) {
        stop(QStringLiteral("電力を %1 回続けて読めません。--power の読み取り元を確かめてください（command: なら端末で一度実行し、"
                            "rigctld: なら rigctld が起動しているかを）。")
                 .arg(kPowerFailuresToGiveUp),
             QStringLiteral("%1 power readings failed in a row. Check the --power source (run a command: once in a "
                            "terminal; for rigctld:, check that rigctld runs).")
                 .arg(kPowerFailuresToGiveUp));
        return;
    }
    m_power.requestReading();
}

void MeasurementEngine::finishDwell()
{
    m_pollTimer.stop();
    m_phase = Phase::Ready;
    Dwell dwell;
    dwell.count = static_cast<int>(m_readings.size());
    const double count = static_cast<double>(m_readings.size());
    // In linear power relative to the first reading: the sum stays of order
    // one on any scale, and readings all alike give that reading exactly.
    const double first = m_readings.front();
    double linearSum = 0;
    double decibelSum = 0;
    for (const double value : m_readings) {
        linearSum += std::pow(10.0, (value - first) / 10.0);
        decibelSum += value;
    }
    dwell.power = first + 10.0 * std::log10(linearSum / count);
    const double decibelMean = decibelSum / count;
    double squares = 0;
    for (const double value : m_readings)
        squares += (value - decibelMean) * (value - decibelMean);
    dwell.spread = m_readings.size() > 1 ? std::sqrt(squares / (count - 1)) : 0;
    dwell.utc = (m_readingTimes.front() + m_readingTimes.back()) / 2;
    dwell.reading = rotator::meanReading(m_dwellPositions);
    placeTheDish(dwell);
    emit measured(dwell);
}

void MeasurementEngine::placeTheDish(Dwell& dwell) const
{
    const rotator::RotatorProfile& rotator = m_lender.rotatorProfile();
    const double step = rotator.stepOrFinest();
    const double unseen = rotator.unseenDeadBand();
    struct Axis {
        double place;
        double point;
        double shared = 0;
    };
    // The controller cut the motor on entering its dead band, on the side the
    // rotator came from, and its reading is that stop on its own grid:
    //  - a dead band given is known: the dish stands that far short of the
    //    command, whether the reading shows the command or a step short;
    //  - none given and none seen may be anything from none to half the step:
    //    taken as half that, the rest an error every point approached from
    //    the same side shares (uniform: its width over √12);
    //  - one learnt from the readings is seen, but the reading lies on the
    //    grid, off the stop by the same amount for every point approached
    //    alike: up to half a step either way, shared.
    // A reading taken as it is stands within half a step of the dish; a stop
    // worked out from the command is as good as the controller's own reading,
    // on which it cut the motor: anywhere within its step (uniform).
    const double stopUncertainty = step / std::sqrt(12.0);
    // Until a stop has shown whether the controller rounds a command or cuts
    // it down, the stop the reading agrees with tells which it did.
    const rotator::RotatorPosition commanded = rotator.taken(m_target);
    const rotator::RotatorPosition cut = rotator.cutDown(m_target);
    bool unseenCounted = false;
    const auto axis = [&](double read, double sent, double sentCut, std::optional<double> from) -> Axis {
        const Axis asRead{read, step / 2};
        if (!from || std::abs(sent - *from) <= rotator.reach())
            return asRead;  // did not move on this axis
        const double travel = sent - *from;
        if (rotator.deadBandGiven()) {
            const double shortBy = std::copysign(rotator.deadBand(), travel);
            const double stop = std::abs(read - (sent - shortBy)) <= std::abs(read - (sentCut - shortBy)) ? sent - shortBy : sentCut - shortBy;
            return std::abs(read - stop) <= step / 2 + rotator::RotatorProfile::kLastDigit ? Axis{stop, stopUncertainty} : asRead;
        }
        if (unseen > 0 && std::abs(read - sent) <= step / 2) {
            unseenCounted = true;
            return Axis{sent - std::copysign(unseen / 2, travel), stopUncertainty, unseen / std::sqrt(12.0)};
        }
        if (rotator.deadBand() > 0)
            return Axis{read, stopUncertainty, step / std::sqrt(12.0)};
        return asRead;
    };
    std::optional<double> fromAzimuth;
    std::optional<double> fromElevation;
    if (m_slewFrom) {
        fromAzimuth = commanded.azimuth + std::remainder(m_slewFrom->azimuth - commanded.azimuth, 360.0);
        fromElevation = m_slewFrom->elevation;
    }
    const double cutAzimuth = commanded.azimuth + std::remainder(cut.azimuth - commanded.azimuth, 360.0);
    const Axis azimuth = axis(dwell.reading.azimuth, commanded.azimuth, cutAzimuth, fromAzimuth);
    const Axis elevation = axis(dwell.reading.elevation, commanded.elevation, cut.elevation, fromElevation);
    dwell.position = rotator::RotatorPosition{azimuth.place, elevation.place};
    dwell.pointUncertainty = {azimuth.point, elevation.point};
    dwell.sharedUncertainty = {azimuth.shared, elevation.shared};
    dwell.unseenDeadBand = unseenCounted ? unseen : 0;
}

void MeasurementEngine::stop(const QString& japanese, const QString& english)
{
    m_pollTimer.stop();
    m_phase = Phase::Ready;
    emit stopped(japanese, english);
}

void MeasurementEngine::finish()
{
    m_pollTimer.stop();
    const bool wasWaiting = m_phase == Phase::Waiting;
    m_phase = Phase::Idle;
    if (m_borrowing) {
        m_borrowing = false;
        m_lender.takeRotatorBack();
    } else if (wasWaiting && m_lender.rotctld().isReady()) {
        m_lender.takeRotatorBack();
    }
}

}  // namespace heliotrope::measure
