#pragma once

// heliotrope-radiometer-sim's command line.

#include "companions/common/OptionValues.h"
#include "companions/pointing/PointingModel.h"
#include "companions/radiometer/RadiometerPhysics.h"
#include "companions/radiometer/SunBeamModel.h"
#include "companions/sky/TrueSun.h"
#include "companions/sunflux/SunFlux.h"

#include <QHostAddress>
#include <QStringList>

#include <optional>

namespace heliotrope::radiometer {

struct RadiometerOptions {
    heliotrope::radiometer::SunBeam beam;
    // The mount's errors: the beam points where such a mount points for the
    // rotator's reading (then off by the beam's constant error on top).
    heliotrope::pointing::MountModel mount;
    // The receiver in physical units, when any of its options is given;
    // otherwise the sun's rise in dB over a baseline in dB (beam.peak,
    // beam.baseline), as for the calibration's scans.
    std::optional<PhysicalModel> physical;
    // The sun's true flux for the physical model: the file's history, or the
    // quiet sun given with bursts drawn from `bursts` around the clock's now.
    heliotrope::sunflux::FluxHistory flux;
    std::optional<heliotrope::sunflux::BurstGenerator> bursts;
    // An absorber over the feed and a noise source switched on, each while
    // its file exists, so that a test (or an operator rehearsing) can put
    // them on and off from outside as a real station's hands and relays do.
    QString absorberFile;
    double absorberKelvin = 293;
    QString noiseSourceFile;
    double noiseSourceEnrDecibels = 5;
    bool kelvin = false;          // with once and the physical model: the reading in kelvin, not dBm
    double noise = 0.1;           // dB, standard deviation of the Gaussian noise on each reading
    std::optional<quint64> seed;  // none: a different sequence every run
    heliotrope::sky::Site site;
    QString rotctldHost = QStringLiteral("127.0.0.1");
    quint16 rotctldPort = 4533;
    // Where the dish really points, written by heliotrope-sim --serial
    // --antenna-file; empty: the rotator's reading through rotctld.
    QString antennaFile;
    bool once = false;  // print one reading and exit
    QHostAddress listenAddress{QHostAddress::LocalHost};
    quint16 rigctldPort = 4532;     // with once false: where to answer as rigctld (0: any free port)
    double clockOffsetSeconds = 0;  // added to the system's UTC (a testing aid)
};

companions::CommandLine<RadiometerOptions> parseRadiometerCommandLine(const QStringList& arguments);

}  // namespace heliotrope::radiometer
