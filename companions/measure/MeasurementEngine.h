#pragma once

// The one settle-then-read loop both measurements on the sun run on: the
// calibration gives it the points of its pattern, the sun-noise run the sun
// and cold sky. For each point it commands the rotator, reads it until it has
// arrived, reads the power for the dwell and hands back what was measured and
// where the antenna stood meanwhile.
//
// One rule for every run:
// - Arrived: a reading taken after the P was answered stands within the
//   arrival band of the commanded position, measured on the sky (so that a
//   small azimuth error high up is not held against the rotator), and the
//   rotator has stopped there (two readings alike, or alike to the command).
//   The band is the settle tolerance, or half the rotator's step plus its dead
//   band when that is wider: as near as this rotator will get.
// - The sky moves on while the rotator turns: on arrival the point is aimed
//   again, and followed if it has moved beyond the band.
// - A point not reached within the settle timeout is skipped and said; three
//   skipped in a row end the run (the rotator is not moving).
// - Three power readings failing in a row end the run; one failure is said
//   and read again (a rigctld restarted between two readings). Likewise three
//   readings of the rotator refused in a row (a controller's line gone silent).
// - rotctld lost, or refusing a P, or a point beyond the rotator's limits, end
//   the run.
// The power is averaged in linear terms, as a detector adds it; its spread is
// kept in dB.

#include "companions/common/PointingRead.h"
#include "companions/common/ShiftedClock.h"
#include "companions/hamlib/RotctldReply.h"
#include "companions/measure/Dwell.h"
#include "companions/power/PowerSource.h"
#include "companions/rotator/RotatorGeometry.h"
#include "companions/rotator/RotatorProfile.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <optional>
#include <vector>

namespace heliotrope::measure {

class RotatorLender;

struct EngineSettings {
    double dwellSeconds = 2;           // power read this long at each point
    double settleTolerance = 0.05;     // degrees on the sky
    double settleTimeoutSeconds = 60;  // a point not reached by then is skipped
};

// Failures of one kind in a row, against the count that ends a run.
class FailureBudget {
public:
    explicit constexpr FailureBudget(int limit)
        : m_limit(limit)
    {
    }
    // One more failure in a row: whether it is the one that ends the run.
    bool spend() { return ++m_spent >= m_limit; }
    // A success ends the row.
    void refill() { m_spent = 0; }
    int limit() const { return m_limit; }

private:
    int m_limit;
    int m_spent = 0;
};

// Which of the rotator's limits a direction would cross, for the operator.
struct LimitCrossed {
    QString japanese;
    QString english;
};

class MeasurementEngine : public QObject {
    Q_OBJECT

public:
    // Where to point at `utc`, in the sky's terms (the frame's offsets are
    // applied on the way to the rotator).
    using Aim = std::function<companions::SetPoint(double utc)>;

    static constexpr int kPollMs = 200;
    static constexpr int kPowerFailuresToGiveUp = 3;    // power readings failed in a row
    static constexpr int kRefusedReadingsToGiveUp = 3;  // rotator positions refused in a row (a silent line)
    static constexpr int kSkippedToGiveUp = 3;          // points not reached in a row

    MeasurementEngine(RotatorLender& lender, heliotrope::power::PowerSource& power, const EngineSettings& settings,
                      companions::UtcClock clock, QObject* parent = nullptr);

    // Waits for rotctld and a first reading of the rotator, borrows the
    // rotator and says ready().
    void start();
    // Measures one point; exactly one of measured, skipped or stopped follows.
    void measure(Aim aim);
    // Gives the rotator back to the bridge; nothing more is commanded. Safe to
    // call more than once, and before start() has borrowed anything.
    void finish();

    bool isBorrowing() const { return m_borrowing; }
    const heliotrope::power::PowerSource& power() const { return m_power; }
    const EngineSettings& settings() const { return m_settings; }
    const heliotrope::rotator::RotatorProfile& rotatorProfile() const;
    const heliotrope::rotator::RotatorFrame& frame() const;
    // The latest reading, the rotator's own terms.
    std::optional<heliotrope::rotator::RotatorPosition> present() const { return m_present; }
    double now() const { return m_clock(); }
    // Seconds a point at `to` takes from `from` (the sky's terms): the slew at
    // the rates the rotator has been seen to turn, the settling and the
    // dwell; nothing until both rates are known.
    std::optional<double> secondsFor(const companions::SetPoint& from, const companions::SetPoint& to) const;
    // Degrees on the sky within which the rotator counts as arrived.
    double arrivalBand() const;
    // The P the rotator would be sent for a sky direction now; clamped when
    // beyond its limits, with which limit in `limitText` (Japanese / English).
    heliotrope::rotator::RotatorCommand commandFor(const companions::SetPoint& sky, LimitCrossed* crossed = nullptr) const;
    // Every point commanded flipped from now on (azimuth + 180°, elevation
    // 180° − e): a scan taken over the top, on a rotator that reaches past the
    // zenith. The aims stay in the sky's terms.
    void setOverTheTop(bool overTheTop) { m_overTheTop = overTheTop; }
    bool overTheTop() const { return m_overTheTop; }

signals:
    void ready();
    void notice(const QString& line);
    // Arrived; the dwell begins.
    void arrived();
    void measured(const Dwell& dwell);
    // Not reached within the settle timeout: the point is skipped.
    void skipped(const heliotrope::rotator::RotatorPosition& reading, const heliotrope::rotator::RotatorPosition& target);
    // The run cannot go on: why, in Japanese and English.
    void stopped(const QString& japanese, const QString& english);

private:
    enum class Phase { Idle,
                       Waiting,
                       Ready,
                       Settling,
                       Dwelling };

    void command(const companions::SetPoint& sky);
    void onPosition(const heliotrope::rotator::RotatorPosition& reading, bool afterPointing);
    void onReading(double decibels);
    void onPowerFailed(const QString& reason);
    void stop(const QString& japanese, const QString& english);
    bool hasArrived(const heliotrope::rotator::RotatorPosition& reading) const;
    void finishDwell();
    // Where the dish stood for the dwell's reading after the latest slew,
    // and how well that is known: fills the dwell's position and uncertainties.
    void placeTheDish(Dwell& dwell) const;

    RotatorLender& m_lender;
    heliotrope::power::PowerSource& m_power;
    EngineSettings m_settings;
    companions::UtcClock m_clock;
    Phase m_phase = Phase::Idle;
    bool m_borrowing = false;
    bool m_overTheTop = false;

    Aim m_aim;
    heliotrope::rotator::RotatorPosition m_target;  // the P sent for the point, rotator terms
    std::optional<heliotrope::rotator::RotatorPosition> m_present;
    std::optional<heliotrope::rotator::RotatorPosition> m_previous;  // the reading before m_present, since the P
    std::optional<heliotrope::rotator::RotatorPosition> m_slewFrom;  // where the rotator stood when the point was commanded
    companions::CompanionElapsedTimer m_pointClock;                  // the settling and the dwell, in the companions' time
    QTimer m_pollTimer;
    FailureBudget m_skipped{kSkippedToGiveUp};
    FailureBudget m_powerFailures{kPowerFailuresToGiveUp};
    FailureBudget m_refusedReadings{kRefusedReadingsToGiveUp};
    std::vector<double> m_readings;  // dB
    std::vector<double> m_readingTimes;
    std::vector<heliotrope::rotator::RotatorPosition> m_dwellPositions;
};

}  // namespace heliotrope::measure
