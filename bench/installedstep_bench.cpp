// An installed step run as the program runs it (its own process, the planes shared with it,
// the result read back) against the same function called in this process, on 4096 x 4096:
// from the menu command, with the process the program starts while idle, and started cold, as
// vexlan-batch starts one for each image.
#include "debugalloc.h"
#include "installedsteps.h"
#include "readystephost.h"
#include "steplibrary.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <random>

namespace {

constexpr int kSide = 4096;
constexpr std::size_t kPixels = std::size_t(kSide) * kSide;

// The image as the view holds it once a step of its own process has run on it: in shared
// memory. Each run, like each menu command, gets a result plane of its own.
struct Planes {
    CByteBlock gray = DEBUG_NEW_SHARED_BYTES(kPixels);
    CByteBlock color = DEBUG_NEW_SHARED_BYTES(3 * kPixels);
    Planes() {
        std::mt19937 generator(12345);
        std::generate_n(color.get(), 3 * kPixels, [&] { return static_cast<BYTE>(generator()); });
    }
    CStepInput Input() const { return {kSide, kSide, gray.get(), color.get()}; }
};

void InProcess(benchmark::State& state) {
    const Planes planes;
    const CStepLibrary library(VEXLAN_BENCH_STEP);
    for (auto _ : state) {
        CByteBlock result = DEBUG_NEW_BYTES(kPixels);
        std::fill_n(result.get(), kPixels, BYTE{0}); // as a built-in step gets it
        const vexlan_image image{
            kSide, kSide, planes.gray.get(), planes.color.get(), result.get(), nullptr, 0};
        library.Entry()->run(&image);
        benchmark::DoNotOptimize(result.get());
        benchmark::ClobberMemory();
    }
}

void SkipUnlessFinished(benchmark::State& state, const CStepEnd& end) {
    if (end.kind != CStepEnd::Kind::Finished)
        state.SkipWithError(("the step failed: " + end.what).c_str());
}

// The program's idle time, which the user does not wait for, is left out.
void OwnProcess(benchmark::State& state) {
    const Planes planes;
    CReadyStepHost ready;
    for (auto _ : state) {
        state.PauseTiming();
        ready.Prepare(planes.Input());
        ready.WaitReady(-1);
        state.ResumeTiming();
        CPreparedStepHost host = ready.Take(planes.Input());
        if (!host.process || !host.process->Run(VEXLAN_BENCH_STEP))
            state.SkipWithError("the step did not start");
        else
            SkipUnlessFinished(state, host.process->WaitWithTimeout(std::nullopt));
        benchmark::DoNotOptimize(host.result.get());
        benchmark::ClobberMemory();
    }
}

void OwnProcessStartedCold(benchmark::State& state) {
    const Planes planes;
    const CInstalledStep step{VEXLAN_BENCH_STEP, "benchinvert", "", "", std::nullopt, {}};
    for (auto _ : state) {
        CByteBlock result = DEBUG_NEW_SHARED_BYTES(kPixels);
        SkipUnlessFinished(state,
                           RunInstalledStep(step, planes.Input(), result.get(), {}, std::nullopt));
        benchmark::DoNotOptimize(result.get());
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(InProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OwnProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OwnProcessStartedCold)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
