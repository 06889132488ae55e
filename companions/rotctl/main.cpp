// heliotrope-rotctl: the window's pointing messages to and from Hamlib's
// rotctld, for sites whose rotator controller Hamlib drives.

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/common/SignalNotifier.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/RotctlCommandLine.h"
#include "companions/rotctl/asking/StationAsking.h"
#include "companions/rotctl/bridge/Bridge.h"
#include "companions/rotctl/bridge/BridgeMessages.h"
#include "companions/rotctl/bridge/DeskMeasurement.h"
#include "companions/rotctl/bridge/FluxWatch.h"
#include "companions/rotctl/bridge/PointingChoice.h"
#include "companions/rotctl/bridge/ProgressLine.h"
#include "companions/rotctl/bridge/StationDesk.h"
#include "companions/rotctl/bridge/TrackingPower.h"
#include "companions/rotctl/bridge/TrackingPowerKeeping.h"
#include "companions/rotctl/page/PageServer.h"
#include "companions/rotctl/reports/FluxCommand.h"
#include "companions/rotctl/reports/HistoryCommand.h"
#include "companions/rotctl/reports/PointingModelFit.h"
#include "companions/rotctl/reports/SunNowReport.h"
#include "companions/station/StationServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>

#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <variant>

using namespace heliotrope::companions;
using namespace heliotrope::rotctl;
using heliotrope::record::StationRecord;
namespace measure = heliotrope::measure;

namespace {

// A calibration and --plot (of the history or of the pointing model's fit) draw pictures.
bool pictureAsked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--calibrate", "-calibrate", "--plot", "-plot"})
            if (std::strncmp(argv[i], option, std::strlen(option)) == 0)
                return true;
    }
    return false;
}

// The commands that ask the running bridge, or read the record, draw nothing
// of their own; a bridge may be asked for a calibration, with its picture,
// at any time.
bool onlyAsking(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* asking : {"-stow", "-stop-rotator", "-resume", "-status", "-history", "-set-flux"}) {
            const char* name = argv[i][0] == '-' && argv[i][1] == '-' ? argv[i] + 1 : argv[i];
            if (std::strncmp(name, asking, std::strlen(asking)) == 0 && std::strncmp(name, "-stow-", 6) != 0)
                return true;
        }
    }
    return false;
}

// Pictures are drawn with Qt's painter, whose fonts need a GUI application;
// on the offscreen platform, so no display is needed.
std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv)
{
    if (pictureAsked(argc, argv) || !onlyAsking(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

int printed(const QString& text, const QString& problem, int exitCode)
{
    if (!text.isEmpty())
        printLine(stdout, text);
    if (!problem.isEmpty())
        printLine(stderr, problem);
    return exitCode;
}

// The modes that end once answered: the pointing model's fit, the sun now,
// a day's flux, the record's history and whatever the running bridge is asked.
struct AnswerOnce {
    int operator()(const PointingFitMode& mode) const
    {
        const PointingFitReport fitted = fitPointingModelFromRecord(mode.fit, mode.station, StationRecord::defaultPath(), QDateTime::currentDateTimeUtc());
        return printed(fitted.text, fitted.problem, fitted.exitCode);
    }
    int operator()(const SunNowMode& mode) const
    {
        MountPointing pointing = mode.pointing;
        const QStringList chosen = choosePointing(pointing);
        const qint64 shift = static_cast<qint64>(std::llround(pointing.trueSun.clockOffsetSeconds * 1000.0));
        const SunNowReport look = sunNowReport(pointing.trueSun, QDateTime::currentMSecsSinceEpoch() + shift, startingFrame(pointing));
        for (const QString& line : chosen)
            printLine(stdout, line);
        return printed(look.text, {}, look.exitCode);
    }
    int operator()(const SetFluxOptions& options) const
    {
        const SetFluxReport kept = setFluxReport(options, StationRecord::defaultPath(), QDateTime::currentDateTimeUtc());
        return printed(kept.text, kept.problem, kept.exitCode);
    }
    int operator()(const FluxReportOptions& options) const
    {
        const FluxReport flux = fluxReport(options, StationRecord::defaultPath(), QDateTime::currentDateTimeUtc());
        return printed(flux.text, flux.problem, flux.exitCode);
    }
    int operator()(const HistoryOptions& options) const
    {
        const HistoryReport history = historyReport(options, StationRecord::defaultPath());
        return printed(history.text, history.problem, history.exitCode);
    }
    int operator()(const AskOptions& options) const
    {
        if (const std::optional<int> status = askRunningBridge(options))
            return *status;
        return printed({}, noBridgeText(), 1);
    }
};

using Say = std::function<void(const QString&)>;

// The request socket, before the window's UDP port: a second bridge is told
// so, not that the port is taken. False when another bridge holds it; a
// socket that cannot be made is said, and the bridge runs without requests.
bool listenForRequests(StationDesk& desk, const Say& say, std::unique_ptr<heliotrope::station::StationServer>* requests)
{
    using heliotrope::station::StationServer;
    QString problem;
    const QString path = StationServer::defaultSocketPath(&problem);
    if (path.isEmpty()) {
        say(problem + QLatin1Char('\n') + said::noRequests());
        return true;
    }
    *requests = std::make_unique<StationServer>(desk, path);
    switch ((*requests)->listen()) {
    case StationServer::Listening::Yes:
        say(said::takingRequests(path));
        return true;
    case StationServer::Listening::AnotherBridge:
        printLine(stderr, (*requests)->problem());
        return false;
    case StationServer::Listening::Failed:
        say((*requests)->problem() + QLatin1Char('\n') + said::noRequests());
        requests->reset();
        return true;
    }
    return true;
}

// Ctrl+C during a calibration or sun-noise run, whoever asked for it, ends
// the run and the bridge goes on tracking; otherwise Ctrl+C and kill end the
// bridge through its event loop, so that it says what it received (a second
// one, at once).
void endOnSignals(StationDesk& desk, const BridgeOptions& options, const Say& say)
{
    SignalNotifier& notifier = SignalNotifier::instance();
    QObject::connect(&notifier, &SignalNotifier::received, [&desk, &options, say](int signalNumber) {
        if (signalNumber == SIGINT && desk.isMeasuring()) {
            desk.cancelMeasurement();
        } else {
            SignalNotifier::restoreDefault(SIGINT);
            SignalNotifier::restoreDefault(SIGTERM);
            if (signalNumber == SIGTERM && options.stowOnExit) {
                // The dish is left stowed before the service ends.
                say(said::stowingBeforeExit());
                desk.stowBeforeExit([] { QCoreApplication::quit(); });
            } else {
                QCoreApplication::quit();
            }
        }
    });
    notifier.install({SIGINT, SIGTERM});
}

// This process as the bridge, making the command line's own measurement
// first when one is asked.
int runBridge(const BridgeOptions& bridgeOptions, const RunOptions* run)
{
    ProgressLine console(stdout);
    // The bridge runs all night unattended: every line carries its time.
    const Say say = [&console](const QString& line) { console.print(QStringLiteral("%1 JST  %2").arg(jstText(QDateTime::currentMSecsSinceEpoch()), line)); };
    const Say warn = [&console](const QString& line) {
        console.print(warningLine(QStringLiteral("%1 JST  %2").arg(jstText(QDateTime::currentMSecsSinceEpoch()), line)));
    };
    const Say showProgress = [&console](const QString& line) { console.show(line); };
    BridgeOptions options = bridgeOptions;
    const QStringList pointingChosen = choosePointing(options);
    for (const QString& line : pointingChosen)
        say(line);

    // A command that cannot run is refused before rotctld is touched.
    std::optional<measure::MeasurementRequest> request;
    if (run) {
        QString unusable;
        request = checkedMeasurement(*run, &unusable);
        if (!request)
            return printed({}, unusable, kUsageExitCode);
    }

    std::unique_ptr<heliotrope::power::PowerSource> watchSource;
    if (options.trackingPower) {
        QString unusable;
        watchSource = heliotrope::power::makePowerSource(options.trackingPower->source, &unusable);
        if (!watchSource)
            return printed({}, unusable, kUsageExitCode);
    }

    Bridge bridge(options);
    QObject::connect(&bridge, &Bridge::notice, say);
    QObject::connect(&bridge, &Bridge::warning, warn);
    // A calibration placed the sun by this clock; one found on a wrong clock is not saved.
    if (const QString clock = heliotrope::station::clockStateText(measure::measurementClockState(), options.measurement.clockUnsynchronisedOk);
        !clock.isEmpty())
        say(clock);
    StationDesk desk(bridge, options);
    desk.setCalibrationInUse(pointingChosen.join(QLatin1Char('\n')));
    QObject::connect(&desk, &StationDesk::notice, say);
    QObject::connect(&desk, &StationDesk::progress, showProgress);
    QObject::connect(&desk, &StationDesk::warning, warn);
    // A stow outlives the bridge that was told it: after a power cut in a
    // storm the dish stays stowed until someone says --resume.
    desk.takeUpKeptHold();
    std::unique_ptr<heliotrope::station::StationServer> requests;
    if (!listenForRequests(desk, say, &requests))
        return 1;
    if (QString problem; !bridge.start(&problem))
        return printed({}, problem, 1);
    // The receiver while tracking, kept to the station's record: begun once
    // the bridge runs, so that its first reference finds rotctld connecting.
    // Today's readings kept before a restart are taken up, so that the day's
    // flux and its bursts are the whole day's.
    std::unique_ptr<TrackingPower> watch;
    std::unique_ptr<FluxWatch> fluxWatch;
    if (watchSource) {
        const TrackingPowerKeeping keeping;
        watch = std::make_unique<TrackingPower>(bridge, *options.trackingPower, options.trueSun, std::move(watchSource), keeping.batches());
        watch->setMeasuring([&desk] { return desk.isMeasuring(); });
        QObject::connect(watch.get(), &TrackingPower::notice, say);
        QObject::connect(watch.get(), &TrackingPower::warning, warn);
        std::vector<heliotrope::flux::Reading> readings;
        std::vector<heliotrope::flux::Reference> references;
        if (QString problem; keeping.recallDay(bridge.sunUtcSeconds(), &readings, &references, &problem))
            watch->recallToday(std::move(readings), std::move(references));
        else
            warn(problem);
        fluxWatch = std::make_unique<FluxWatch>(*watch, options.trueSun, keeping.scales(options.trackingPower->beamwidthDegrees), keeping.days(),
                                                options.trackingPower->flux);
        fluxWatch->setRunMarker(keeping.runsDuringBursts());
        QObject::connect(fluxWatch.get(), &FluxWatch::notice, say);
        QObject::connect(fluxWatch.get(), &FluxWatch::warning, warn);
        desk.setTrackingPower(watch.get(), fluxWatch.get());
        watch->start();
        fluxWatch->start();
    }
    // The station's page, once what it shows exists; a page that cannot be
    // served ends nothing: the station goes on tracking, said so.
    std::unique_ptr<PageServer> page;
    if (options.page) {
        page = std::make_unique<PageServer>(bridge, desk, options);
        QObject::connect(page.get(), &PageServer::notice, say);
        QObject::connect(page.get(), &PageServer::warning, warn);
        if (watch) {
            page->setTrackingPower(watch.get(), fluxWatch.get());
            QObject::connect(watch.get(), &TrackingPower::warning, &page->watch(), &StationWatch::warned);
            QObject::connect(fluxWatch.get(), &FluxWatch::warning, &page->watch(), &StationWatch::warned);
        }
        if (QString problem; !page->start(&problem)) {
            warn(problem);
            page.reset();
        }
    }
    endOnSignals(desk, options, say);
    // The command line's own measurement is the desk's, as one asked over the
    // socket: a stow, a stop and --status see it alike.
    if (request)
        desk.measureOwn(*request);
    const int exitCode = QCoreApplication::exec();
    if (watch) {
        watch->flush();
        fluxWatch->finish();
    }
    printLine(stdout, receivedCountsText(bridge.receivedCounts()));
    return exitCode;
}

}  // namespace

int main(int argc, char** argv)
{
    keepQtQuietUnlessAsked();
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("heliotrope"));
    QCoreApplication::setApplicationName(QStringLiteral("heliotrope-rotctl"));

    const QStringList arguments = withStowValue(QCoreApplication::arguments());
    const CommandLine<RotctlMode> commandLine = parseRotctlCommandLine(arguments);
    if (!commandLine.options)
        return printed(commandLine.exitCode == 0 ? commandLine.text : QString(), commandLine.exitCode == 0 ? QString() : commandLine.text,
                       commandLine.exitCode);
    if (QString unusable; !takeTimeScaleFromEnvironment(&unusable))
        return printed({}, unusable, kUsageExitCode);
    const RotctlMode& mode = *commandLine.options;
    if (const BridgeOptions* bridge = bridgeOptions(mode)) {
        // With a bridge of this user running, a measurement is asked of it:
        // one bridge, one rotctld connection. Without one, it runs here, as a
        // bridge of its own.
        if (const auto* measurement = std::get_if<MeasurementMode>(&mode)) {
            if (measurement->run.systemTemperature && measurement->run.systemTemperature->method == measure::SystemTemperatureMethod::HotCold) {
                if (bridgeAnswers())
                    return printed({}, systemTemperatureNeedsTheTerminalText(), 1);
            } else if (const std::optional<int> status = askRunningBridge(measurement->asking)) {
                return *status;
            }
        }
        return runBridge(*bridge, runOptions(mode));
    }
    return std::visit(
        [](const auto& asked) {
            if constexpr (std::is_invocable_r_v<int, AnswerOnce, decltype(asked)>)
                return AnswerOnce{}(asked);
            else
                return 0;  // the bridge's modes, run above
        },
        mode);
}
