// Wall and CPU time of the calculation's parts and of whole cycles, with
// Google Benchmark. The window cycles run the real window on Qt's offscreen
// platform against a loopback controller.
//
//   heliotrope-bench [--benchmark_* options]
//
// Times depend on the machine and on whatever else it runs; the instruction
// counts of heliotrope-instructions do not.

#include "app/Appearance.h"
#include "tools/bench/Workloads.h"

#include <QApplication>

#include <benchmark/benchmark.h>

using heliotrope::app::applyHeliotropeAppearance;

namespace {

void BM_CALAZEL(benchmark::State& state)
{
    bench::PositionWorkload work;
    for (auto _ : state) {
        solar::SunPosition p = work.once();
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(BM_CALAZEL);

void BM_CALRISE(benchmark::State& state)
{
    bench::RiseSetWorkload work;
    for (auto _ : state)
        benchmark::DoNotOptimize(work.once());
}
BENCHMARK(BM_CALRISE);

void BM_Cycle(benchmark::State& state, bench::Sky sky)
{
    bench::CycleWorkload work(sky);
    for (auto _ : state) {
        if (!work.once()) {
            state.SkipWithError("the cycle sent nothing or ran the other branch");
            break;
        }
    }
}
BENCHMARK_CAPTURE(BM_Cycle, night, bench::Sky::Night);
BENCHMARK_CAPTURE(BM_Cycle, day, bench::Sky::Day);

void BM_WindowCycle(benchmark::State& state, bench::Sky sky)
{
    bench::WindowWorkload work(sky);
    if (!work.setupError().empty()) {
        state.SkipWithError(work.setupError().c_str());
        return;
    }
    int unchecked = 0;
    std::string problem;
    for (auto _ : state) {
        work.once();
        // Reading the controller's socket is the controller's work, not the
        // window's: kept out of the time, and done in batches to keep the
        // pauses few.
        if (++unchecked == 64) {
            state.PauseTiming();
            problem = work.check(unchecked);
            unchecked = 0;
            state.ResumeTiming();
            if (!problem.empty())
                break;
        }
    }
    if (problem.empty() && unchecked > 0)
        problem = work.check(unchecked);
    if (!problem.empty())
        state.SkipWithError(problem.c_str());
}
BENCHMARK_CAPTURE(BM_WindowCycle, day, bench::Sky::Day)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_WindowCycle, night, bench::Sky::Night)->Unit(benchmark::kMicrosecond);

// All that runs while the calculation is stopped: the time label, once a second.
void BM_ClockTick(benchmark::State& state)
{
    bench::WindowWorkload work(bench::Sky::Night, std::chrono::seconds(1));
    if (!work.setupError().empty()) {
        state.SkipWithError(work.setupError().c_str());
        return;
    }
    for (auto _ : state)
        work.clockTick();
    const std::string problem = work.checkClock(static_cast<int>(state.iterations()));
    if (!problem.empty())
        state.SkipWithError(problem.c_str());
}
BENCHMARK(BM_ClockTick)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    applyHeliotropeAppearance(app);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
