// Prints the real sun that heliotrope-rotctl's true-sun mode commands (ERFA,
// through companions/sky) and the window's model sun, for truesun_compare.py
// to hold against python3-ephem, a reference not built on ERFA. Development
// and test only: nothing in the programs uses it.
//
//   heliotrope-truesun-table FIRST_YEAR LAST_YEAR [STEP_HOURS] [--more-sites]
//
// One CSV row per instant with the real sun above the horizon, every
// STEP_HOURS (default 1) whole hours of UTC from 1 January of FIRST_YEAR,
// 00:00 JST, to the end of LAST_YEAR:
//   site,latitudeDeg,longitudeDeg,heightM,unixSeconds,trueAz,trueEl,modelAz,modelEl,status
// The sites are the window's nine listed cities at height 0; --more-sites
// adds a mountain top, a site below sea level and sites in the other three
// quarters of the globe, so that a sign or a height mistake shows. The model
// columns are the window's CALAZEL at the JST clock reading of the instant,
// on the time base of its calculation cycle. status is ERFA's: good or
// dubious (past its leap-second table).

#include "app/observatories/ObservatoryTable.h"
#include "companions/sky/TrueSun.h"
#include "solar/JstTime.h"
#include "solar/SunPosition.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using heliotrope::app::observatories;
using heliotrope::app::Observatory;

namespace {

struct Site {
    std::string name;
    heliotrope::sky::Site where;
};

std::vector<Site> sites(bool more)
{
    std::vector<Site> out;
    for (const Observatory& entry : observatories()) {
        if (!entry.latitudeText)
            continue;  // the free-input entry
        out.push_back({entry.name.toStdString(),
                       {entry.latitudeText->toDouble(), entry.longitudeText->toDouble(), 0.0}});
    }
    if (more) {
        out.push_back({"Fuji", {35.3606, 138.7274, 3776.0}});
        out.push_back({"DeadSea", {31.5, 35.5, -430.0}});
        out.push_back({"Sydney", {-33.8688, 151.2093, 50.0}});
        out.push_back({"Greenwich", {51.4769, -0.0005, 46.0}});
        out.push_back({"Fairbanks", {64.8378, -147.7164, 136.0}});
        out.push_back({"SantiagoChile", {-33.4489, -70.6693, 570.0}});
    }
    return out;
}

long long unixSecondsOfJstNewYear(int year)
{
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = 0;
    t.tm_mday = 1;
    return static_cast<long long>(timegm(&t)) - 9 * 3600;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<const char*> numbers;
    bool more = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--more-sites") == 0)
            more = true;
        else
            numbers.push_back(argv[i]);
    }
    if (numbers.size() < 2) {
        std::fprintf(stderr, "usage: heliotrope-truesun-table FIRST_YEAR LAST_YEAR [STEP_HOURS] [--more-sites]\n");
        return 2;
    }
    const int firstYear = std::atoi(numbers[0]);
    const int lastYear = std::atoi(numbers[1]);
    const long long stepHours = numbers.size() > 2 ? std::atoll(numbers[2]) : 1;
    if (firstYear < 1900 || lastYear < firstYear || lastYear > 2200 || stepHours < 1) {
        std::fprintf(stderr, "heliotrope-truesun-table: years 1900 to 2200, first not after last, step at least 1\n");
        return 2;
    }

    const long long begin = unixSecondsOfJstNewYear(firstYear);
    const long long end = unixSecondsOfJstNewYear(lastYear + 1);
    std::printf("site,latitudeDeg,longitudeDeg,heightM,unixSeconds,trueAz,trueEl,modelAz,modelEl,status\n");
    for (const Site& site : sites(more)) {
        for (long long t = begin; t < end; t += stepHours * 3600) {
            const heliotrope::sky::TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(static_cast<double>(t), site.where);
            if (sun.status == heliotrope::sky::EphemerisStatus::Failed) {
                std::fprintf(stderr, "heliotrope-truesun-table: ERFA failed at %lld\n", t);
                return 1;
            }
            if (!(sun.elevation > 0))
                continue;
            const solar::ClockReading jst = solar::jstFromUnixSeconds(t);
            const double dayNumber = solar::CALDAY(static_cast<std::int16_t>(jst.month), static_cast<std::int16_t>(jst.day));
            const double ut = (jst.hour - 9) + jst.minute / 60.0 + jst.second / 3600.0;
            const solar::SunPosition model = solar::CALAZEL(dayNumber, ut, site.where.latitude, site.where.longitude);
            std::printf("%s,%.6f,%.6f,%.1f,%lld,%.7f,%.7f,%.6f,%.6f,%s\n", site.name.c_str(), site.where.latitude,
                        site.where.longitude, site.where.height, t, sun.azimuth, sun.elevation, model.azimuthDeg,
                        model.elevationDeg,
                        sun.status == heliotrope::sky::EphemerisStatus::Good ? "good" : "dubious");
        }
    }
    return 0;
}
