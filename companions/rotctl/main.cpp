// heliotrope-rotctl: the window's pointing messages to and from Hamlib's
// rotctld, for sites whose rotator controller Hamlib drives.

#include "companions/common/ConsoleText.h"
#include "companions/common/InterruptNotifier.h"
#include "companions/common/JstText.h"
#include "companions/common/QuitOnSignal.h"
#include "companions/rotctl/Bridge.h"
#include "companions/rotctl/CalibrationSession.h"
#include "companions/rotctl/ProgressLine.h"
#include "companions/rotctl/SavedCalibration.h"
#include "companions/rotctl/SunNoiseHandover.h"
#include "companions/rotctl/SunNoiseRun.h"
#include "companions/rotctl/SunNowReport.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>

#include <cstring>
#include <memory>

using namespace heliotrope::companions;
using namespace heliotrope::rotctl;

namespace {

bool calibrationAsked(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--calibrate", 11) == 0 || std::strncmp(argv[i], "-calibrate", 10) == 0)
            return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    // The calibration draws its picture with Qt's painter, whose fonts need a
    // GUI application; on the offscreen platform, so no display is needed.
    std::unique_ptr<QCoreApplication> app;
    if (calibrationAsked(argc, argv)) {
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

    if (commandLine.options->trueSun.lookOnly) {
        const SunNowReport look = sunNowReport(commandLine.options->trueSun, QDateTime::currentMSecsSinceEpoch());
        printLine(stdout, look.text);
        return look.exitCode;
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
            say(QStringLiteral("較正で保存したずれを使います: 方位角 %1°、仰角 %2°（%3 UTC に測定、%4）。/ "
                               "Using the saved calibration: azimuth %1°, elevation %2° (measured %3 UTC, %4).")
                    .arg(QString::number(saved->azimuthOffset, 'f', 3), QString::number(saved->elevationOffset, 'f', 3),
                         saved->measuredUtc.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")), calibrationSettingsPath()));
        }
    }

    // The sun-noise run reads the source: made first, it goes last; and a
    // command that cannot run is refused before rotctld is touched.
    std::unique_ptr<heliotrope::power::PowerSource> sunNoisePower;
    if (options.sunNoise) {
        QString unusable;
        sunNoisePower = sunNoisePowerSource(options.sunNoise->power, &unusable);
        if (!sunNoisePower) {
            printLine(stderr, unusable);
            return kUsageExitCode;
        }
    }

    Bridge bridge(options);
    QObject::connect(&bridge, &Bridge::notice, say);
    QString problem;
    if (!bridge.start(&problem)) {
        printLine(stderr, problem);
        return 1;
    }
    // Ctrl+C and kill end the bridge through its event loop, so that it says
    // what it received; during a calibration or sun-noise run Ctrl+C is
    // taken over below and ends the run only.
    quitOnTerminationSignals();

    std::unique_ptr<SunNoiseRun> sunNoise;
    std::unique_ptr<CalibrationSession> calibration;
    InterruptNotifier interrupt;
    if (options.sunNoise) {
        sunNoise = std::make_unique<SunNoiseRun>(*options.sunNoise, *options.trueSun.site, options.trueSun.refraction,
                                                 options.trueSun.atmosphere, bridge.rotctld(), *sunNoisePower,
                                                 shiftedUtcClock(options.sunNoise->clockOffsetSeconds));
        QObject::connect(sunNoise.get(), &SunNoiseRun::notice, say);
        QObject::connect(sunNoise.get(), &SunNoiseRun::progress, [&console](const QString& line) { console.show(line); });
        // Ctrl+C during the run ends the run and the bridge goes on tracking;
        // otherwise it ends the program, as it always does.
        if (interrupt.install()) {
            QObject::connect(&interrupt, &InterruptNotifier::interrupted, [&sunNoise] {
                if (sunNoise->isRunning())
                    sunNoise->abort(QStringLiteral("Ctrl+C で止めました。追尾に戻ります。"),
                                    QStringLiteral("stopped with Ctrl+C; back to tracking."));
                else
                    QCoreApplication::quit();
            });
        }
        handRotatorToSunNoise(bridge, *sunNoise);
    }
    if (options.calibration) {
        calibration = std::make_unique<CalibrationSession>(bridge, *options.calibration,
                                                           shiftedUtcClock(options.calibration->clockOffsetSeconds));
        QObject::connect(calibration.get(), &CalibrationSession::notice, say);
        QObject::connect(calibration.get(), &CalibrationSession::progress, [&console](int done, int total, double left) {
            console.show(QStringLiteral("較正 %1/%2 点、残り約 %3 秒 / calibration point %1 of %2, about %3 s left")
                             .arg(done)
                             .arg(total)
                             .arg(static_cast<long long>(left + 0.5)));
        });
        // Ctrl+C during the run ends the run and the bridge goes on tracking;
        // otherwise it ends the program, as it always does.
        if (interrupt.install()) {
            QObject::connect(&interrupt, &InterruptNotifier::interrupted, [&calibration] {
                if (calibration->isRunning())
                    calibration->interrupt();
                else
                    QCoreApplication::quit();
            });
        }
        if (!calibration->start(&problem)) {
            printLine(stderr, problem);
            return 1;
        }
    }
    const int exitCode = QCoreApplication::exec();
    printLine(stdout, receivedCountsText(bridge.receivedCounts()));
    return exitCode;
}
