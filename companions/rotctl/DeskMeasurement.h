#pragma once

// A measurement the running bridge makes when asked over its request socket:
// the calibration or the sun-noise run, on the bridge's own rotctld
// connection, with what is done with its outcome. One narrow door, so that
// the desk sees a measurement as a thing that says, progresses and ends.

#include "companions/rotctl/BridgeOptions.h"
#include "companions/station/StationProtocol.h"

#include <QObject>
#include <QString>

#include <memory>

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
    // Ok: a result found and saved; NoResult: none (refused, ended early, cancelled).
    void finished(heliotrope::station::StationCode code);
};

// Starts the calibration or sun-noise run `asked` holds on the bridge's
// rotator. Nothing, with the reason in Japanese and English, when it cannot
// begin at all (a power source that cannot be made). finished() may come
// before this returns: connect to it queued.
std::unique_ptr<DeskMeasurement> startMeasurement(const BridgeOptions& asked, Bridge& bridge, QString* problem);

}  // namespace heliotrope::rotctl
