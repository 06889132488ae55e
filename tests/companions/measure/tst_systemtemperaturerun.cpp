// The system temperature measured on cold sky, end to end: Hamlib's real
// rotctld driving heliotrope-sim as an EasyComm II controller, and the
// simulated radiometer in physical units read as a command, its absorber
// over the feed and its noise source on while their files exist. The
// radiometer's hidden truth on cold sky is the receiver, the sky by
// elevation and the spillover (radiometer/RadiometerPhysics.h); the run
// must find it within the error it states, keep it in the station's
// record, and the flux scale stand on it, the latest kind chosen.

#include "ProgramRun.h"
#include "SerialRotator.h"
#include "StationHome.h"
#include "TestTimeScale.h"

#include "companions/fluxstation/FluxStationChoice.h"
#include "companions/measure/FeedSteps.h"
#include "companions/measure/MeasurementSession.h"
#include "companions/radiometer/RadiometerPhysics.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/bridge/Bridge.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cmath>
#include <memory>

using namespace heliotrope::measure;
using namespace heliotrope::rotctl;
namespace record = heliotrope::record;

class TestSystemTemperatureRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void hotColdThenNoiseSourceFindTheHiddenTruthAndTheLatestIsTheScale();
    void aFailedSwitchEndsTheRunWithTheSourceOff();
    void theProgramAsksTheOperatorStepByStepAtTheTerminal();
    void theNoiseSourceIsAskedOfTheRunningBridgeAndHotColdIsNot();
};

namespace {

constexpr double kTimeScale = 20;
constexpr int kRunWaitMs = 120000;
const heliotrope::sky::Site kHachioji{35.6581, 139.3383, 120};
// North, where the sun never stands at this latitude: no sun in the beam at any hour.
constexpr double kColdAzimuth = 10;
constexpr double kColdElevation = 45;
constexpr double kAbsorberKelvin = 293;
constexpr double kEnrDecibels = 5;

// The radiometer's own defaults: 60 K receiver, 8 K zenith sky, 3 % spillover, 1.2 m at 10368 MHz.
QString radiometerCommand(quint16 rotctldPort, const QString& absorber, const QString& source)
{
    return QStringLiteral("%1 --once --site 35.6581,139.3383,120 --rotctld 127.0.0.1:%2 --receiver-temperature 60 --noise 0.02 "
                          "--absorber-file %3 --absorber-temperature %4 --noise-source-file %5 --noise-source-enr %6")
        .arg(QStringLiteral(HELIOTROPE_RADIOMETER_PATH))
        .arg(rotctldPort)
        .arg(absorber)
        .arg(kAbsorberKelvin)
        .arg(source)
        .arg(kEnrDecibels);
}

double hiddenTruthKelvin()
{
    return heliotrope::radiometer::systemKelvin(heliotrope::radiometer::PhysicalModel{}, kColdElevation, 0);
}

// The operator's hands on the absorber: the file made and taken away.
class AbsorberByHand : public FeedSteps {
public:
    explicit AbsorberByHand(QString file)
        : m_file(std::move(file))
    {
    }
    void take(Step step) override
    {
        QFile file(m_file);
        if (step == Step::Raise && !file.open(QIODevice::WriteOnly))
            qWarning("cannot make %s", qPrintable(m_file));
        else if (step == Step::Lower)
            file.remove();
        QTimer::singleShot(0, this, [this] { emit taken(); });
    }
    void abandon(bool) override { QFile::remove(m_file); }

private:
    QString m_file;
};

SystemTemperatureOptions coldSkyOptions(SystemTemperatureMethod method)
{
    SystemTemperatureOptions options;
    options.method = method;
    options.coldAzimuth = kColdAzimuth;
    options.coldElevation = kColdElevation;
    options.frequencyMegahertz = 10368;
    options.dishDiameterMetres = 1.2;
    return options;
}

struct Station {
    SerialRotator rotator;
    QTemporaryDir dir;
    std::unique_ptr<Bridge> bridge;

    QString path(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    bool start() { return startRotator() && startBridge(); }
    bool startRotator()
    {
        return rotator.start(QStringLiteral("easycomm2"), {QStringLiteral("--az-rate"), QStringLiteral("6"), QStringLiteral("--el-rate"), QStringLiteral("6"), QStringLiteral("--deadband"), QStringLiteral("0")},
                             kTimeScale);
    }
    bool startBridge()
    {
        BridgeOptions options;
        options.port = 0;
        options.rotctldPort = rotator.port();
        options.pollIntervalMs = 250;
        bridge = std::make_unique<Bridge>(options);
        QString problem;
        return bridge->start(&problem);
    }
    // One run to its end; its notices, for a failure's message.
    MeasurementOutcome run(const SystemTemperatureOptions& options, const FeedStepsMaker& steps, QString* said)
    {
        MeasurementRequest request;
        request.run = options;
        request.feedSteps = steps;
        request.site = kHachioji;
        request.measurement.dwellSeconds = 40;
        request.measurement.power.kind = heliotrope::power::PowerSourceChoice::Kind::Command;
        request.measurement.power.command = radiometerCommand(rotator.port(), path("absorber"), path("source"));
        request.recordPath = path("station.sqlite");
        MeasurementSession session(*bridge, request, heliotrope::companions::shiftedUtcClock(0));
        QStringList lines;
        QObject::connect(&session, &MeasurementSession::notice, [&lines](const QString& line) { lines << line; });
        bool ended = false;
        QObject::connect(&session, &MeasurementSession::finished, [&ended] { ended = true; });
        session.start();
        QElapsedTimer waited;
        waited.start();
        while (!ended && waited.elapsed() < kRunWaitMs)
            QTest::qWait(20);
        *said = lines.join(QLatin1Char('\n'));
        return session.outcome();
    }
    std::vector<record::RecordedSystemTemperature> kept() const
    {
        record::StationRecord station(path("station.sqlite"));
        return station.open() ? station.systemTemperatures() : std::vector<record::RecordedSystemTemperature>{};
    }
};

heliotrope::fluxstation::FluxStationChoice chosenNow(const Station& station)
{
    record::StationRecord kept(station.path("station.sqlite"));
    if (!kept.open())
        return {};
    heliotrope::fluxstation::FluxStationAsk ask;
    ask.atUtc = heliotrope::companions::companionUtc() + 60;
    ask.beamwidthDegrees = 1.69;
    ask.frequencyMegahertz = 10368;
    return heliotrope::fluxstation::chooseFluxStation(kept, ask);
}

}  // namespace

void TestSystemTemperatureRun::initTestCase()
{
    static const TestTimeScale time(kTimeScale);
    QString problem;
    QVERIFY2(heliotrope::companions::takeTimeScaleFromEnvironment(&problem), qPrintable(problem));
    if (RotctldProcess::program().isEmpty())
        QSKIP("rotctld (Debian package libhamlib-utils) is not installed");
}

void TestSystemTemperatureRun::hotColdThenNoiseSourceFindTheHiddenTruthAndTheLatestIsTheScale()
{
    Station station;
    QVERIFY(station.start());
    const double truth = hiddenTruthKelvin();

    // Hot/cold, the operator's estimate of the cold sky's antenna temperature 1 K off, stated ± 3 K.
    SystemTemperatureOptions hotCold = coldSkyOptions(SystemTemperatureMethod::HotCold);
    hotCold.ambientKelvin = kAbsorberKelvin;
    hotCold.ambientErrorKelvin = 1;
    hotCold.coldSkyKelvin = truth - 60 + 1;
    hotCold.coldSkyErrorKelvin = 3;
    const QString absorber = station.path("absorber");
    QString said;
    MeasurementOutcome outcome = station.run(
        hotCold, [absorber](const SystemTemperatureOptions&) { return std::make_unique<AbsorberByHand>(absorber); }, &said);
    QVERIFY2(outcome.found(), qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("Tsys = ")) && said.contains(QStringLiteral("システム雑音温度")), qPrintable(said));
    std::vector<record::RecordedSystemTemperature> kept = station.kept();
    QCOMPARE(kept.size(), std::size_t{1});
    QVERIFY(kept[0].found && kept[0].systemKelvin && kept[0].coldBefore && kept[0].raised && kept[0].coldAfter);
    const record::Measured hot = *kept[0].systemKelvin;
    QVERIFY2(std::fabs(hot.value - truth) <= hot.error,
             qPrintable(QStringLiteral("hot/cold Tsys %1 ± %2 K, truth %3 K").arg(hot.value).arg(hot.error).arg(truth)));
    qInfo("hot/cold: Tsys %.2f ± %.2f K, truth %.2f K, drift %.3f %%", hot.value, hot.error, truth, 100 * kept[0].coldDrift.value_or(0));
    heliotrope::fluxstation::FluxStationChoice choice = chosenNow(station);
    QVERIFY2(choice.station, qPrintable(choice.source));
    QCOMPARE(choice.station->scale.kind, heliotrope::flux::ScaleKind::HotCold);
    QVERIFY2(choice.source.contains(QStringLiteral("hot/cold")) && choice.source.contains(QStringLiteral("ホット・コールド")), qPrintable(choice.source));
    // The scale's error carries the efficiency's 0.05 of 0.55 with the Tsys's.
    QVERIFY(choice.station->scale.relativeError > 0.05 / 0.55);

    // The noise source by the operator's commands, made later: now the scale.
    SystemTemperatureOptions source = coldSkyOptions(SystemTemperatureMethod::NoiseSource);
    source.sourceOnCommand = QStringLiteral("touch '%1'").arg(station.path("source"));
    source.sourceOffCommand = QStringLiteral("rm -f '%1'").arg(station.path("source"));
    source.enrDecibels = kEnrDecibels;
    outcome = station.run(source, {}, &said);
    QVERIFY2(outcome.found(), qPrintable(said));
    QVERIFY(!QFileInfo::exists(station.path("source")));
    kept = station.kept();
    QCOMPARE(kept.size(), std::size_t{2});
    QVERIFY(kept[1].found && kept[1].systemKelvin && kept[1].kind == record::SystemTemperatureKind::NoiseSource);
    const record::Measured ns = *kept[1].systemKelvin;
    QVERIFY2(std::fabs(ns.value - truth) <= ns.error,
             qPrintable(QStringLiteral("noise source Tsys %1 ± %2 K, truth %3 K").arg(ns.value).arg(ns.error).arg(truth)));
    qInfo("noise source: Tsys %.2f ± %.2f K, truth %.2f K", ns.value, ns.error, truth);
    choice = chosenNow(station);
    QVERIFY2(choice.station, qPrintable(choice.source));
    QCOMPARE(choice.station->scale.kind, heliotrope::flux::ScaleKind::NoiseSource);
    QVERIFY2(choice.source.contains(QStringLiteral("noise source")) && choice.source.contains(QStringLiteral("雑音源")), qPrintable(choice.source));
}

void TestSystemTemperatureRun::aFailedSwitchEndsTheRunWithTheSourceOff()
{
    Station station;
    QVERIFY(station.start());
    // A relay that switched but whose command reports a fault: the run has
    // no result, and the source is not left on to raise every reading after.
    SystemTemperatureOptions source = coldSkyOptions(SystemTemperatureMethod::NoiseSource);
    source.sourceOnCommand = QStringLiteral("touch '%1'; exit 3").arg(station.path("source"));
    source.sourceOffCommand = QStringLiteral("rm -f '%1'").arg(station.path("source"));
    source.enrDecibels = kEnrDecibels;
    QString said;
    const MeasurementOutcome outcome = station.run(source, {}, &said);
    QVERIFY2(!outcome.found() && outcome.reason == OutcomeReason::Stopped, qPrintable(said));
    QVERIFY2(said.contains(QStringLiteral("exit 3")) && said.contains(QStringLiteral("switched off")), qPrintable(said));
    QVERIFY(!QFileInfo::exists(station.path("source")));
    const std::vector<record::RecordedSystemTemperature> kept = station.kept();
    QCOMPARE(kept.size(), std::size_t{1});
    QVERIFY(!kept[0].found && !kept[0].systemKelvin && !kept[0].reason.isEmpty());
    QVERIFY(!chosenNow(station).station);
}

void TestSystemTemperatureRun::theProgramAsksTheOperatorStepByStepAtTheTerminal()
{
    // heliotrope-rotctl --hot-cold as an operator runs it, no bridge running:
    // the prompts on its output, Enter on its input, the absorber put on
    // and taken off in between by the test's hands.
    StationHome home;
    QVERIFY(home.make());
    Station station;
    QVERIFY(station.startRotator());
    const double truth = hiddenTruthKelvin();
    const QString absorber = station.path("absorber");
    Program program({QStringLiteral("--hot-cold"), QStringLiteral("--site"), QStringLiteral("35.6581,139.3383,120"), QStringLiteral("--port"),
                     QStringLiteral("0"), QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:%1").arg(station.rotator.port()),
                     QStringLiteral("--power"), QStringLiteral("command:") + radiometerCommand(station.rotator.port(), absorber, station.path("source")),
                     QStringLiteral("--frequency"), QStringLiteral("10368"), QStringLiteral("--dish-diameter"), QStringLiteral("1.2"),
                     QStringLiteral("--cold"), QStringLiteral("%1,%2").arg(kColdAzimuth).arg(kColdElevation), QStringLiteral("--ambient-temperature"),
                     QString::number(kAbsorberKelvin), QStringLiteral("--ambient-error"), QStringLiteral("1"), QStringLiteral("--cold-sky-temperature"),
                     QString::number(truth - 60 + 1), QStringLiteral("--cold-sky-error"), QStringLiteral("3"), QStringLiteral("--dwell"),
                     QStringLiteral("40")});
    QVERIFY2(program.waitFor(QStringLiteral("Put the ambient absorber over the feed"), 60000), qPrintable(program.output));
    QVERIFY(program.output.contains(QStringLiteral("常温の吸収体を給電部に")));
    {
        QFile file(absorber);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    program.process.write("\n");
    QVERIFY2(program.waitFor(QStringLiteral("Take the absorber off the feed"), 60000), qPrintable(program.output));
    QFile::remove(absorber);
    program.process.write("\n");
    QVERIFY2(program.waitFor(QStringLiteral("Back to tracking"), 60000), qPrintable(program.output));
    static const QRegularExpression said(QStringLiteral("Tsys = ([0-9.]+) ± ([0-9.]+) K"));
    const QRegularExpressionMatch found = said.match(program.output);
    QVERIFY2(found.hasMatch(), qPrintable(program.output));
    QVERIFY2(std::fabs(found.captured(1).toDouble() - truth) <= found.captured(2).toDouble(), qPrintable(program.output));
    record::StationRecord kept(home.filePath(QStringLiteral("data/heliotrope/station.sqlite")));
    QVERIFY(kept.open());
    const std::vector<record::RecordedSystemTemperature> runs = kept.systemTemperatures();
    QVERIFY(runs.size() == 1 && runs[0].found && runs[0].kind == record::SystemTemperatureKind::HotCold);
}

void TestSystemTemperatureRun::theNoiseSourceIsAskedOfTheRunningBridgeAndHotColdIsNot()
{
    StationHome home;
    QVERIFY(home.make());
    Station station;
    QVERIFY(station.startRotator());
    Program bridge({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--rotctld"), QStringLiteral("127.0.0.1:%1").arg(station.rotator.port())});
    QVERIFY2(bridge.waitFor(QStringLiteral("Taking requests")), qPrintable(bridge.output));
    const QStringList shared{QStringLiteral("--site"), QStringLiteral("35.6581,139.3383,120"), QStringLiteral("--power"),
                             QStringLiteral("command:") + radiometerCommand(station.rotator.port(), station.path("absorber"), station.path("source")),
                             QStringLiteral("--frequency"), QStringLiteral("10368"), QStringLiteral("--dish-diameter"), QStringLiteral("1.2"),
                             QStringLiteral("--cold"), QStringLiteral("%1,%2").arg(kColdAzimuth).arg(kColdElevation), QStringLiteral("--dwell"),
                             QStringLiteral("40")};
    Program hotCold(QStringList{QStringLiteral("--hot-cold")} + shared);
    QCOMPARE(hotCold.exitWithin(30000), 1);
    QVERIFY2(hotCold.output.contains(QStringLiteral("A bridge is running")) && !bridge.output.contains(QStringLiteral("System temperature run")),
             qPrintable(hotCold.output + bridge.output));

    Program asker(QStringList{QStringLiteral("--noise-source-on"), QStringLiteral("touch '%1'").arg(station.path("source")),
                              QStringLiteral("--noise-source-off"), QStringLiteral("rm -f '%1'").arg(station.path("source")),
                              QStringLiteral("--enr"), QString::number(kEnrDecibels)}
                  + shared);
    QCOMPARE(asker.exitWithin(120000), 0);
    QVERIFY2(asker.output.contains(QStringLiteral("Tsys = ")), qPrintable(asker.output));
    QVERIFY(!QFileInfo::exists(station.path("source")));
    record::StationRecord kept(home.filePath(QStringLiteral("data/heliotrope/station.sqlite")));
    QVERIFY(kept.open());
    const std::vector<record::RecordedSystemTemperature> runs = kept.systemTemperatures();
    QVERIFY(runs.size() == 1 && runs[0].found && runs[0].kind == record::SystemTemperatureKind::NoiseSource);
}

QTEST_MAIN(TestSystemTemperatureRun)
#include "tst_systemtemperaturerun.moc"
