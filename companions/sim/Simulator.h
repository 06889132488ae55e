#pragma once

// heliotrope-sim at work: pointing messages in, a slewing antenna, position
// reports out at a fixed interval to the latest message's sender, and one line
// for the operator per change of set-point.
//
// The antenna is the serial controllers' rotator with no dead band: two axes
// turning towards the set-point at fixed rates, each on its own, stopping on
// it. Azimuth turns within 0 to 360 like the most common rotators, which have
// their stop at north: from 300 to 60 it turns back through south, never
// across north.

#include "companions/common/PointingReceiver.h"
#include "companions/common/ShiftedClock.h"
#include "companions/controllers/DeadBandRotator.h"
#include "companions/sim/SimulatorOptions.h"

#include <QObject>
#include <QTimer>

#include <optional>

namespace heliotrope::sim {

// Degrees: azimuth from north through east, elevation above the horizon.
using AntennaAngles = controllers::ControllerAngles;

class Simulator : public QObject {
    Q_OBJECT

public:
    explicit Simulator(const SimulatorOptions& options, QObject* parent = nullptr);

    // Binds the listening socket and starts the report timer; false with the
    // reason in Japanese when the socket cannot be bound.
    bool start(QString* problem);
    quint16 localPort() const { return m_receiver.localPort(); }
    companions::PointingReceiver::Counts receivedCounts() const { return m_receiver.counts(); }

    AntennaAngles position();

signals:
    // A line for the operator's terminal: progress (silenced by --quiet) or a
    // rejected message (always shown).
    void progress(const QString& line);
    void problem(const QString& line);

private:
    void onSetPoint(const companions::SetPoint& setPoint);
    void sendReport();
    long long nowMs() const { return m_clock.elapsed(); }

    SimulatorOptions m_options;
    companions::PointingReceiver m_receiver;
    companions::CompanionElapsedTimer m_clock;  // the antenna turns on the companions' time
    controllers::DeadBandRotator m_antenna;
    std::optional<companions::SetPoint> m_setPoint;  // none before the first message
    QTimer m_reportTimer;
};

}  // namespace heliotrope::sim
