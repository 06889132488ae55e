// The physical radiometer against the project's own sun-noise arithmetic: the
// Y its kelvin make on the sun is the Y the sun-noise run expects of such a
// station; and the same spikes and bursts whenever one starts looking.

#include "companions/radiometer/RadiometerPhysics.h"
#include "companions/sunnoise/SunNoise.h"

#include <QTest>

#include <cmath>

using namespace heliotrope::radiometer;

class TestRadiometerPhysics : public QObject {
    Q_OBJECT

private slots:
    void theSunsYIsTheSunNoiseArithmetics();
    void spikesAndBurstsDoNotDependOnWhenOneLooks();
};

void TestRadiometerPhysics::theSunsYIsTheSunNoiseArithmetics()
{
    PhysicalModel model;
    model.receiverKelvin = 45;
    model.zenithSkyKelvin = 12;
    model.frequencyMegahertz = 2800;
    model.dishDiameterMetres = 3;
    model.efficiency = 0.6;
    for (const double elevation : {60.0, 25.0}) {
        const Sight onSun{1.75e9, 170, elevation, 170, elevation, 135};
        Sight cold = onSun;
        cold.beamAzimuth += 40;
        const PhysicalReading on = physicalReading(model, onSun, 150, 1);
        const PhysicalReading off = physicalReading(model, cold, 150, 1);
        QCOMPARE(on.systemKelvin, off.systemKelvin);
        QCOMPARE(off.sunKelvin, 0.0);
        // The flux the dish receives is the sun's through the air on its way.
        const heliotrope::sunnoise::Station station{150 * airTransmission(model, elevation), 2800, 3, 0.6};
        const double expected = heliotrope::sunnoise::expectedYDecibels(station, off.systemKelvin);
        QVERIFY2(std::abs((on.detectorDbm - off.detectorDbm) - expected) < 1e-9, qPrintable(QString::number(expected)));
        QVERIFY(std::abs(10 * std::log10(on.kelvin / off.kelvin) - expected) < 1e-9);
        // Half a beamwidth off, half the sun.
        Sight half = onSun;
        half.beamElevation += beamwidthDegrees(model) / 2;
        QVERIFY(std::abs(physicalReading(model, half, 150, 1).sunKelvin / on.sunKelvin - 0.5) < 1e-3);
    }
    // Lower, the air's path and the ground's spill add to the system's noise.
    QVERIFY(systemKelvin(model, 5, 0) > systemKelvin(model, 30, 0) + 20);
    QVERIFY(systemKelvin(model, -3, 0) > 200);
}

void TestRadiometerPhysics::spikesAndBurstsDoNotDependOnWhenOneLooks()
{
    const Spikes spikes{30, 2, 10};
    int on = 0;
    for (double t = 1.75e9; t < 1.75e9 + 10 * 3600; t += 0.5)
        on += spikeAt(spikes, 9, t);
    // 30 an hour of 2 s: 1.7 % of the time, 600 spikes in ten hours.
    QVERIFY2(std::abs(on / 72000.0 - 30 * 2 / 3600.0) < 0.004, qPrintable(QString::number(on)));

    heliotrope::sunflux::BurstGenerator generator;
    generator.burstsPerDay = 5;
    const auto early = burstsForDays(generator, 9, 1.75e9, 1.75e9 + 30 * 86400);
    const auto late = burstsForDays(generator, 9, 1.75e9 + 10 * 86400, 1.75e9 + 20 * 86400);
    QVERIFY(late.size() > 20);
    const auto same = std::find_if(early.begin(), early.end(), [&](const auto& b) { return b.startUtc == late.front().startUtc; });
    QVERIFY(same != early.end() && same->peakSfu == late.front().peakSfu);
}

QTEST_APPLESS_MAIN(TestRadiometerPhysics)
#include "tst_radiometerphysics.moc"
