// Runs the calculation cycle, as the window's timer would, at every step of a
// span of JST clock time for the listed cities and a few hundred typed
// positions, and checks every tick: no crash, nothing non-finite shown, every
// message well formed, and a tick that cannot point the antenna withheld with
// its reason on the chart. Inside the design range every tick must send.
//
//   heliotrope-sweep [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--step-minutes N]
//                    [--places all|cities|typed] [--jobs N] [--per-place] [--progress]
//
// --from is the first JST date swept, --to the first date not swept; the
// defaults sweep 2000-01-01 to 2100-12-31 every 10 minutes. Exit status 0 when
// no tick broke a rule, 1 when one did, 2 for a bad command line.

#include "solar/JstTime.h"
#include "tools/sweep/CycleCheck.h"
#include "tools/sweep/SweepPlaces.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Date {
    int year = 0;
    int month = 0;
    int day = 0;
};

// Days from 1970-01-01 to a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// Seconds since 1970-01-01 00:00 UTC of 00:00 JST on a date.
std::int64_t jstMidnight(const Date& d)
{
    return daysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day)) * 86400 - 9 * 3600;
}

bool parseDate(const char* text, Date& out)
{
    if (std::sscanf(text, "%d-%d-%d", &out.year, &out.month, &out.day) != 3)
        return false;
    return out.year >= 1 && out.month >= 1 && out.month <= 12 && out.day >= 1 && out.day <= 31;
}

[[noreturn]] void usage(const char* why)
{
    std::fprintf(stderr,
                 "heliotrope-sweep: %s\n"
                 "usage: heliotrope-sweep [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--step-minutes N]\n"
                 "                        [--places all|cities|typed] [--jobs N] [--per-place] [--progress]\n",
                 why);
    std::exit(2);
}

std::string grouped(std::uint64_t n)
{
    std::string s = std::to_string(n);
    for (int i = static_cast<int>(s.size()) - 3; i > 0; i -= 3)
        s.insert(static_cast<std::size_t>(i), ",");
    return s;
}

void printTally(const char* title, std::size_t places, const sweep::Tally& t)
{
    std::printf("  %s (%zu): %s ticks; sent by day %s, by night %s (of them without a sunset time %s);\n"
                "      withheld: unusable observation point %s, no sunrise to park at %s; faults %s\n",
                title, places, grouped(t.ticks).c_str(), grouped(t.sentByDay).c_str(),
                grouped(t.sentByNight).c_str(), grouped(t.sunsetUnknown).c_str(),
                grouped(t.withheldObserver).c_str(), grouped(t.withheldNoSunrise).c_str(),
                grouped(t.faults).c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    Date from{2000, 1, 1};
    Date to{2101, 1, 1};
    int stepMinutes = 10;
    std::string which = "all";
    int jobs = 1;
    bool perPlace = false;
    bool progress = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                usage(("missing value for " + arg).c_str());
            return argv[++i];
        };
        if (arg == "--from") {
            if (!parseDate(value(), from))
                usage("bad --from date");
        } else if (arg == "--to") {
            if (!parseDate(value(), to))
                usage("bad --to date");
        } else if (arg == "--step-minutes") {
            stepMinutes = std::atoi(value());
            if (stepMinutes < 1)
                usage("--step-minutes must be at least 1");
        } else if (arg == "--places") {
            which = value();
            if (which != "all" && which != "cities" && which != "typed")
                usage("--places takes all, cities or typed");
        } else if (arg == "--jobs") {
            jobs = std::atoi(value());
            if (jobs < 1)
                usage("--jobs must be at least 1");
        } else if (arg == "--per-place") {
            perPlace = true;
        } else if (arg == "--progress") {
            progress = true;
        } else {
            usage(("unknown argument " + arg).c_str());
        }
    }

    const std::int64_t first = jstMidnight(from);
    const std::int64_t end = jstMidnight(to);
    const std::int64_t step = std::int64_t{stepMinutes} * 60;
    if (end <= first)
        usage("--to must come after --from");

    // The clock readings, once for all places. Each is checked against the
    // instant it came from, so the JST conversion is swept as well.
    std::vector<solar::ClockReading> clock;
    clock.reserve(static_cast<std::size_t>((end - first) / step + 1));
    std::uint64_t clockFaults = 0;
    for (std::int64_t t = first; t < end; t += step) {
        const solar::ClockReading c = solar::jstFromUnixSeconds(t);
        const std::int64_t back = daysFromCivil(c.year, static_cast<unsigned>(c.month), static_cast<unsigned>(c.day))
                * 86400
            + c.hour * 3600 + c.minute * 60 + c.second - 9 * 3600;
        if (back != t && clockFaults++ < 5)
            std::printf("FAULT: %lld s reads as %04d-%02d-%02d %02d:%02d:%02d JST\n", static_cast<long long>(t),
                        c.year, c.month, c.day, c.hour, c.minute, c.second);
        clock.push_back(c);
    }

    const std::vector<sweep::Place> cities = sweep::listedCities();
    const std::vector<sweep::Place> typed = sweep::typedPlaces();
    std::vector<const sweep::Place*> places;
    if (which != "typed")
        for (const sweep::Place& p : cities)
            places.push_back(&p);
    if (which != "cities")
        for (const sweep::Place& p : typed)
            places.push_back(&p);

    std::printf("heliotrope-sweep: %04d-%02d-%02d to %04d-%02d-%02d JST (not included) every %d min: "
                "%s instants x %zu places, %d thread(s)\n",
                from.year, from.month, from.day, to.year, to.month, to.day, stepMinutes,
                grouped(clock.size()).c_str(), places.size(), jobs);
    std::fflush(stdout);

    const auto started = std::chrono::steady_clock::now();
    std::vector<sweep::Tally> tallies(places.size());
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    const auto worker = [&] {
        for (std::size_t i = next++; i < places.size(); i = next++) {
            sweep::PlaceSweep sweepOne(*places[i]);
            for (const solar::ClockReading& c : clock)
                sweepOne.tick(c);
            tallies[i] = sweepOne.tally();
            const std::size_t finished = ++done;
            if (progress && places.size() >= 20 && finished % (places.size() / 10) == 0) {
                const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                std::fprintf(stderr, "  ... %zu of %zu places, %.0f s\n", finished, places.size(), seconds);
            }
        }
    };
    std::vector<std::thread> threads;
    for (int j = 1; j < jobs; ++j)
        threads.emplace_back(worker);
    worker();
    for (std::thread& t : threads)
        t.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    sweep::Tally cityTotal;
    sweep::Tally typedTotal;
    std::size_t cityCount = 0;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (places[i]->listedCity) {
            cityTotal.add(tallies[i]);
            ++cityCount;
        } else {
            typedTotal.add(tallies[i]);
        }
        if (perPlace) {
            const sweep::Tally& t = tallies[i];
            std::printf("    %-34s day %8s night %8s no-sunset %8s withheld %8s/%8s faults %s\n",
                        places[i]->name.c_str(), grouped(t.sentByDay).c_str(), grouped(t.sentByNight).c_str(),
                        grouped(t.sunsetUnknown).c_str(), grouped(t.withheldObserver).c_str(),
                        grouped(t.withheldNoSunrise).c_str(), grouped(t.faults).c_str());
        }
    }
    if (cityCount > 0)
        printTally("listed cities", cityCount, cityTotal);
    if (places.size() > cityCount)
        printTally("typed positions", places.size() - cityCount, typedTotal);

    sweep::Tally all;
    all.add(cityTotal);
    all.add(typedTotal);
    for (const auto& [rule, count] : all.faultsByRule)
        std::printf("  %s ticks broke the rule: %s\n", grouped(count).c_str(), rule.c_str());
    for (const std::string& f : all.firstFaults)
        std::printf("FAULT: %s\n", f.c_str());
    const std::uint64_t faults = all.faults + clockFaults;
    std::printf("heliotrope-sweep: %s ticks in %.1f s (%.2f us a tick), %s faults\n", grouped(all.ticks).c_str(),
                seconds, all.ticks ? seconds * 1e6 / static_cast<double>(all.ticks) * jobs : 0.0,
                grouped(faults).c_str());
    return faults == 0 ? 0 : 1;
}
