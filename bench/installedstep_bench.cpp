// An installed step run as the program runs it (its own process, the planes shared with it,
// the result read back) against the same function called in this process, on 4096 x 4096.
#include "installedsteps.h"
#include "steplibrary.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <vector>

namespace {

constexpr int kSide = 4096;
constexpr std::size_t kPixels = std::size_t(kSide) * kSide;

struct Planes {
    std::vector<BYTE> gray = std::vector<BYTE>(kPixels);
    std::vector<BYTE> color = std::vector<BYTE>(3 * kPixels);
    std::vector<BYTE> result = std::vector<BYTE>(kPixels);
    Planes() {
        std::mt19937 generator(12345);
        for (BYTE& byte : color)
            byte = static_cast<BYTE>(generator());
    }
    CStepInput Input() const { return {kSide, kSide, gray.data(), color.data()}; }
};

void InProcess(benchmark::State& state) {
    Planes planes;
    const CStepLibrary library(VEXLAN_BENCH_STEP);
    const vexlan_image image{kSide, kSide, planes.gray.data(), planes.color.data(),
                             planes.result.data()};
    for (auto _ : state) {
        std::fill(planes.result.begin(), planes.result.end(), BYTE{0}); // as ApplyStep does
        library.Entry()->run(&image);
        benchmark::DoNotOptimize(planes.result.data());
        benchmark::ClobberMemory();
    }
}

void OwnProcess(benchmark::State& state) {
    Planes planes;
    const CInstalledStep step{VEXLAN_BENCH_STEP, "benchinvert", "", "", ""};
    for (auto _ : state) {
        if (RunInstalledStep(step, planes.Input(), planes.result.data(), std::nullopt, "bench"))
            state.SkipWithError("the step failed");
        benchmark::DoNotOptimize(planes.result.data());
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(InProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OwnProcess)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_MAIN();
