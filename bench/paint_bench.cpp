// A full repaint of a 4096 x 4096 colour image with its result beside it, against copying
// the same number of surface bytes and against the toolkit drawing a prepared image.
#include "vexlanview.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int imageSide = 4096;
constexpr int surfaceWidth = 2 * imageSide;
constexpr std::size_t surfaceBytes = std::size_t{surfaceWidth} * imageSide * 4;

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

    LoadedView() {
        const std::size_t pixels = std::size_t{imageSide} * imageSide;
        view->m_nWidth = view->m_nHeight = imageSide;
        view->m_pGrayImage = RandomPlane(pixels, 1);
        view->m_pColorImage = RandomPlane(3 * pixels, 2);
        view->m_pResultImage = RandomPlane(pixels, 3);
        view->m_bColorMode = 1;
        view->m_bShowResult = 1;
    }
};

void PaintVexlan(benchmark::State& state) {
    LoadedView loaded;
    std::vector<std::uint32_t> surface(surfaceBytes / 4);
    for (auto _ : state) {
        CDC dc(surface.data(), surfaceWidth, imageSide, surfaceWidth);
        loaded.view->OnDraw(&dc);
        benchmark::DoNotOptimize(surface.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * surfaceBytes));
}

void PaintMemcpy(benchmark::State& state) {
    std::vector<std::uint32_t> source(surfaceBytes / 4, 0xFF123456u);
    std::vector<std::uint32_t> surface(surfaceBytes / 4);
    for (auto _ : state) {
        std::memcpy(surface.data(), source.data(), surfaceBytes);
        benchmark::DoNotOptimize(surface.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * surfaceBytes));
}

void PaintQPainter(benchmark::State& state) {
    QImage prepared(surfaceWidth, imageSide, QImage::Format_RGB32);
    prepared.fill(0x123456);
    QImage surface(surfaceWidth, imageSide, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter painter(&surface);
        painter.drawImage(0, 0, prepared);
        painter.end();
        benchmark::DoNotOptimize(surface.bits());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * surfaceBytes));
}

} // namespace

BENCHMARK(PaintVexlan)->Name("Paint/vexlan")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintMemcpy)->Name("Paint/memcpy")->Unit(benchmark::kMillisecond);
BENCHMARK(PaintQPainter)->Name("Paint/qpainter")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
