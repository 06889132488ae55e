// Fixed workloads for counting instructions under callgrind, which does not
// depend on the machine's load:
//
//   valgrind --tool=callgrind --toggle-collect=heliotrope_measured
//            heliotrope-instructions WHAT COUNT
//
// WHAT is calazel, calrise, cycle-day, cycle-night, window-day, window-night
// or clock-tick (the only work while the calculation is stopped); "empty"
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
#include "tools/bench/Workloads.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <functional>
#include <string>

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
        for (const char* what : {"calazel", "calrise", "cycle-day", "cycle-night", "window-day", "window-night", "clock-tick"}) {
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
