// heliotrope-radiometer-sim: the sun's power as a radiometer on the dish would
// read it, for rehearsing and testing the bridge's calibration without hardware.

#include "companions/common/ConsoleText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/radiometer/Radiometer.h"

#include <QCoreApplication>
#include <QLocale>

using namespace heliotrope::companions;
using namespace heliotrope::radiometer;

int main(int argc, char** argv)
{
    keepQtQuietUnlessAsked();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("heliotrope-radiometer-sim"));

    const CommandLine<RadiometerOptions> commandLine = parseRadiometerCommandLine(QCoreApplication::arguments());
    if (!commandLine.options) {
        printLine(commandLine.exitCode == 0 ? stdout : stderr, commandLine.text);
        return commandLine.exitCode;
    }
    QString problem;
    if (!takeTimeScaleFromEnvironment(&problem)) {
        printLine(stderr, problem);
        return kUsageExitCode;
    }
    Radiometer radiometer(*commandLine.options, shiftedUtcClock(commandLine.options->clockOffsetSeconds));
    if (commandLine.options->once) {
        const std::optional<double> power = radiometer.read(&problem);
        if (!power) {
            printLine(stderr, problem);
            return 1;
        }
        printLine(stdout, QLocale::c().toString(*power, 'f', 3));
        return 0;
    }
    QObject::connect(&radiometer, &Radiometer::notice, [](const QString& line) { printLine(stdout, line); });
    if (!radiometer.serve(&problem)) {
        printLine(stderr, problem);
        return 1;
    }
    return QCoreApplication::exec();
}
