#pragma once

#include <string>

namespace solar {

// What the sky step of one cycle asks the chart to show. The cycle decides
// (day or night, marker or not); the chart only draws what it is told.
struct SkyStep {
    bool sunUp = false;       // elevation strictly greater than 0
    bool drawMarker = false;  // the blink phase says this day tick shows the sun
    double azimuthDeg = 0;    // unrounded, from north through east
    double elevationDeg = 0;  // unrounded, degrees above the horizon
};

// The notice drawn on the chart after the rise/set solver has run.
struct Notice {
    enum class Kind {
        Sunset,              // by day: today's sunset, hour and minute below
        SunsetUnknown,       // by day, but the solver could not form a sunset
        NextSunrise,         // by night: has set, next sunrise, hour and minute below
        NextSunriseUnknown,  // by night, but the solver could not form a sunrise
        ObserverInvalid,     // the observation point could not be read or computed
    };
    Kind kind = Kind::Sunset;
    double hour = 0;    // JST clock, a whole number; meaningful for Sunset/NextSunrise
    double minute = 0;  // whole minutes, truncated
};

// Which observation-point box holds text the cycle cannot use.
struct ObserverProblem {
    bool latitude = false;
    bool longitude = false;
    bool position = false;  // both read, but no finite sun position results from them
    bool any() const { return latitude || longitude || position; }
};

// The small surface that one calculation cycle writes to. The main window
// implements it; tests implement it with plain strings. Texts are UTF-8.
class CycleView {
public:
    virtual ~CycleView() = default;

    virtual std::string observerLatitudeText() const = 0;
    virtual std::string observerLongitudeText() const = 0;
    // Called every tick: a problem marks the boxes at fault, none clears them.
    virtual void showObserverProblem(const ObserverProblem& problem) = 0;

    virtual void setSettingElevationText(const std::string& text) = 0;
    virtual void setSettingAzimuthText(const std::string& text) = 0;
    virtual std::string settingAzimuthText() const = 0;
    virtual std::string settingElevationText() const = 0;

    virtual void drawSky(const SkyStep& step) = 0;
    virtual void drawNotice(const Notice& notice) = 0;

    // Hands the two set-point texts, exactly as shown, to the controller link.
    virtual void sendPointing(const std::string& azimuthText, const std::string& elevationText) = 0;
};

}  // namespace solar
