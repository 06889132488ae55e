// heliotrope-rotctl: the window's pointing messages to and from Hamlib's
// rotctld, for sites whose rotator controller Hamlib drives.

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/common/SignalNotifier.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/Bridge.h"
#include "companions/rotctl/BridgeMessages.h"
#include "companions/rotctl/DeskMeasurement.h"
#include "companions/rotctl/HistoryCommand.h"
#include "companions/rotctl/PointingChoice.h"
#include "companions/rotctl/PointingModelFit.h"
#include "companions/rotctl/ProgressLine.h"
#include "companions/rotctl/StationAsking.h"
#include "companions/rotctl/StationDesk.h"
#include "companions/rotctl/SunNowReport.h"
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

using namespace heliotrope::companions;
using namespace heliotrope::rotctl;
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

// The commands that end once answered: the pointing model's fit, the sun
// now, the record's history, and whatever the running bridge is asked.
// Nothing when this process is to be a bridge.
std::optional<int> answerOnce(BridgeOptions& options)
{
    if (options.pointingFit) {
        const PointingFitReport fitted = fitPointingModelFromRecord(
            *options.pointingFit, FitStation{*options.trueSun.site, options.trueSun.refraction, options.azimuthRange},
            heliotrope::record::StationRecord::defaultPath(), QDateTime::currentDateTimeUtc());
        return printed(fitted.text, fitted.problem, fitted.exitCode);
    }
    if (options.trueSun.lookOnly) {
        const QStringList chosen = choosePointing(options);
        const qint64 shift = static_cast<qint64>(std::llround(options.trueSun.clockOffsetSeconds * 1000.0));
        const SunNowReport look = sunNowReport(options.trueSun, QDateTime::currentMSecsSinceEpoch() + shift, startingFrame(options));
        for (const QString& line : chosen)
            printLine(stdout, line);
        return printed(look.text, {}, look.exitCode);
    }
    if (options.setFlux) {
        const SetFluxReport kept = setFluxReport(*options.setFlux, heliotrope::record::StationRecord::defaultPath(), QDateTime::currentDateTimeUtc());
        return printed(kept.text, kept.problem, kept.exitCode);
    }
    if (options.history) {
        const HistoryReport history = historyReport(*options.history, heliotrope::record::StationRecord::defaultPath());
        return printed(history.text, history.problem, history.exitCode);
    }
    // With a bridge of this user running, it is asked: one bridge, one
    // rotctld connection. Without one, a measurement runs here, as a bridge
    // of its own.
    if (options.ask != BridgeAsk::None || options.calibration || options.sunNoise) {
        if (const std::optional<int> status = askRunningBridge(options))
            return status;
        if (options.ask != BridgeAsk::None)
            return printed({}, noBridgeText(), 1);
    }
    return std::nullopt;
}

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

}  // namespace

int main(int argc, char** argv)
{
    keepQtQuietUnlessAsked();
    const std::unique_ptr<QCoreApplication> app = makeApplication(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("heliotrope"));
    QCoreApplication::setApplicationName(QStringLiteral("heliotrope-rotctl"));

    const QStringList arguments = withStowValue(QCoreApplication::arguments());
    const CommandLine<BridgeOptions> commandLine = parseBridgeCommandLine(arguments);
    if (!commandLine.options)
        return printed(commandLine.exitCode == 0 ? commandLine.text : QString(), commandLine.exitCode == 0 ? QString() : commandLine.text,
                       commandLine.exitCode);
    if (QString unusable; !takeTimeScaleFromEnvironment(&unusable))
        return printed({}, unusable, kUsageExitCode);
    BridgeOptions options = *commandLine.options;
    if (const std::optional<int> answered = answerOnce(options))
        return *answered;

    ProgressLine console(stdout);
    // The bridge runs all night unattended: every line carries its time.
    const Say say = [&console](const QString& line) { console.print(QStringLiteral("%1 JST  %2").arg(jstText(QDateTime::currentMSecsSinceEpoch()), line)); };
    const Say warn = [&console](const QString& line) {
        console.print(warningLine(QStringLiteral("%1 JST  %2").arg(jstText(QDateTime::currentMSecsSinceEpoch()), line)));
    };
    const Say showProgress = [&console](const QString& line) { console.show(line); };
    const QStringList pointingChosen = choosePointing(options);
    for (const QString& line : pointingChosen)
        say(line);

    // A command that cannot run is refused before rotctld is touched.
    std::optional<measure::MeasurementRequest> request;
    if (options.calibration || options.sunNoise) {
        QString unusable;
        request = checkedMeasurement(options, &unusable);
        if (!request)
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
    endOnSignals(desk, options, say);
    // The command line's own measurement is the desk's, as one asked over the
    // socket: a stow, a stop and --status see it alike.
    if (request)
        desk.measureOwn(*request);
    const int exitCode = QCoreApplication::exec();
    printLine(stdout, receivedCountsText(bridge.receivedCounts()));
    return exitCode;
}
