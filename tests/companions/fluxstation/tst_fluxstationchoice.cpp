// Which station a day's flux stands on, from a real record: only a run of
// the station's own on a typed-flux day gives a scale, the latest by the
// instant asked at the frequency asked; none invented without one.

#include "../support/SimulatedFluxDay.h"

#include <QTemporaryDir>
#include <QTest>

using namespace heliotrope;
using namespace heliotrope::fluxstation;
using record::FluxSource;

class TestFluxStationChoice : public QObject {
    Q_OBJECT

private slots:
    void theLatestTypedRunOfTheStationsOwnIsTheScale()
    {
        QTemporaryDir dir;
        record::StationRecord record(dir.filePath(QStringLiteral("station.sqlite")));
        QVERIFY(record.open());
        const double morning = simulated::utcAt(9, 0);
        // Typed at 09:00; assumed and a rehearsal later; another frequency later still.
        QVERIFY(record.addSunNoise(simulated::run(morning, 13.0, FluxSource::TypedForTheDay)));
        QVERIFY(record.addSunNoise(simulated::run(morning + 3600, 15.0, FluxSource::Assumed)));
        record::RecordedSunNoise rehearsal = simulated::run(morning + 5400, 16.0, FluxSource::TypedForTheDay);
        rehearsal.clockOffsetSeconds = 3600;
        QVERIFY(record.addSunNoise(rehearsal));
        QVERIFY(record.addSunNoise(simulated::run(morning + 7200, 5.0, FluxSource::TypedForTheDay, 2800)));
        QVERIFY(record.addSunNoise(simulated::run(morning + 7300, 5.0, FluxSource::TypedForTheDay, 20000)));

        FluxStationAsk ask{simulated::utcAt(16, 0), simulated::kBeam, simulated::kFrequency, 0.05};
        FluxStationChoice choice = chooseFluxStation(record, ask);
        QVERIFY2(choice.station, qPrintable(choice.source));
        QCOMPARE(*choice.run->gOverTDecibelsPerKelvin, 13.0);
        QCOMPARE(choice.station->frequencyMegahertz, simulated::kFrequency);
        QCOMPARE(choice.station->beamwidthDegrees, simulated::kBeam);
        QCOMPARE(choice.station->pointingErrorDegrees, 0.05);
        // The run's own G/T turned into SFU per Y − 1, its error at least the typed flux's.
        flux::GOverTCalibration gt{13.0, 0, choice.runSunElevationDegrees, true, std::nullopt, 0};
        QVERIFY(std::abs(choice.station->scale.sfuPerY / flux::scaleFromGOverT(gt, simulated::kFrequency).scale->sfuPerY - 1) < 1e-12);
        QVERIFY(choice.station->scale.relativeError >= kTypedFluxRelativeError * 0.99 && choice.station->scale.relativeError < 0.1);
        // The sun at 09:00 JST in December over Tokyo: low in the south-east.
        QVERIFY(choice.runSunElevationDegrees > 10 && choice.runSunElevationDegrees < 25);
        QVERIFY(choice.station->air.zenithOpacity > 0);
        QVERIFY2(choice.source.contains(QStringLiteral("2026-12-10 00:00 UTC")) && choice.source.contains(QStringLiteral("13.00")),
                 qPrintable(choice.source));

        // Without a frequency the latest typed run of any: 20 GHz, beyond the typical air.
        ask.frequencyMegahertz.reset();
        choice = chooseFluxStation(record, ask);
        QCOMPARE(choice.refusal, ChoiceRefusal::FrequencyOutsideAir);
        QVERIFY(!choice.station);
        // Within 1 % of 2800 MHz the 2800 MHz run serves; 3 % off, none does.
        ask.frequencyMegahertz = 2820;
        QCOMPARE(*chooseFluxStation(record, ask).run->frequencyMegahertz, 2800.0);
        ask.frequencyMegahertz = 2900;
        QCOMPARE(chooseFluxStation(record, ask).refusal, ChoiceRefusal::NoTypedRun);

        // Before the typed run: none, and said.
        ask = {morning - 1, simulated::kBeam, simulated::kFrequency, 0};
        choice = chooseFluxStation(record, ask);
        QCOMPARE(choice.refusal, ChoiceRefusal::NoTypedRun);
        QVERIFY(!choice.station && choice.source.contains(QStringLiteral("No flux scale")));
        // No beam, no station.
        for (const double beam : {0.0, -1.0, std::nan("")})
            QCOMPARE(chooseFluxStation(record, {ask.atUtc + 86400, beam, std::nullopt, 0}).refusal, ChoiceRefusal::BadFigures);
    }

    // The three kinds stand together: the latest of any at or before the
    // instant, at the frequency, the station's own; a system temperature's
    // scale is 2 k Tsys / Ae with the efficiency's error carried.
    void theLatestCalibrationOfAnyKindIsTheScale()
    {
        QTemporaryDir dir;
        record::StationRecord record(dir.filePath(QStringLiteral("station.sqlite")));
        QVERIFY(record.open());
        const double morning = simulated::utcAt(9, 0);
        const auto measured = [](double utc, record::SystemTemperatureKind kind, double kelvin, double frequency = simulated::kFrequency) {
            record::RecordedSystemTemperature run;
            run.utc = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(utc * 1000), QTimeZone::utc());
            run.site = simulated::kTokyo;
            run.kind = kind;
            run.found = true;
            run.frequencyMegahertz = frequency;
            run.dishDiameterMetres = 3;
            run.efficiency = 0.5;
            run.efficiencyError = 0.05;
            run.coldElevation = 30;
            run.systemKelvin = record::Measured{kelvin, kelvin * 0.02};
            run.programVersion = QStringLiteral("0.1.0");
            return run;
        };
        QVERIFY(record.addSystemTemperature(measured(morning - 3600, record::SystemTemperatureKind::HotCold, 100)));
        QVERIFY(record.addSunNoise(simulated::run(morning, 13.0, FluxSource::TypedForTheDay)));
        QVERIFY(record.addSystemTemperature(measured(morning + 3600, record::SystemTemperatureKind::NoiseSource, 120)));
        record::RecordedSystemTemperature rehearsal = measured(morning + 5400, record::SystemTemperatureKind::HotCold, 200);
        rehearsal.clockOffsetSeconds = 3600;
        QVERIFY(record.addSystemTemperature(rehearsal));
        QVERIFY(record.addSystemTemperature(measured(morning + 7200, record::SystemTemperatureKind::HotCold, 300, 2800)));
        record::RecordedSystemTemperature failed = measured(morning + 7300, record::SystemTemperatureKind::HotCold, 400);
        failed.found = false;
        QVERIFY(record.addSystemTemperature(failed));

        const auto chosenAt = [&record](double utc) { return chooseFluxStation(record, {utc, simulated::kBeam, simulated::kFrequency, 0}); };
        FluxStationChoice choice = chosenAt(morning - 1);
        QVERIFY2(choice.station && choice.station->scale.kind == flux::ScaleKind::HotCold, qPrintable(choice.source));
        QCOMPARE(*choice.station->scale.systemTemperatureKelvin, 100.0);
        QVERIFY(choice.source.contains(QStringLiteral("hot/cold")) && choice.source.contains(QStringLiteral("ホット・コールド")));
        QCOMPARE(chosenAt(morning + 1).station->scale.kind, flux::ScaleKind::GOverT);
        choice = chosenAt(simulated::utcAt(16, 0));
        QVERIFY2(choice.station && choice.station->scale.kind == flux::ScaleKind::NoiseSource, qPrintable(choice.source));
        QCOMPARE(*choice.station->scale.systemTemperatureKelvin, 120.0);
        QVERIFY(choice.source.contains(QStringLiteral("noise source")) && choice.source.contains(QStringLiteral("120.0 ± 2.4 K")));
        const flux::Aperture aperture{3, 0.5, 0.05};
        const flux::ScaleResult expected = flux::scaleFromSystemTemperature(flux::ScaleKind::NoiseSource, 120, 0.02, aperture, 30);
        QVERIFY(std::abs(choice.station->scale.sfuPerY / expected.scale->sfuPerY - 1) < 1e-12);
        QVERIFY(std::abs(choice.station->scale.relativeError - std::hypot(0.02, 0.1)) < 1e-12);
    }

    void theTransitIsTheSunsHighestOfTheJstDay()
    {
        // Tokyo, 10 December: 139.77° E is 19 minutes before 135° E, and the
        // equation of time puts the sun 7 minutes early: 11:34 JST.
        const double transit = sunTransitUtc(simulated::kDay, simulated::kTokyo);
        QVERIFY2(std::abs(transit - simulated::utcAt(11, 34)) < 90, qPrintable(QString::number(transit - simulated::utcAt(11, 34))));
    }
};

QTEST_GUILESS_MAIN(TestFluxStationChoice)
#include "tst_fluxstationchoice.moc"
