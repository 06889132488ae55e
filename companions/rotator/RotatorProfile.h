#pragma once

// What this rotator can do, learnt from its readings and the P it accepts:
// the step its controller reports and takes commands in (whole degrees on a
// GS-232, tenths on EasyComm II, hundredths through the dummy), the dead band
// it stops in short of a target, whether its controller rounds a command to
// its step or cuts it down, and how fast each axis turns. Given on the
// command line (--resolution, --deadband) they are taken as they are.
//
// One feeder, the owner of the rotctld conversation, tells it of every
// reading and every P accepted, whoever sent them, before anyone else hears
// of them: every user of the profile sees what the latest reading taught.
//
// The step is the coarsest of 1°, 0.5°, 0.2°, 0.1°, 0.05° and 0.01° that every
// reading seen while the rotator moves lies on; until ten different values
// have been seen it is not known and taken as 0.01° (P's hundredths). The dead
// band is the largest shortfall seen at a stop, less half the step, up to 2°
// (beyond that a rotator has stalled, not stopped in its dead band).
//
// "Arrived" for this rotator is as near as it will get: within half its step
// plus its dead band of the target as its controller rounds it.
//
// Times are seconds of any clock; positions are the rotator's own terms.

#include "companions/rotator/RotatorPosition.h"
#include "companions/rotator/RotatorReading.h"

#include <optional>
#include <set>

namespace heliotrope::rotator {

class RotatorProfile {
public:
    RotatorProfile(std::optional<double> givenStep = std::nullopt, std::optional<double> givenDeadBand = std::nullopt);

    // rotctld answered a P: `sent` as it went on the line when accepted;
    // nothing when refused, after which where the rotator is bound is not
    // known (a controller that timed out may have taken the P all the same).
    void commanded(const std::optional<RotatorPosition>& sent);
    // A reading of the rotator at `seconds`; afterCommand: asked for once
    // the latest P had been answered. Such readings alike for the still span:
    // the rotator has stopped, and where against the P tells its dead band
    // and whether its controller rounds or cuts.
    void reading(const RotatorPosition& position, double seconds, bool afterCommand = false);
    // The rotator has stopped at `position` after being sent `commanded`.
    void stopped(const RotatorPosition& position, const RotatorPosition& commanded);

    // Degrees: the step, once known (or given).
    std::optional<double> step() const { return m_step; }
    double stepOrFinest() const { return m_step.value_or(kFinestStep); }
    double deadBand() const { return m_deadBand; }
    // How much dead band may hide where the readings cannot show it: up to
    // half the step when none was given and none seen (a whole-degree
    // controller that stops 0.4° short reads the degree it was sent); none
    // when it was given, or seen.
    double unseenDeadBand() const { return m_deadBandGiven || m_deadBand > 0 ? 0 : stepOrFinest() / 2; }
    // Given on the command line, so known exactly; otherwise learnt, and
    // known only as well as the readings it was learnt from.
    bool deadBandGiven() const { return m_deadBandGiven; }
    // Half the step plus the dead band: nearer than this it will not get
    // (and a thousandth for the last digit of its readings).
    double reach() const { return stepOrFinest() / 2 + m_deadBand + kLastDigit; }
    // The command as the controller takes it: each axis rounded to the step.
    RotatorPosition rounded(const RotatorPosition& command) const;
    // The same, cut down to the step instead once a stop has shown that the
    // controller cuts (SPID's do).
    RotatorPosition taken(const RotatorPosition& command) const;
    // Each axis cut down to the step, however the controller takes it.
    RotatorPosition cutDown(const RotatorPosition& command) const;
    // Whether a rotator reading `reading` has come as near to `command` as it
    // will: each axis within half the step plus the dead band of the command
    // as the controller takes it, rounded to the nearest step or cut down to
    // it (SPID's controllers cut).
    bool within(const RotatorPosition& reading, const RotatorPosition& command) const;
    // Two commands the controller would take as one.
    bool sameCommand(const RotatorPosition& a, const RotatorPosition& b) const;
    // How long readings must stay alike before the rotator counts as
    // standing still, seconds: half again the time the slower axis takes to
    // turn a step, and a second at least.
    double stillSpan() const;
    // The fastest each axis has been seen to turn, degrees a second.
    std::optional<double> azimuthRate() const { return m_azimuthRate; }
    std::optional<double> elevationRate() const { return m_elevationRate; }

    static constexpr double kFinestStep = 0.01;
    static constexpr double kLastDigit = 0.001;
    static constexpr double kLargestDeadBand = 2.0;

private:
    void learnFrom(const RotatorPosition& position, double seconds);
    void learnStep();

    std::optional<double> m_step;
    bool m_stepGiven = false;
    double m_deadBand = 0;
    bool m_deadBandGiven = false;
    std::set<long long> m_valuesSeen;       // readings in millionths of a degree, both axes
    std::optional<bool> m_cuts;             // the controller cuts commands down to its step, rather than rounding them
    std::optional<RotatorPosition> m_sent;  // the latest P accepted
    Stillness m_sinceCommand;               // the readings after it
    std::optional<RotatorPosition> m_last;
    double m_lastSeconds = 0;
    std::optional<double> m_azimuthRate;
    std::optional<double> m_elevationRate;
};

}  // namespace heliotrope::rotator
