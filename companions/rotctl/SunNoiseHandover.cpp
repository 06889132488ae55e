#include "companions/rotctl/SunNoiseHandover.h"

#include "companions/rotctl/Bridge.h"
#include "companions/rotctl/SunNoiseRun.h"

void handRotatorToSunNoise(Bridge& bridge, SunNoiseRun& run)
{
    QObject::connect(&run, &SunNoiseRun::finished, &bridge, [&bridge](bool) { bridge.resumeTracking(); });
    const auto begin = [&bridge, &run] {
        bridge.pauseTracking();
        run.start(bridge.frame());
    };
    if (bridge.rotctld().isReady())
        begin();
    else
        QObject::connect(&bridge, &Bridge::rotatorReady, &run, begin, Qt::SingleShotConnection);
}
