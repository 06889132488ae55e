#pragma once

// The simulated radiometer at work: each reading asks rotctld where the
// antenna points (p), computes the true sun for that moment and answers the
// power the beam would receive, with noise. Read either through rigctld's
// protocol (serve) or once (readOnce).
//
// rotctld is read synchronously, with a time limit of a second: a reading is
// one short exchange on loopback, and a simulator serving one client at a time
// has nothing else to do meanwhile.

#include "companions/common/ShiftedClock.h"
#include "companions/radiometer/RadiometerOptions.h"

#include <QObject>
#include <QTcpServer>

#include <optional>
#include <random>

class QTcpSocket;

namespace heliotrope::radiometer {

struct AntennaReading {
    double azimuth = 0;  // degrees, as rotctld reports it
    double elevation = 0;
};

class Radiometer : public QObject {
    Q_OBJECT

public:
    Radiometer(const RadiometerOptions& options, companions::UtcClock clock, QObject* parent = nullptr);

    // One reading in dB (the physical model: the detector's dBm, or kelvin
    // when the options ask for it), or nothing and the reason in Japanese and English.
    std::optional<double> read(QString* problem);

    // Answers as rigctld on the options' address and port; false with the reason.
    bool serve(QString* problem);
    quint16 servingPort() const { return m_server.serverPort(); }

signals:
    void notice(const QString& line);

private:
    std::optional<AntennaReading> readRotator(QString* problem);
    double physicalPower(const heliotrope::pointing::Direction& beam, const heliotrope::sky::TrueSunPosition& sun);
    void onNewConnection();
    void answer(QTcpSocket* client, const QByteArray& line);

    RadiometerOptions m_options;
    companions::UtcClock m_clock;
    std::mt19937_64 m_random;
    std::normal_distribution<double> m_noise;
    // The physical model's draws (bursts, spikes): the seed alone, never the
    // moment, so that programs started one per reading see the same sun.
    quint64 m_skySeed = 0;
    QTcpSocket* m_rotctld = nullptr;
    QTcpServer m_server;
};

}  // namespace heliotrope::radiometer
