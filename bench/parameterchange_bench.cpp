// A value turned in the 参数 panel, from the new value to the repainted result on the screen,
// for a 3 x 3 step on a 1024 x 1024 image, against the step's own time in process. Run it under
// `xvfb-run -a` with QT_QPA_PLATFORM=xcb.
// The step is a 3 x 3 mean against a threshold on an image of one gray level, so every other
// value turns the result from black to white; the probe reads a pixel of the result back from
// the display server, once the step has ended, until the new colour is there. Between two
// values the program is left idle, as between two moves of a person, so the step's process is
// started ahead.
#include "debugalloc.h"
#include "displaybenchmain.h"
#include "resource.h"
#include "steplibrary.h"
#include "vexlan.h"
#include "vexlanview.h"
#include "wndimpl.h"

#include <QApplication>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QImage>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

constexpr int kSide = 1024;
constexpr std::size_t kPixels = std::size_t{kSide} * kSide;
constexpr BYTE kGray = 100;
// Above and below the image's gray level: white, then black.
constexpr int kValues[] = {50, 150};

void Idle() {
    QEventLoop loop;
    QTimer::singleShot(100, &loop, &QEventLoop::quit);
    loop.exec();
}

// The program with the step installed in a step folder of its own, the image open and the
// step's result shown with the result's top-left corner at the view's.
struct TurnedProgram {
    QTemporaryDir data;
    QTemporaryDir images;
    CVexlanView* view = nullptr;
    QWidget* widget = nullptr;
    QDoubleSpinBox* box = nullptr;
    QPoint probe;

    TurnedProgram() {
        const std::filesystem::path steps = data.filePath("vexlan/steps").toStdString();
        std::filesystem::create_directories(steps);
        std::filesystem::copy_file(VEXLAN_BENCH_STEP, steps / "benchgate.so");
        setenv("XDG_DATA_HOME", data.path().toLocal8Bit().constData(), 1);
        static char program[] = "vexlan";
        static char* argv[] = {program};
        theApp.InitApplication(1, argv);
        theApp.InitInstance();
        auto* frame = static_cast<CFrameWnd*>(theApp.m_pMainWnd);
        view = static_cast<CVexlanView*>(frame->GetActiveView());
        widget = AfxGetWidget(view);
        widget->window()->resize(1200, 900);
        QImage image(kSide, kSide, QImage::Format_RGB32);
        image.fill(qRgb(kGray, kGray, kGray));
        image.save(images.filePath("gray.png"));
        view->UseSingleFile(*AfxSystemPath(images.path().toStdString()), "gray.png");
        view->m_bColorMode = 1;
        view->LoadImageAt(0);
        view->UpdateInstalledSteps();
        view->OnInstalledStep(ID_FIRST_INSTALLED_STEP);
        while (view->IsStepRunning())
            QApplication::processEvents();
        view->ScrollToPosition(CPoint{kSide, 0});
        box = widget->window()
                  ->findChild<QDockWidget*>(QString("pane%1").arg(IDW_PARAMETER_PANE))
                  ->findChild<QDoubleSpinBox*>();
        probe = widget->mapTo(widget->window(), QPoint(20, 20));
        Idle();
    }
    ~TurnedProgram() { theApp.ExitInstance(); }

    QRgb Shown() const {
        return widget->screen()
                   ->grabWindow(widget->window()->winId(), probe.x(), probe.y(), 1, 1)
                   .toImage()
                   .pixel(0, 0) &
               0xFFFFFF;
    }
};

// Made once for every run; it goes before the application object, whose widgets it holds.
std::unique_ptr<TurnedProgram>& TurnedProgramHolder() {
    static std::unique_ptr<TurnedProgram> program;
    return program;
}

void ValueToFrame(benchmark::State& state) {
    if (!TurnedProgramHolder())
        TurnedProgramHolder() = std::make_unique<TurnedProgram>();
    TurnedProgram& program = *TurnedProgramHolder();
    if (!program.box) {
        state.SkipWithError("the 参数 panel did not show");
        return;
    }
    std::size_t turn = 0;
    for (auto _ : state) {
        const int value = kValues[turn++ % 2];
        const QRgb wanted = value <= kGray ? 0xFFFFFF : 0x000000;
        program.box->setValue(value);
        // Waiting, not polling, while the step runs: the probe would take its processor.
        while (program.view->IsStepRunning())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        while (program.Shown() != wanted)
            QApplication::processEvents();
        state.PauseTiming();
        Idle();
        state.ResumeTiming();
    }
}

// The same step called in this process on the same planes: the step's own time.
void StepInProcess(benchmark::State& state) {
    const CStepLibrary library(VEXLAN_BENCH_STEP);
    CByteBlock gray = DEBUG_NEW_ZEROED_BYTES(kPixels);
    CByteBlock color = DEBUG_NEW_BYTES(3 * kPixels);
    std::fill_n(color.get(), 3 * kPixels, kGray);
    const double values[] = {kValues[0]};
    for (auto _ : state) {
        CByteBlock result = DEBUG_NEW_ZEROED_BYTES(kPixels);
        library.Run({kSide, kSide, gray.get(), color.get(), result.get(), nullptr, 0}, values);
        benchmark::DoNotOptimize(result.get());
        benchmark::ClobberMemory();
    }
}

} // namespace

BENCHMARK(StepInProcess)
    ->Name("Step/1024x1024/inprocess")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(ValueToFrame)
    ->Name("ParameterChange/1024x1024/valuetoframe")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    return RunBenchmarksOnDisplay(argc, argv, [] { TurnedProgramHolder().reset(); });
}
