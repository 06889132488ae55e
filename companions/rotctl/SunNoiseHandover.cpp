#include "companions/rotctl/SunNoiseHandover.h"

#include "companions/power/CommandPowerSource.h"
#include "companions/power/RigctldPowerSource.h"
#include "companions/rotctl/Bridge.h"
#include "companions/rotctl/SunNoiseRun.h"

namespace heliotrope::rotctl {

namespace {

// A reading that takes longer than this is a source that stopped answering.
constexpr int kReadingDeadlineMs = 5000;

}  // namespace

void handRotatorToSunNoise(Bridge& bridge, SunNoiseRun& run)
{
    QObject::connect(&run, &SunNoiseRun::finished, &bridge, [&bridge](bool) { bridge.holdCommands(false); });
    const auto begin = [&bridge, &run] {
        bridge.holdCommands(true);
        run.start(bridge.frame());
    };
    if (bridge.rotctld().isReady())
        begin();
    else
        QObject::connect(&bridge, &Bridge::rotatorReady, &run, begin, Qt::SingleShotConnection);
}

std::unique_ptr<heliotrope::power::PowerSource> sunNoisePowerSource(const PowerSourceChoice& choice, QString* problem)
{
    using namespace heliotrope::power;
    if (choice.kind == PowerSourceChoice::Kind::Rigctld)
        return std::make_unique<RigctldPowerSource>(choice.host, choice.port, kReadingDeadlineMs);
    auto command = std::make_unique<CommandPowerSource>(choice.command, kReadingDeadlineMs);
    if (!command->isUsable(problem))
        return nullptr;
    return command;
}

}  // namespace heliotrope::rotctl
