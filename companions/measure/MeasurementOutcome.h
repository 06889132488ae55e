#pragma once

// How a measurement on the sun ended, whichever run it was: the one value the
// bridge, the asking command and the record act on.

#include <QString>

namespace heliotrope::measure {

struct MeasurementOutcome {
    enum class Kind {
        Result,    // found, and what is kept of it kept: a calibration's offsets saved, a sun-noise run's Y
        NoResult,  // measured, or begun, and ended without a result to keep
        Refused,   // never began: nothing was commanded, the rotator never moved
    };
    Kind kind = Kind::NoResult;
    QString reason;  // why not, Japanese, newline, English; empty with a result
    // A calibration taken over the top: its result is kept in the station's
    // record for the pointing model only, never saved or pointed with.
    bool overTheTop = false;

    bool found() const { return kind == Kind::Result; }
};

}  // namespace heliotrope::measure
