// The segmentation step over a 4096 x 4096 colour plane of random bytes, next to a plain copy
// of the same plane as the memory-speed yardstick.
#include "colorsegmentation.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int kSide = 4096;
constexpr std::size_t kPixels = std::size_t(kSide) * kSide;

const std::vector<BYTE>& RandomColorPlane() {
    static const std::vector<BYTE> plane = [] {
        std::vector<BYTE> bytes(3 * kPixels);
        std::mt19937 generator(12345);
        for (BYTE& byte : bytes)
            byte = static_cast<BYTE>(generator());
        return bytes;
    }();
    return plane;
}

void Segment(benchmark::State& state) {
    const std::vector<BYTE>& plane = RandomColorPlane();
    std::vector<BYTE> result(kPixels);
    for (auto _ : state) {
        SegmentColorPlane(plane.data(), result.data(), kSide, kSide);
        benchmark::DoNotOptimize(result.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plane.size()));
}

void CopyPlane(benchmark::State& state) {
    const std::vector<BYTE>& plane = RandomColorPlane();
    std::vector<BYTE> copy(plane.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), plane.data(), plane.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * plane.size()));
}

} // namespace

BENCHMARK(Segment)->Name("Segment/vexlan")->Unit(benchmark::kMillisecond);
BENCHMARK(CopyPlane)->Name("Segment/memcpy")->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
