#pragma once

// A measurement the bridge makes, whoever asked for it (its own command line
// or a command over its request socket): the calibration or the sun-noise
// run, single or a series, on the bridge's own rotctld connection, with what
// is done with its outcome. One narrow door, so that the desk sees a
// measurement as a thing that says, progresses and ends, and every
// measurement is the desk's to end for a stow or a stop.

#include "companions/measure/MeasurementSession.h"
#include "companions/rotctl/bridge/RunOptions.h"
#include "companions/station/StationProtocol.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace heliotrope::rotctl {

class Bridge;

class DeskMeasurement : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    // Ends the run early; finished() follows.
    virtual void cancel() = 0;

signals:
    void notice(const QString& line);
    // A finding the operator must not miss (the station's health).
    void warning(const QString& line);
    void progress(const QString& line);
    // A scan's result kept (a calibration's offsets saved): in a series, one
    // for each scan that found one, so that each is pointed with at once.
    void resultKept();
    // The code the outcome's reason answers with (its words already said).
    void finished(heliotrope::station::StationCode code);
};

// The measurement `asked` holds, as a session takes it, once it is known to
// be able to begin: checked here alone, for the command line and the socket
// alike, before the rotator is borrowed (or, for the command line, before
// rotctld is touched). Nothing, with the reason in Japanese and English, for
// options that ask no measurement or a power source that cannot be made.
std::optional<measure::MeasurementRequest> checkedMeasurement(const RunOptions& asked, QString* problem);

// Starts a checked measurement on the bridge's rotator. finished() may come
// before this returns: connect to it queued.
std::unique_ptr<DeskMeasurement> startMeasurement(const measure::MeasurementRequest& request, Bridge& bridge);

}  // namespace heliotrope::rotctl
