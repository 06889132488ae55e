// heliotrope-rotctl: the window's pointing messages to and from Hamlib's
// rotctld, for sites whose rotator controller Hamlib drives.

#include "companions/common/ConsoleText.h"
#include "companions/common/JstText.h"
#include "companions/rotctl/Bridge.h"
#include "companions/rotctl/SunNowReport.h"

#include <QCoreApplication>
#include <QDateTime>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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

    Bridge bridge(*commandLine.options);
    // The bridge runs all night unattended: every line carries its time.
    QObject::connect(&bridge, &Bridge::notice, [](const QString& line) {
        printLine(stdout, QStringLiteral("%1 JST  %2").arg(jstText(QDateTime::currentMSecsSinceEpoch()), line));
    });
    QString problem;
    if (!bridge.start(&problem)) {
        printLine(stderr, problem);
        return 1;
    }
    return QCoreApplication::exec();
}
