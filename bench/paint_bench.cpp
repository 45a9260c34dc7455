// Repaints of a colour image with its result beside it: a full repaint of a 4096 x 4096
// image, and one repaint of an 800 x 520 view over an 8192 x 8192 image, at the origin and
// scrolled to the middle, and at zoom 1/16, 1 and 16 in the middle. Each against copying the
// same number of surface bytes; the full repaint also against the toolkit drawing a prepared
// image.
#include "vexlanview.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int fullSide = 4096;
constexpr int fullSurfaceWidth = 2 * fullSide;
constexpr std::size_t fullSurfaceBytes = std::size_t{fullSurfaceWidth} * fullSide * 4;

constexpr int visibleSide = 8192;
constexpr int viewWidth = 800;
constexpr int viewHeight = 520;
constexpr std::size_t viewBytes = std::size_t{viewWidth} * viewHeight * 4;

CByteBlock RandomPlane(std::size_t size, unsigned seed) {
    CByteBlock plane = DEBUG_NEW_BYTES(size);
    std::mt19937 random(seed);
    for (std::size_t i = 0; i < size; ++i)
        plane[i] = static_cast<BYTE>(random());
    return plane;
}

struct LoadedView {
    std::unique_ptr<CVexlanView> view{
        static_cast<CVexlanView*>(RUNTIME_CLASS(CVexlanView)->CreateObject())};

    explicit LoadedView(int side) {
        const std::size_t pixels = std::size_t(side) * side;
        view->m_nWidth = view->m_nHeight = side;
        view->m_pGrayImage = RandomPlane(pixels, 1);
        view->m_pColorImage = RandomPlane(3 * pixels, 2);
        view->m_pResultImage = RandomPlane(pixels, 3);
        view->m_bColorMode = 1;
        view->m_bShowResult = 1;
    }
};

void PaintVexlan(benchmark::State& state) {
    LoadedView loaded(fullSide);
    std::vector<std::uint32_t> surface(fullSurfaceBytes / 4);
    for (auto _ : state) {
        CDC dc(surface.data(), fullSurfaceWidth, fullSide, fullSurfaceWidth);
        loaded.view->OnDraw(&dc);
        benchmark::DoNotOptimize(surface.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fullSurfaceBytes));
}

// Argument 0 paints at the origin, 1 scrolled to the middle of the painted extent.
void PaintVisibleVexlan(benchmark::State& state) {
    static LoadedView loaded(visibleSide);
    const bool middle = state.range(0) != 0;
    const int scrollX = middle ? (2 * visibleSide - viewWidth) / 2 : 0;
    const int scrollY = middle ? (visibleSide - viewHeight) / 2 : 0;
    std::vector<std::uint32_t> surface(viewBytes / 4);
    for (auto _ : state) {
        CDC dc(surface.data(), viewWidth, viewHeight, viewWidth);
        dc.SetViewportOrg(-scrollX, -scrollY);
        loaded.view->OnDraw(&dc);
        benchmark::DoNotOptimize(surface.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * viewBytes));
}

// The view scrolled to the middle of what it paints at zoom.
void PaintZoomedVexlan(benchmark::State& state, CZoom zoom) {
    static LoadedView loaded(visibleSide);
    const auto middle = [&zoom](int logical, int window) {
        return static_cast<int>(std::max<std::int64_t>(zoom.DeviceOffset(logical) - window, 0) / 2);
    };
    const int scrollX = middle(2 * visibleSide, viewWidth);
    const int scrollY = middle(visibleSide, viewHeight);
    std::vector<std::uint32_t> surface(viewBytes / 4);
    for (auto _ : state) {
        CDC dc(surface.data(), viewWidth, viewHeight, viewWidth);
        dc.SetViewportOrg(-scrollX, -scrollY);
        dc.SetZoom(zoom);
        loaded.view->OnDraw(&dc);
        benchmark::DoNotOptimize(surface.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * viewBytes));
}

void CopySurfaceBytes(benchmark::State& state, std::size_t bytes) {
    std::vector<std::uint32_t> source(bytes / 4, 0xFF123456u);
    std::vector<std::uint32_t> surface(bytes / 4);
    for (auto _ : state) {
        std::memcpy(surface.data(), source.data(), bytes);
        benchmark::DoNotOptimize(surface.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

void PaintMemcpy(benchmark::State& state) {
    CopySurfaceBytes(state, fullSurfaceBytes);
}

void PaintVisibleMemcpy(benchmark::State& state) {
    CopySurfaceBytes(state, viewBytes);
}

void PaintQPainter(benchmark::State& state) {
    QImage prepared(fullSurfaceWidth, fullSide, QImage::Format_RGB32);
    prepared.fill(0x123456);
    QImage surface(fullSurfaceWidth, fullSide, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&surface);
        painter.drawImage(0, 0, prepared);
        painter.end();
        benchmark::DoNotOptimize(surface.bits());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fullSurfaceBytes));
}

} // namespace

BENCHMARK(PaintVexlan)->Name("Paint/vexlan")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintMemcpy)->Name("Paint/memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintQPainter)->Name("Paint/qpainter")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintVisibleVexlan)
    ->Name("Paint/visible/vexlan")
    ->ArgName("middle")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(PaintVisibleMemcpy)->Name("Paint/visible/memcpy")->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    for (const auto& [name, zoom] :
         {std::pair("1/16", CZoom::Reducing(16)), std::pair("1", CZoom()),
          std::pair("16", CZoom::Enlarging(16))})
        benchmark::RegisterBenchmark((std::string("Paint/zoom/vexlan/") + name).c_str(),
                                     PaintZoomedVexlan, zoom)
            ->Unit(benchmark::kMicrosecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
