#include "solar/CalculationCycle.h"

#include "solar/CoordinateText.h"
#include "solar/NumberFormat.h"
#include "solar/RiseSet.h"
#include "solar/SunPosition.h"

#include <cmath>

namespace solar {
namespace {

bool finitePosition(const SunPosition& p)
{
    return std::isfinite(p.elevationDeg) && std::isfinite(p.azimuthDeg) && std::isfinite(p.localMeanTimeHours)
        && std::isfinite(p.latitudeRad);
}

// A tick that cannot point the antenna: no made-up numbers in the set-point
// boxes, nothing on the wire.
void withholdSetPoint(CycleView& view)
{
    view.setSettingElevationText(std::string());
    view.setSettingAzimuthText(std::string());
}

CycleOutcome failObserver(CycleView& view, const ObserverProblem& problem)
{
    view.showObserverProblem(problem);
    withholdSetPoint(view);
    view.drawSky(SkyStep{});
    view.drawNotice(Notice{Notice::Kind::ObserverInvalid, 0, 0});
    return CycleOutcome{};
}

}  // namespace

CycleOutcome runCalculationCycle(CalculationState& s, const ClockReading& now, CycleView& view)
{
    CycleOutcome out;

    // Clock. January and February count as months 13 and 14 of the year before,
    // as the solver's day count expects.
    s.intYear = static_cast<std::int16_t>(now.year);
    s.intMonth = static_cast<std::int16_t>(now.month);
    if (now.month < 3) {
        s.intYear = static_cast<std::int16_t>(now.year - 1);
        s.intMonth = static_cast<std::int16_t>(now.month + 12);
    }
    s.intDay = static_cast<std::int16_t>(now.day);
    s.intHour = static_cast<std::int16_t>(now.hour);

    // Observation point, read afresh every tick so that an edit counts from the next one.
    const std::optional<double> latitude = parseCoordinateText(view.observerLatitudeText());
    const std::optional<double> longitude = parseCoordinateText(view.observerLongitudeText());
    if (!latitude || !longitude) {
        ObserverProblem problem;
        problem.latitude = !latitude;
        problem.longitude = !longitude;
        return failObserver(view, problem);
    }
    s.dblLatDeg = *latitude;
    s.dblLonDeg = *longitude;

    // Universal time on the clock's date; negative before 09:00 JST.
    s.dblUT = (s.intHour - 9) + now.minute / 60.0 + now.second / 3600.0;

    const std::int16_t calendarMonth = static_cast<std::int16_t>(s.intMonth > 12 ? s.intMonth - 12 : s.intMonth);
    const double dayNumber = CALDAY(calendarMonth, s.intDay);

    const SunPosition sun = CALAZEL(dayNumber, s.dblUT, s.dblLatDeg, s.dblLonDeg);
    if (!finitePosition(sun)) {
        ObserverProblem problem;
        problem.position = true;
        return failObserver(view, problem);
    }
    view.showObserverProblem(ObserverProblem{});
    s.dblLocalMeanTime = sun.localMeanTimeHours;
    s.dblLatRad = sun.latitudeRad;
    double elevation = sun.elevationDeg;
    double azimuth = sun.azimuthDeg;
    out.positionComputed = true;

    // Day only when strictly above the horizon: exactly 0 parks the antenna.
    const bool sunUp = elevation > 0;
    out.sunUp = sunUp;

    // By day the boxes show the sun. By night they are written once, below,
    // with the parking position: nothing reads them in between, and writing
    // the sun's own position first would repaint them twice every cycle.
    if (sunUp) {
        view.setSettingElevationText(formatDayElevation(elevation).value_or(std::string()));
        view.setSettingAzimuthText(formatAzimuth(azimuth).value_or(std::string()));
    }

    SkyStep sky;
    sky.sunUp = sunUp;
    sky.azimuthDeg = azimuth;
    sky.elevationDeg = elevation;
    if (sunUp) {
        // The marker blinks: left out when the last day tick drew it, drawn
        // when the last day tick left it out. Night ticks keep the phase.
        if (s.intBlink != 1) {
            s.intBlink = 1;
        } else {
            sky.drawMarker = true;
            s.intBlink = 0;
        }
    }
    view.drawSky(sky);

    const RiseSetOutcome riseSet = CALRISE(s);

    if (sunUp) {
        out.riseSetFound = riseSet.sunsetFound;
        if (riseSet.sunsetFound)
            view.drawNotice(Notice{Notice::Kind::Sunset, s.dblSetHour, s.dblSetMinute});
        else
            view.drawNotice(Notice{Notice::Kind::SunsetUnknown, 0, 0});
    } else {
        out.riseSetFound = riseSet.sunriseFound;
        if (!riseSet.sunriseFound) {
            // No sunrise to park at: rather than guess, the antenna is left
            // where the last good tick sent it.
            view.drawNotice(Notice{Notice::Kind::NextSunriseUnknown, 0, 0});
            withholdSetPoint(view);
            return out;
        }
        view.drawNotice(Notice{Notice::Kind::NextSunrise, s.dblRiseHour, s.dblRiseMinute});

        // Park at the azimuth where the sun will rise: the sunrise instant in
        // whole minutes, on the day after the clock date (31 December gives 366).
        s.dblUT = s.dblRiseHour - 9 + s.dblRiseMinute / 60;
        const double nextDayNumber = CALDAY(calendarMonth, s.intDay) + 1;
        const SunPosition rise = CALAZEL(nextDayNumber, s.dblUT, s.dblLatDeg, s.dblLonDeg);
        if (!finitePosition(rise)) {
            withholdSetPoint(view);
            return out;
        }
        s.dblLocalMeanTime = rise.localMeanTimeHours;
        s.dblLatRad = rise.latitudeRad;
        azimuth = rise.azimuthDeg;
        elevation = 0;
        view.setSettingElevationText(formatNightElevation(elevation).value_or(std::string()));
        view.setSettingAzimuthText(formatAzimuth(azimuth).value_or(std::string()));
    }
    out.elevationDeg = elevation;
    out.azimuthDeg = azimuth;

    // What goes out is exactly what the boxes show, blanks and rounding included.
    view.sendPointing(view.settingAzimuthText(), view.settingElevationText());
    out.sent = true;
    return out;
}

}  // namespace solar
