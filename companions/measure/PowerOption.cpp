#include "companions/measure/PowerOption.h"

#include <QCommandLineParser>

namespace heliotrope::rotctl {

std::optional<heliotrope::power::PowerSourceChoice> readPowerOption(const QCommandLineParser& parser, QStringList& problems)
{
    const QString power = QStringLiteral("power");
    if (!parser.isSet(power)) {
        problems << QStringLiteral("--power で電力を読む所を指定してください（rigctld:127.0.0.1:4532 か command:\"...\"）。\n"
                                   "Give where to read the power with --power (rigctld:HOST:PORT or command:\"CMD ...\").");
        return std::nullopt;
    }
    const std::optional<heliotrope::power::PowerSourceChoice> choice = heliotrope::power::powerSourceChoice(parser.value(power));
    if (!choice) {
        problems << QStringLiteral("--power 「%1」 は rigctld:HOST:PORT か command:\"CMD ...\" の形ではありません。\n"
                                   "--power \"%1\" is neither rigctld:HOST:PORT nor command:\"CMD ...\".")
                        .arg(parser.value(power));
    }
    return choice;
}

}  // namespace heliotrope::rotctl
