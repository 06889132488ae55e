#include "companions/power/PowerSourceChoice.h"

#include "companions/common/OptionValues.h"
#include "companions/power/CommandPowerSource.h"
#include "companions/power/RigctldPowerSource.h"

namespace heliotrope::power {

namespace {

// A reading must come within this, whatever the source: a radio on a slow
// serial line, a command that integrates for a moment.
constexpr int kReadingDeadlineMs = 5000;

}  // namespace

std::optional<PowerSourceChoice> powerSourceChoice(const QString& text)
{
    PowerSourceChoice choice;
    if (text.startsWith(QLatin1String("command:"))) {
        choice.kind = PowerSourceChoice::Kind::Command;
        choice.command = text.mid(8).trimmed();
        if (choice.command.isEmpty())
            return std::nullopt;
        return choice;
    }
    if (text == QLatin1String("rigctld"))
        return choice;
    if (!text.startsWith(QLatin1String("rigctld:")))
        return std::nullopt;
    const companions::OptionValue<companions::HostAndPort> where
        = companions::hostAndPortOption(QStringLiteral("power"), text.mid(8), choice.port);
    if (!where.value)
        return std::nullopt;
    choice.host = where.value->host;
    choice.port = where.value->port;
    return choice;
}

std::unique_ptr<PowerSource> makePowerSource(const PowerSourceChoice& choice, QString* problem)
{
    if (choice.kind == PowerSourceChoice::Kind::Rigctld)
        return std::make_unique<RigctldPowerSource>(choice.host, choice.port, kReadingDeadlineMs);
    auto command = std::make_unique<CommandPowerSource>(choice.command, kReadingDeadlineMs);
    if (!command->isUsable(problem))
        return nullptr;
    return command;
}

}  // namespace heliotrope::power
