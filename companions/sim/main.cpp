// heliotrope-sim: an antenna controller that exists only in software, for
// rehearsing with the window and checking it without the real controller.

#include "companions/common/ConsoleText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/common/SignalNotifier.h"
#include "companions/controllers/SerialController.h"
#include "companions/sim/Simulator.h"

#include <QCoreApplication>

using namespace heliotrope::companions;
using namespace heliotrope::sim;
using heliotrope::controllers::commandCountsText;
using heliotrope::controllers::SerialController;

namespace {

// --serial: the controller on a pseudo-terminal, until Ctrl+C or SIGTERM.
int runSerialController(const heliotrope::controllers::SerialControllerOptions& options)
{
    SerialController controller(options);
    QObject::connect(&controller, &SerialController::progress, [](const QString& line) { printLine(stdout, line); });
    QObject::connect(&controller, &SerialController::dialogue, [](const QString& line) { printLine(stderr, line); });
    QObject::connect(&controller, &SerialController::problem, [](const QString& line) { printLine(stderr, line); });
    QString problem;
    if (!controller.start(&problem)) {
        printLine(stderr, problem);
        return 1;
    }
    quitOnTerminationSignals();
    const int exitCode = QCoreApplication::exec();
    printLine(stdout, commandCountsText(controller.counts()));
    return exitCode;
}

}  // namespace

int main(int argc, char** argv)
{
    keepQtQuietUnlessAsked();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("heliotrope-sim"));

    const CommandLine<SimulatorOptions> commandLine = parseSimulatorCommandLine(QCoreApplication::arguments());
    if (!commandLine.options) {
        printLine(commandLine.exitCode == 0 ? stdout : stderr, commandLine.text);
        return commandLine.exitCode;
    }

    QString unusable;
    if (!takeTimeScaleFromEnvironment(&unusable)) {
        printLine(stderr, unusable);
        return kUsageExitCode;
    }

    if (commandLine.options->serial)
        return runSerialController(*commandLine.options->serial);

    Simulator simulator(*commandLine.options);
    if (!commandLine.options->quiet)
        QObject::connect(&simulator, &Simulator::progress, [](const QString& line) { printLine(stdout, line); });
    QObject::connect(&simulator, &Simulator::problem, [](const QString& line) { printLine(stderr, line); });
    QString problem;
    if (!simulator.start(&problem)) {
        printLine(stderr, problem);
        return 1;
    }
    quitOnTerminationSignals();
    const int exitCode = QCoreApplication::exec();
    printLine(stdout, receivedCountsText(simulator.receivedCounts()));
    return exitCode;
}
