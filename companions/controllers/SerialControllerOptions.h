#pragma once

// How heliotrope-sim runs as a controller on a serial line (--serial).

#include "companions/controllers/ControllerDialogue.h"
#include "companions/controllers/ControllerModel.h"

#include <QString>

namespace heliotrope::controllers {

struct SerialControllerOptions {
    ControllerModel model;  // the shipped model, its resolution maybe overridden
    MotionSettings motion;
    QString linkPath;                         // a symbolic link to the device, or empty
    QString commandLogPath;                   // the CSV of set-point commands, or empty
    QString antennaFilePath;                  // where the dish really points, for a simulated radiometer, or empty
    double silenceAfterS = -1;                // the line goes silent this long after start; < 0 never
    double silenceForS = -1;                  // and speaks again this long after; < 0 not by itself
    RotatorFault fault = RotatorFault::None;  // the rotator fails so this long after start
    double failAfterS = -1;                   // < 0 never
    double failForS = -1;                     // and works again this long after; < 0 not by itself
    bool verbose = false;                     // the dialogue, one line per message, on stderr
    bool quiet = false;                       // no line per change of target
};

}  // namespace heliotrope::controllers
