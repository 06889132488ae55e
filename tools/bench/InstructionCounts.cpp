// Fixed workloads for counting instructions under callgrind, which does not
// depend on the machine's load:
//
//   valgrind --tool=callgrind --toggle-collect=heliotrope_measured
//            heliotrope-instructions WHAT COUNT
//
// WHAT is calazel, calrise, cycle-day, cycle-night, window-day, window-night,
// clock-tick (the only work while the calculation is stopped), true-sun (the
// rotator bridge's decision for one day message in true-sun mode, 750 ms
// after the last, its refresh of the Earth's orbit every ten minutes
// included) or true-sun-full (the real sun without that shortcut, as the
// one-shot look computes it); "empty"
// measures the harness's own call, to be subtracted. Each unit of work runs once inside heliotrope_measured, so
// only that function's instructions (and what it calls) are collected; the
// set-up, a few warm-up units and the checks between units are not. The
// collected total divided by COUNT is the cost of one unit.
//
//   heliotrope-instructions check
//
// runs every workload a few times natively and says whether each did its
// whole job (a message sent, the chart repainted); it exits non-zero if not.

#include "app/Appearance.h"
#include "companions/rotctl/truesun/TrueSunPointing.h"
#include "solar/JstTime.h"
#include "solar/SunPosition.h"
#include "tools/bench/Workloads.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace heliotrope::companions;
using namespace heliotrope::rotctl;

using heliotrope::app::applyHeliotropeAppearance;

namespace {

// The one function callgrind collects in. Not inlined, so it exists under
// this name; extern "C", so the name needs no demangling to match.
extern "C" __attribute__((noinline)) void heliotrope_measured(const std::function<void()>& unit)
{
    unit();
}

volatile double g_sink;  // keeps results alive without a call the count would include

struct Job {
    std::function<void()> unit;
    std::function<std::string(int)> check;  // unit count since the last check -> problem or empty
};

std::string noProblem(int)
{
    return {};
}

int run(const char* what, int count)
{
    bench::PositionWorkload position;
    bench::RiseSetWorkload riseSet;
    std::unique_ptr<bench::CycleWorkload> cycle;
    std::unique_ptr<bench::WindowWorkload> window;
    bool cyclesOk = true;  // every plain cycle since the last check did its job
    Job job;
    const std::string name = what;
    if (name == "empty") {
        job = {[] {}, noProblem};  // the harness alone: call, dispatch, return
    } else if (name == "calazel") {
        job = {[&] { g_sink = position.once().azimuthDeg; }, noProblem};
    } else if (name == "calrise") {
        job = {[&] { g_sink = riseSet.once(); }, noProblem};
    } else if (name == "cycle-day" || name == "cycle-night") {
        cycle = std::make_unique<bench::CycleWorkload>(name == "cycle-day" ? bench::Sky::Day : bench::Sky::Night);
        job = {[&] { cyclesOk = cycle->once() && cyclesOk; },
               [&](int) {
                   const bool was = cyclesOk;
                   cyclesOk = true;
                   return was ? std::string() : std::string("a cycle sent nothing or ran the other branch");
               }};
    } else if (name == "window-day" || name == "window-night") {
        window = std::make_unique<bench::WindowWorkload>(name == "window-day" ? bench::Sky::Day : bench::Sky::Night);
        if (!window->setupError().empty()) {
            std::fprintf(stderr, "heliotrope-instructions: %s: %s\n", what, window->setupError().c_str());
            return 1;
        }
        job = {[&] { window->once(); }, [&](int n) { return window->check(n); }};
    } else if (name == "clock-tick") {
        window = std::make_unique<bench::WindowWorkload>(bench::Sky::Night, std::chrono::seconds(1));
        if (!window->setupError().empty()) {
            std::fprintf(stderr, "heliotrope-instructions: %s: %s\n", what, window->setupError().c_str());
            return 1;
        }
        job = {[&] { window->clockTick(); }, [&](int n) { return window->checkClock(n); }};
    } else if (name == "true-sun" || name == "true-sun-full") {
        // 八王子 from 2026-10-03 12:00 JST on, a message every 750 ms, with
        // the window's set-point near the real sun so that it is commanded.
        const heliotrope::sky::Site site{35.64, 139.3, 0};
        auto pointing = std::make_shared<TrueSunPointing>(site, heliotrope::sky::Refraction::None,
                                                          heliotrope::sky::Atmosphere{});
        auto utcMs = std::make_shared<qint64>(1790996400000);
        auto commanded = std::make_shared<bool>(true);
        if (name == "true-sun") {
            // The window's set-points for the messages, made beforehand (the
            // real bridge reads them from the datagram): the model, about
            // 1.6° from the sun then.
            auto setPoints = std::make_shared<std::vector<SetPoint>>();
            for (int i = 0; i < count + 16; ++i) {
                const solar::ClockReading jst = solar::jstFromUnixSeconds((*utcMs + 750LL * i) / 1000);
                const solar::SunPosition model = solar::CALAZEL(
                    solar::CALDAY(static_cast<std::int16_t>(jst.month), static_cast<std::int16_t>(jst.day)),
                    (jst.hour - 9) + jst.minute / 60.0 + jst.second / 3600.0, site.latitude, site.longitude);
                setPoints->push_back(SetPoint{model.azimuthDeg, model.elevationDeg});
            }
            auto next = std::make_shared<std::size_t>(0);
            job.unit = [pointing, utcMs, commanded, setPoints, next] {
                const TrueSunDecision decision = pointing->decide((*setPoints)[(*next)++ % setPoints->size()], *utcMs);
                *commanded = *commanded && !decision.windowCommanded;
                g_sink = decision.target.azimuth;
                *utcMs += 750;
            };
        } else {
            job.unit = [site, utcMs, commanded] {
                const heliotrope::sky::TrueSunPosition sun = heliotrope::sky::trueSunTopocentric(static_cast<double>(*utcMs) / 1000.0, site);
                *commanded = *commanded && sun.status == heliotrope::sky::EphemerisStatus::Good;
                g_sink = sun.azimuth;
                *utcMs += 750;
            };
        }
        job.check = [commanded](int) {
            return *commanded ? std::string() : std::string("the real sun was not computed or not commanded");
        };
    } else {
        std::fprintf(stderr, "heliotrope-instructions: unknown workload %s\n", what);
        return 2;
    }

    // Warm-up outside the collection: the first cycles fill the chart's
    // caches and the fonts' glyph caches, which a running window has long done.
    constexpr int kWarmUp = 8;
    for (int i = 0; i < kWarmUp; ++i)
        job.unit();
    std::string problem = job.check(kWarmUp);
    for (int i = 0; i < count && problem.empty(); ++i) {
        heliotrope_measured(job.unit);
        problem = job.check(1);
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "heliotrope-instructions: %s: %s\n", what, problem.c_str());
        return 1;
    }
    std::printf("%s %d\n", what, count);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || (std::strcmp(argv[1], "check") != 0 && argc < 3)) {
        std::fputs("usage: heliotrope-instructions WHAT COUNT | check\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    applyHeliotropeAppearance(app);
    if (std::strcmp(argv[1], "check") == 0) {
        int status = 0;
        for (const char* what : {"calazel", "calrise", "cycle-day", "cycle-night", "window-day", "window-night", "clock-tick",
                                 "true-sun", "true-sun-full"}) {
            if (run(what, 4) != 0)
                status = 1;
        }
        return status;
    }
    const int count = std::atoi(argv[2]);
    if (count < 1) {
        std::fputs("heliotrope-instructions: COUNT must be a positive number\n", stderr);
        return 2;
    }
    return run(argv[1], count);
}
