// The started program, its window on a real display: run it under `xvfb-run -a` with
// QT_QPA_PLATFORM=xcb.
// - Page Down through a list of 4096 x 4096 24-bit images, from the key to the new picture on
//   the screen, with the idle time reading the next image ahead and without, and with an
//   installed step (whose host the idle time starts for each image) and without. The probe
//   reads the pixel back from the display server until the new image's colour is there.
//   Between two steps the program is left idle until the read ahead and the host started
//   ahead, if any, are done, as between the keys of a person. The first Page Down after the
//   list is opened, on its own.
// - File Open of an 8192 x 4096 24-bit image, from the file to the picture on the screen, with
//   an installed step and without.
// - The peak resident memory of the process after it opened an 8192 x 4096 24-bit image and
//   ran the segmentation on it, next to the bytes of its planes. Alone in its run
//   (--benchmark_filter=Memory), since the peak is the whole process's.
#include "displaybenchmain.h"
#include "imagesetchoice.h"
#include "resource.h"
#include "vexlan.h"
#include "vexlanview.h"
#include "wndimpl.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QPixmap>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kSide = 4096;
constexpr int kImages = 6;

// Image i is one colour throughout; neighbours differ in every channel.
QRgb ColourOf(int image) {
    return qRgb(40 * image + 20, 255 - 40 * image, (97 * image) % 256);
}

// A 24-bit file of one colour, written a row at a time so that the probe's own memory stays
// small. Widths of a multiple of 4 pixels need no row padding.
void WriteUniformBitmap(const std::string& path, std::uint32_t width, std::uint32_t height,
                        QRgb colour) {
    std::vector<char> row(std::size_t{3} * width);
    const std::uint32_t fields[] = {
        static_cast<std::uint32_t>(54 + row.size() * height), 0, 54, 40, width, height};
    std::vector<char> headers(54);
    headers[0] = 'B';
    headers[1] = 'M';
    for (std::size_t field = 0; field < std::size(fields); ++field)
        for (std::size_t byte = 0; byte < 4; ++byte)
            headers[2 + 4 * field + byte] = static_cast<char>(fields[field] >> 8 * byte);
    headers[26] = 1;
    headers[28] = 24;
    for (std::size_t at = 0; at < row.size(); at += 3) {
        row[at] = static_cast<char>(qBlue(colour));
        row[at + 1] = static_cast<char>(qGreen(colour));
        row[at + 2] = static_cast<char>(qRed(colour));
    }
    std::ofstream file(path, std::ios::binary);
    file.write(headers.data(), static_cast<std::streamsize>(headers.size()));
    for (std::uint32_t y = 0; y < height; ++y)
        file.write(row.data(), static_cast<std::streamsize>(row.size()));
}

// A step folder of the benchmark's own, for all the programs it starts.
const QTemporaryDir& StepData() {
    static const QTemporaryDir data;
    setenv("XDG_DATA_HOME", data.path().toLocal8Bit().constData(), 1);
    return data;
}

// The started program, its window shown, with the files of an image set written.
struct StartedProgram {
    QTemporaryDir folder;
    CImageSetChoice choice{*AfxSystemPath(folder.path().toStdString()), {}, 0};
    CVexlanView* view = nullptr;
    QWidget* widget = nullptr;
    QPoint probe;

    StartedProgram() {
        StepData();
        static char program[] = "vexlan";
        static char* argv[] = {program};
        theApp.InitApplication(1, argv);
        theApp.InitInstance();
        view =
            static_cast<CVexlanView*>(static_cast<CFrameWnd*>(theApp.m_pMainWnd)->GetActiveView());
        widget = AfxGetWidget(view);
        probe = widget->mapTo(widget->window(), QPoint(20, 20));
    }
    ~StartedProgram() { theApp.ExitInstance(); }

    // Puts the benchmark's step into the step folder, or takes it out.
    void InstallStep(bool installed) const {
        const std::filesystem::path folder =
            std::filesystem::path(StepData().path().toStdString()) / "vexlan/steps";
        std::filesystem::create_directories(folder);
        std::filesystem::remove(folder / "benchinvert.so");
        if (installed)
            std::filesystem::copy_file(VEXLAN_BENCH_STEP, folder / "benchinvert.so");
        view->UpdateInstalledSteps();
    }
    QRgb Shown() const {
        const QImage pixel = widget->screen()
                                 ->grabWindow(widget->window()->winId(), probe.x(), probe.y(), 1, 1)
                                 .toImage();
        return pixel.pixel(0, 0) & 0xFFFFFF;
    }
    void WaitUntilShown(QRgb colour) const {
        while (Shown() != (colour & 0xFFFFFF))
            QApplication::processEvents();
    }
    // Opens the file of the folder as File Open does once its dialog is answered.
    void Open(const std::string& name) const {
        view->OnDropFiles(
            {*AfxSystemPath(folder.filePath(QString::fromStdString(name)).toStdString())});
    }

    void AddFile(std::uint32_t width, std::uint32_t height, QRgb colour) {
        choice.names.push_back(std::to_string(choice.names.size()) + ".bmp");
        WriteUniformBitmap(
            folder.filePath(QString::fromStdString(choice.names.back())).toStdString(), width,
            height, colour);
    }
    // Idle until the event loop has waited, then until the idle time's work has ended: the
    // read ahead, and the host started ahead for an installed step.
    void Idle() const {
        QEventLoop loop;
        QTimer::singleShot(50, &loop, &QEventLoop::quit);
        loop.exec();
        view->FinishReadAhead();
        view->FinishPreparingStepHost();
    }
    // Shows the set's first image in colour, as File Open of a list or a bitmap does.
    void ShowSet(int fileCount) {
        choice.fileCount = fileCount;
        view->UseImageSet(choice);
        view->m_bColorMode = 1;
        view->LoadImageAt(0);
        view->FinishLoading();
    }
};

// Showing the first image of a list of kImages, list.lst.
struct ShownList : StartedProgram {
    ShownList() {
        for (int image = 0; image < kImages; ++image)
            AddFile(kSide, kSide, ColourOf(image));
        std::ofstream list(folder.filePath("list.lst").toStdString());
        list << kImages << "\n" << choice.directory << "\n";
        for (const std::string& name : choice.names)
            list << name << "\n";
        ShowSet(kImages);
    }

    void ShowFirst() {
        view->m_nCurrentFile = 0;
        view->LoadImageAt(0);
        WaitUntilShown(ColourOf(0));
        Idle();
    }
    // Opens the list afresh, as File Open does.
    void OpenList() {
        Open("list.lst");
        WaitUntilShown(ColourOf(0));
        Idle();
    }
    void PageDown() const {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        WaitUntilShown(ColourOf(view->m_nCurrentFile));
    }
};

// One list for every run of the key-to-frame benchmark, written once; it goes before the
// application object, whose widgets it holds.
std::unique_ptr<ShownList>& ShownListHolder() {
    static std::unique_ptr<ShownList> list;
    return list;
}

ShownList& TheShownList() {
    if (!ShownListHolder())
        ShownListHolder() = std::make_unique<ShownList>();
    return *ShownListHolder();
}

void KeyToFrame(benchmark::State& state) {
    ShownList& list = TheShownList();
    list.view->EnableReadAhead(state.range(0) != 0);
    list.InstallStep(state.range(1) != 0);
    list.ShowFirst();
    for (auto _ : state) {
        list.PageDown();
        state.PauseTiming();
        if (list.view->m_nCurrentFile + 1 == kImages)
            list.ShowFirst();
        else
            list.Idle();
        state.ResumeTiming();
    }
}

// The first Page Down after File Open of the list, with the read ahead.
void FirstKeyToFrame(benchmark::State& state) {
    ShownList& list = TheShownList();
    list.view->EnableReadAhead(true);
    list.InstallStep(state.range(0) != 0);
    for (auto _ : state) {
        state.PauseTiming();
        list.OpenList();
        state.ResumeTiming();
        list.PageDown();
    }
}

// Two images of 8192 x 4096, opened in turn, each from the file to the picture on the screen.
void OpenToFrame(benchmark::State& state) {
    ShownListHolder().reset(); // one started program at a time
    StartedProgram program;
    for (int image = 0; image < 2; ++image)
        program.AddFile(2 * kSide, kSide, ColourOf(image));
    program.InstallStep(state.range(0) != 0);
    int next = 0;
    for (auto _ : state) {
        program.Open(program.choice.names[static_cast<std::size_t>(next)]);
        program.WaitUntilShown(ColourOf(next));
        state.PauseTiming();
        // A person looks at the picture for a moment: the idle time's work is done.
        for (int moment = 0; moment < 5; ++moment)
            program.Idle();
        next = 1 - next;
        state.ResumeTiming();
    }
}

std::int64_t PeakResidentBytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return std::int64_t{usage.ru_maxrss} * 1024;
}

void PeakMemory(benchmark::State& state) {
    constexpr std::uint32_t width = 2 * kSide;
    constexpr std::int64_t planeBytes = std::int64_t{width} * kSide * (1 + 3 + 1);
    for (auto _ : state) {
        StartedProgram program;
        program.AddFile(width, kSide, ColourOf(0));
        program.ShowSet(0);
        program.view->OnColorSegmentation();
        program.Idle();
        state.counters["peak_MiB"] = static_cast<double>(PeakResidentBytes()) / (1 << 20);
        state.counters["planes_MiB"] = static_cast<double>(planeBytes) / (1 << 20);
    }
}

} // namespace

BENCHMARK(PeakMemory)->Name("Memory/8192x4096/openandsegment")->Iterations(1);
BENCHMARK(KeyToFrame)
    ->Name("PageDown/4096x4096/keytoframe")
    ->ArgNames({"readahead", "installed"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(FirstKeyToFrame)
    ->Name("PageDown/4096x4096/firstafteropen")
    ->ArgName("installed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(OpenToFrame)
    ->Name("FileOpen/8192x4096/opentoframe")
    ->Iterations(8)
    ->ArgName("installed")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return RunBenchmarksOnDisplay(argc, argv, [] { ShownListHolder().reset(); });
}
