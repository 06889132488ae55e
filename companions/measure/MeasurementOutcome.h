#pragma once

// How a measurement on the sun ended, whichever run it was: the one value the
// bridge, the asking command and the record act on. It carries a reason, not
// a sentence: what the reason means, which kind of ending it is and which
// RPRT code the socket answers with are the table's in OutcomeMessages, once.

#include <QString>

namespace heliotrope::measure {

enum class OutcomeReason {
    // A result
    Found,            // a calibration's offsets saved, a sun-noise run's Y kept
    FoundOverTheTop,  // a scan over the top: kept in the record for the pointing model only
    // No result: measured, or begun, and ended without one to keep
    NotFound,                 // measured to the end; the fit found nothing it could trust
    NotSaved,                 // found, but not saved: the clock, or the settings file
    NoRepeatMeasured,         // a sun-noise run whose every repeat failed
    Interrupted,              // the operator ended it: Ctrl+C, a stow, a stop, a cancel
    InterruptedBeforeMoving,  // the same, while the power was still being read
    Stopped,                  // it could not go on: rotctld lost, the rotator not settling, the power failing
    // Refused: never began, nothing was commanded, the rotator never moved
    SunTooLow,         // below the lowest elevation measured at: a skip, not a fault
    SunUnknown,        // the sun cannot be computed for the date
    BeyondLimits,      // the pattern, the sun or the cold sky beyond the rotator's limits
    PowerUnusable,     // the power source cannot be made or read
    OutputUnwritable,  // the file the points were to be written to cannot be opened
};

struct MeasurementOutcome {
    enum class Kind {
        Result,
        NoResult,
        Refused,
    };

    OutcomeReason reason = OutcomeReason::NotFound;
    // The particulars and figures said after the reason's words (which
    // limit, the sun's elevation, the power source's own answer): a message
    // of its own, Japanese then English; empty where the reason says it all.
    QString detail;

    Kind kind() const;
    bool found() const { return kind() == Kind::Result; }
    bool overTheTop() const { return reason == OutcomeReason::FoundOverTheTop; }
};

}  // namespace heliotrope::measure
