#include "companions/measure/DayFlux.h"

#include "companions/sunnoise/SunNoise.h"

namespace heliotrope::measure {

record::RecordedSunNoise withDayFlux(record::RecordedSunNoise run, double fluxSfu)
{
    if (run.expectedYDecibels && run.fluxSfu && *run.fluxSfu > 0)
        run.expectedYDecibels = sunnoise::expectedYDecibelsAtFlux(*run.expectedYDecibels, *run.fluxSfu, fluxSfu);
    else
        run.expectedYDecibels.reset();  // no flux it was worked out for: nothing to scale from
    run.gOverTDecibelsPerKelvin.reset();
    if (run.found && run.yDecibels && run.frequencyMegahertz && run.dishDiameterMetres) {
        // G/T needs no aperture efficiency: it is the area's share of the gain.
        const sunnoise::Station station{fluxSfu, *run.frequencyMegahertz, *run.dishDiameterMetres, 0};
        run.gOverTDecibelsPerKelvin = sunnoise::gOverTDecibelsPerKelvin(station, *run.yDecibels);
    }
    run.fluxSfu = fluxSfu;
    run.fluxSource = record::FluxSource::TypedForTheDay;
    return run;
}

}  // namespace heliotrope::measure
