// heliotrope-rotctl: the window's pointing messages to and from Hamlib's
// rotctld, for sites whose rotator controller Hamlib drives.

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/common/ShiftedClock.h"
#include "companions/common/SignalNotifier.h"
#include "companions/measure/MeasurementSession.h"
#include "companions/measure/SavedCalibration.h"
#include "companions/power/PowerSourceChoice.h"
#include "companions/record/StationRecord.h"
#include "companions/rotctl/Bridge.h"
#include "companions/rotctl/BridgeMessages.h"
#include "companions/rotctl/HistoryCommand.h"
#include "companions/rotctl/ProgressLine.h"
#include "companions/rotctl/SunNowReport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>

#include <csignal>
#include <cstring>
#include <memory>

using namespace heliotrope::companions;
using namespace heliotrope::rotctl;

namespace {

// A calibration and --history --plot draw pictures.
bool pictureAsked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        for (const char* option : {"--calibrate", "-calibrate", "--plot", "-plot"})
            if (std::strncmp(argv[i], option, std::strlen(option)) == 0)
                return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    keepQtQuietUnlessAsked();
    // Pictures are drawn with Qt's painter, whose fonts need a GUI
    // application; on the offscreen platform, so no display is needed.
    std::unique_ptr<QCoreApplication> app;
    if (pictureAsked(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setOrganizationName(QStringLiteral("heliotrope"));
    QCoreApplication::setApplicationName(QStringLiteral("heliotrope-rotctl"));

    const CommandLine<BridgeOptions> commandLine = parseBridgeCommandLine(QCoreApplication::arguments());
    if (!commandLine.options) {
        printLine(commandLine.exitCode == 0 ? stdout : stderr, commandLine.text);
        return commandLine.exitCode;
    }

    if (QString unusable; !takeTimeScaleFromEnvironment(&unusable)) {
        printLine(stderr, unusable);
        return kUsageExitCode;
    }

    if (commandLine.options->trueSun.lookOnly) {
        const SunNowReport look = sunNowReport(commandLine.options->trueSun, QDateTime::currentMSecsSinceEpoch());
        printLine(stdout, look.text);
        return look.exitCode;
    }
    if (commandLine.options->history) {
        const HistoryReport history = historyReport(*commandLine.options->history, heliotrope::record::StationRecord::defaultPath());
        if (!history.text.isEmpty())
            printLine(stdout, history.text);
        if (!history.problem.isEmpty())
            printLine(stderr, history.problem);
        return history.exitCode;
    }

    BridgeOptions options = *commandLine.options;
    ProgressLine console(stdout);
    // The bridge runs all night unattended: every line carries its time.
    const auto say = [&console](const QString& line) {
        console.print(QStringLiteral("%1 JST  %2").arg(jstText(QDateTime::currentMSecsSinceEpoch()), line));
    };
    if (!options.offsetsGiven) {
        if (const std::optional<SavedCalibration> saved = loadCalibration()) {
            options.azimuthOffset = saved->azimuthOffset;
            options.elevationOffset = saved->elevationOffset;
            say(said::savedCalibrationUsed(*saved, calibrationSettingsPath()));
            if (saved->refraction != options.trueSun.refraction)
                say(said::savedCalibrationOtherSky(saved->refraction, options.trueSun.refraction));
        }
    }

    // A command that cannot run is refused before rotctld is touched.
    const std::optional<MeasurementRequest> request = measurementRequest(options);
    if (request) {
        QString unusable;
        if (!heliotrope::power::makePowerSource(request->measurement.power, &unusable)) {
            printLine(stderr, unusable);
            return kUsageExitCode;
        }
    }

    Bridge bridge(options);
    QObject::connect(&bridge, &Bridge::notice, say);
    // A calibration placed the sun by this clock; one found on a wrong clock is not saved.
    if (const QString clock = heliotrope::station::clockStateText(measurementClockState()); !clock.isEmpty())
        say(clock);
    QString problem;
    if (!bridge.start(&problem)) {
        printLine(stderr, problem);
        return 1;
    }
    // Ctrl+C during a calibration or sun-noise run ends the run and the bridge
    // goes on tracking; otherwise Ctrl+C and kill end the bridge through its
    // event loop, so that it says what it received (a second one, at once).
    std::unique_ptr<MeasurementSession> measurement;
    SignalNotifier& notifier = SignalNotifier::instance();
    QObject::connect(&notifier, &SignalNotifier::received, [&measurement](int signalNumber) {
        if (signalNumber == SIGINT && measurement && measurement->isRunning()) {
            measurement->interrupt();
        } else {
            SignalNotifier::restoreDefault(SIGINT);
            SignalNotifier::restoreDefault(SIGTERM);
            QCoreApplication::quit();
        }
    });
    notifier.install({SIGINT, SIGTERM});

    if (request) {
        measurement = std::make_unique<MeasurementSession>(bridge, *request, shiftedUtcClock(request->measurement.clockOffsetSeconds));
        QObject::connect(measurement.get(), &MeasurementSession::notice, say);
        QObject::connect(measurement.get(), &MeasurementSession::warning, [&console](const QString& line) {
            console.print(warningLine(QStringLiteral("%1 JST  %2").arg(jstText(QDateTime::currentMSecsSinceEpoch()), line)));
        });
        QObject::connect(measurement.get(), &MeasurementSession::progress, [&console](const QString& line) { console.show(line); });
        measurement->start();
    }
    const int exitCode = QCoreApplication::exec();
    printLine(stdout, receivedCountsText(bridge.receivedCounts()));
    return exitCode;
}
