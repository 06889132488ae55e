// Prints what the model says for the nine listed cities over whole years, as
// CSV on standard output, for compare.mjs to hold against a reference
// ephemeris. Development only: nothing in the program uses it.
//
//   heliotrope-model-table FIRST_YEAR [LAST_YEAR]
//
// Rows, all times JST:
//   P,city,YYYY-MM-DD,HH:MM,elevationDeg,azimuthDeg
//       the sun's place every 10 minutes, from CALAZEL with the time base the
//       calculation cycle uses (the clock date's day number, UT = hour - 9 +
//       minute / 60, negative before 09:00);
//   S,city,YYYY-MM-DD,HH,MM,tSet
//       the sunset the cycle shows on that date (whole hours, truncated
//       minutes) and the solver's unrounded root t (days from 09:00 JST);
//   R,city,YYYY-MM-DD,HH,MM,tRise
//       the next sunrise the cycle shows on that date, which falls on the
//       morning of the following date.
// A date on which the solver finds no time prints "-" for it.

#include "solar/CalculationCycle.h"
#include "solar/CalculationState.h"
#include "solar/CycleView.h"
#include "solar/RiseSet.h"
#include "solar/SunPosition.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct City {
    const char* name;
    const char* latitude;
    const char* longitude;
};

// The observation-point list, with the texts it writes into the boxes.
const City kCities[] = {
    {"Hachioji", "35.64", "139.3"},
    {"Tokyo", "35.65", "139.7"},
    {"Sapporo", "43.06", "141.3"},
    {"Sendai", "38.27", "140.9"},
    {"Nagoya", "35.17", "136.9"},
    {"Osaka", "34.68", "135.5"},
    {"Hiroshima", "34.37", "132.4"},
    {"Fukuoka", "33.58", "130.4"},
    {"Naha", "26.217", "127.7"},
};

// Only the notice matters here.
class NoticeView final : public solar::CycleView {
public:
    NoticeView(const char* latitude, const char* longitude)
        : m_latitude(latitude)
        , m_longitude(longitude)
    {
    }
    std::string observerLatitudeText() const override { return m_latitude; }
    std::string observerLongitudeText() const override { return m_longitude; }
    void showObserverProblem(const solar::ObserverProblem&) override { }
    void setSettingElevationText(const std::string& t) override { m_elevation = t; }
    void setSettingAzimuthText(const std::string& t) override { m_azimuth = t; }
    std::string settingAzimuthText() const override { return m_azimuth; }
    std::string settingElevationText() const override { return m_elevation; }
    void drawSky(const solar::SkyStep&) override { }
    void drawNotice(const solar::Notice& n) override { notice = n; }
    void sendPointing(const std::string&, const std::string&) override { }

    solar::Notice notice;

private:
    std::string m_latitude;
    std::string m_longitude;
    std::string m_elevation;
    std::string m_azimuth;
};

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysIn(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// One tick of the cycle at the given clock time; returns the notice it drew
// and leaves the state as the tick left it.
solar::Notice tickNotice(solar::CalculationState& state, const City& city, int y, int m, int d, int hour)
{
    NoticeView view(city.latitude, city.longitude);
    solar::runCalculationCycle(state, solar::ClockReading{y, m, d, hour, 0, 0}, view);
    return view.notice;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: heliotrope-model-table FIRST_YEAR [LAST_YEAR]\n");
        return 2;
    }
    const int firstYear = std::atoi(argv[1]);
    const int lastYear = argc > 2 ? std::atoi(argv[2]) : firstYear;

    for (const City& city : kCities) {
        const double latitude = std::strtod(city.latitude, nullptr);
        const double longitude = std::strtod(city.longitude, nullptr);
        solar::CalculationState state;
        for (int y = firstYear; y <= lastYear; ++y) {
            for (int m = 1; m <= 12; ++m) {
                for (int d = 1; d <= daysIn(y, m); ++d) {
                    const double dayNumber = solar::CALDAY(static_cast<std::int16_t>(m), static_cast<std::int16_t>(d));
                    for (int minuteOfDay = 0; minuteOfDay < 24 * 60; minuteOfDay += 10) {
                        const int hour = minuteOfDay / 60;
                        const int minute = minuteOfDay % 60;
                        const double ut = (hour - 9) + minute / 60.0;
                        const solar::SunPosition sun = solar::CALAZEL(dayNumber, ut, latitude, longitude);
                        std::printf("P,%s,%04d-%02d-%02d,%02d:%02d,%.6f,%.6f\n", city.name, y, m, d, hour, minute,
                                    sun.elevationDeg, sun.azimuthDeg);
                    }

                    // A noon tick shows the sunset, a late-evening tick the next
                    // sunrise; the solver's roots come from the same date's state.
                    const solar::Notice set = tickNotice(state, city, y, m, d, 12);
                    const solar::Notice rise = tickNotice(state, city, y, m, d, 23);
                    solar::CalculationState probe = state;
                    const solar::RiseSetOutcome roots = solar::CALRISE(probe);
                    if (set.kind == solar::Notice::Kind::Sunset)
                        std::printf("S,%s,%04d-%02d-%02d,%.0f,%.0f,%.8f\n", city.name, y, m, d, set.hour, set.minute,
                                    roots.tSet);
                    else
                        std::printf("S,%s,%04d-%02d-%02d,-,-,-\n", city.name, y, m, d);
                    if (rise.kind == solar::Notice::Kind::NextSunrise)
                        std::printf("R,%s,%04d-%02d-%02d,%.0f,%.0f,%.8f\n", city.name, y, m, d, rise.hour,
                                    rise.minute, roots.tRise);
                    else
                        std::printf("R,%s,%04d-%02d-%02d,-,-,-\n", city.name, y, m, d);
                }
            }
        }
    }
    return 0;
}
