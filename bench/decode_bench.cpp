// How fast 4096 x 4096 bitmaps of 8 and 24 bits per pixel decode from memory: with Vexlan's
// decoder into planes made beforehand, with stb_image, with Qt's image reader, reading the
// file's bytes out of the stream and copying them once, and the floor of Vexlan's decoding:
// reading the file once and writing every byte the planes receive once. Then a Page Down: the
// view loading a 4096 x 4096 24-bit file from disk on its loading thread, the same file each
// time against files of two sizes in turn, each into fresh planes. Last, for an 8192 x 4096 24-bit
// file: the view loading it into fresh planes against the floor of reading it into planes
// already in memory, and the view's segmentation step, its planes included, against the
// classification alone into a plane already in memory.
#include "bitmapdecoder.h"
#include "colorsegmentation.h"
#include "resource.h"
#include "vexlandoc.h"
#include "vexlanview.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using DecodeFunction = void (*)(benchmark::State&, Bytes&);

constexpr std::uint32_t kSide = 4096;

void PutLittleEndian(Bytes& bytes, std::uint32_t value, int size) {
    for (int byte = 0; byte < size; ++byte) {
        bytes.push_back(static_cast<std::uint8_t>(value >> 8 * byte));
    }
}

// A bottom-up file whose palette and pixels are pseudo-random, so that no decoder gets a
// shortcut from uniform content. Rows of a multiple of 4 pixels need no padding.
Bytes MakeBitmap(std::uint32_t bitsPerPixel, std::uint32_t height = kSide,
                 std::uint32_t width = kSide) {
    const std::uint32_t paletteBytes = bitsPerPixel == 8 ? 256 * 4 : 0;
    const std::uint32_t pixelOffset = 14 + 40 + paletteBytes;
    const std::uint32_t fileSize = pixelOffset + width * height * bitsPerPixel / 8;
    Bytes file{'B', 'M'};
    for (std::uint32_t field : {fileSize, 0u, pixelOffset, 40u, width, height}) {
        PutLittleEndian(file, field, 4);
    }
    PutLittleEndian(file, 1, 2);
    PutLittleEndian(file, bitsPerPixel, 2);
    for (int field = 0; field < 6; ++field) {
        PutLittleEndian(file, 0, 4);
    }
    std::minstd_rand random(bitsPerPixel);
    file.resize(fileSize);
    for (std::size_t at = 54; at < file.size(); ++at) {
        file[at] = static_cast<std::uint8_t>(random() >> 7);
    }
    return file;
}

std::FILE* OpenInMemory(Bytes& file) {
    return fmemopen(file.data(), file.size(), "rb");
}

void DecodeWithVexlan(benchmark::State& state, Bytes& file) {
    CBitmapDecoder decoder;
    std::FILE* probe = OpenInMemory(file);
    decoder.ReadHeader(probe);
    std::fclose(probe);
    Bytes grayPlane(decoder.GrayPlaneSize());
    Bytes colorPlane(decoder.ColorPlaneSize());
    for (auto _ : state) {
        std::FILE* stream = OpenInMemory(file);
        if (decoder.ReadHeader(stream) != CBitmapDecoder::Result::Decodable) {
            state.SkipWithError(decoder.Problem().c_str());
        }
        decoder.ReadPixels(stream, grayPlane.data(), colorPlane.data());
        std::fclose(stream);
        benchmark::ClobberMemory();
    }
}

void DecodeWithStb(benchmark::State& state, Bytes& file) {
    for (auto _ : state) {
        int width = 0;
        int height = 0;
        int channels = 0;
        stbi_uc* pixels = stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &width,
                                                &height, &channels, 3);
        if (pixels == nullptr) {
            state.SkipWithError(stbi_failure_reason());
        }
        benchmark::DoNotOptimize(pixels);
        stbi_image_free(pixels);
    }
}

void DecodeWithQt(benchmark::State& state, Bytes& file) {
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                               static_cast<qsizetype>(file.size()));
    for (auto _ : state) {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "bmp");
        const QImage image = reader.read();
        if (image.isNull()) {
            state.SkipWithError(reader.errorString().toStdString().c_str());
        }
        benchmark::DoNotOptimize(image.constBits());
    }
}

void ReadAndCopy(benchmark::State& state, Bytes& file) {
    Bytes read(file.size());
    Bytes copy(file.size());
    for (auto _ : state) {
        std::FILE* stream = OpenInMemory(file);
        benchmark::DoNotOptimize(std::fread(read.data(), 1, read.size(), stream));
        std::fclose(stream);
        std::memcpy(copy.data(), read.data(), read.size());
        benchmark::ClobberMemory();
    }
}

std::uint32_t HeaderField(const Bytes& file, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t byte = 0; byte < 4; ++byte)
        value |= std::uint32_t{file[at + byte]} << 8 * byte;
    return value;
}

// For an 8-bit file each pixel byte becomes a gray byte and three colour bytes; for a 24-bit
// file the colour plane takes the pixel bytes and the gray plane is cleared. Read through a
// buffer of the decoder's size, so that the bytes come from the cache as they do there. The
// planes are in memory before the first read.
template <typename OpenStream>
void ReadAndWritePlanesOnce(benchmark::State& state, const Bytes& file, OpenStream open) {
    const bool indexed = file[28] == 8;
    const std::size_t pixels = std::size_t{HeaderField(file, 18)} * HeaderField(file, 22);
    Bytes gray(pixels);
    Bytes color(3 * pixels);
    Bytes buffer(256 * 1024);
    for (auto _ : state) {
        std::FILE* stream = open();
        std::size_t written = 0;
        while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), stream)) {
            const std::size_t count = std::min(got, (indexed ? pixels : 3 * pixels) - written);
            if (indexed) {
                std::memcpy(gray.data() + written, buffer.data(), count);
                for (std::size_t copy = 0; copy < 3; ++copy)
                    std::memcpy(color.data() + copy * pixels + written, buffer.data(), count);
            } else {
                std::memcpy(color.data() + written, buffer.data(), count);
            }
            written += count;
        }
        if (!indexed)
            std::memset(gray.data(), 0, pixels);
        std::fclose(stream);
        benchmark::ClobberMemory();
    }
}

void ReadAndWritePlanesOnce(benchmark::State& state, Bytes& file) {
    ReadAndWritePlanesOnce(state, file, [&file] { return OpenInMemory(file); });
}

void WriteFile(const QTemporaryDir& folder, const std::string& name, const Bytes& bytes) {
    std::ofstream(folder.filePath(QString::fromStdString(name)).toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The view with a document to name, as the program has it.
struct LoadingView {
    std::unique_ptr<CVexlanDoc> document{
        static_cast<CVexlanDoc*>(RUNTIME_CLASS(CVexlanDoc)->CreateObject())};
    std::unique_ptr<CVexlanView> view{
        static_cast<CVexlanView*>(RUNTIME_CLASS(CVexlanView)->CreateObject())};

    LoadingView() { document->AddView(view.get()); }
    ~LoadingView() { view.reset(); }
};

// Argument 0: every step loads the same 4096 x 4096 file. 1: the steps load a 4096 x 4096 and
// a 4096 x 4095 file in turn. A file this large is decoded on the loading thread into planes of
// its own, which replace the view's; the step waits for it.
void PageDown(benchmark::State& state) {
    QTemporaryDir folder;
    const std::string names[] = {"square.bmp", "shorter.bmp"};
    WriteFile(folder, names[0], MakeBitmap(24));
    WriteFile(folder, names[1], MakeBitmap(24, kSide - 1));
    const std::string directory = *AfxSystemPath(folder.path().toStdString());
    LoadingView loading;
    const bool alternate = state.range(0) != 0;
    int step = 0;
    for (auto _ : state) {
        loading.view->UseSingleFile(directory, names[alternate ? step++ % 2 : 0]);
        loading.view->LoadImageAt(0);
        loading.view->FinishLoading();
        if (loading.view->m_nWidth != static_cast<int>(kSide))
            state.SkipWithError("the file was not loaded");
    }
}

constexpr std::uint32_t kWideSide = 2 * kSide;

// An 8192 x 4096 24-bit file on disk, read once so that it is in the page cache.
struct WideFile {
    QTemporaryDir folder;
    Bytes bytes = MakeBitmap(24, kSide, kWideSide);
    std::string directory = *AfxSystemPath(folder.path().toStdString());
    std::string name = "wide.bmp";
    std::string hostPath = folder.filePath("wide.bmp").toStdString();

    WideFile() { WriteFile(folder, name, bytes); }
};

void LoadWithVexlan(benchmark::State& state) {
    const WideFile file;
    for (auto _ : state) {
        state.PauseTiming();
        auto loading = std::make_unique<LoadingView>();
        loading->view->UseSingleFile(file.directory, file.name);
        state.ResumeTiming();
        loading->view->LoadImageAt(0);
        loading->view->FinishLoading();
        state.PauseTiming();
        if (loading->view->m_nWidth != static_cast<int>(kWideSide))
            state.SkipWithError("the file was not loaded");
        loading.reset();
        state.ResumeTiming();
    }
}

void LoadFloor(benchmark::State& state) {
    const WideFile file;
    ReadAndWritePlanesOnce(state, file.bytes,
                           [&file] { return std::fopen(file.hostPath.c_str(), "rb"); });
}

void StepWithVexlan(benchmark::State& state) {
    const WideFile file;
    LoadingView loading;
    loading.view->UseSingleFile(file.directory, file.name);
    loading.view->LoadImageAt(0);
    loading.view->FinishLoading();
    for (auto _ : state) {
        loading.view->RunStep(ID_COLOR_SEGMENTATION);
        benchmark::DoNotOptimize(loading.view->m_pResultImage.get());
    }
}

void StepCompute(benchmark::State& state) {
    const WideFile file;
    LoadingView loading;
    loading.view->UseSingleFile(file.directory, file.name);
    loading.view->LoadImageAt(0);
    loading.view->FinishLoading();
    Bytes result(std::size_t{kWideSide} * kSide);
    for (auto _ : state) {
        SegmentColorPlane(loading.view->m_pColorImage.get(), result.data(), kWideSide, kSide);
        benchmark::ClobberMemory();
    }
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    Bytes indexed = MakeBitmap(8);
    Bytes trueColor = MakeBitmap(24);
    const std::pair<const char*, DecodeFunction> decoders[] = {{"vexlan", DecodeWithVexlan},
                                                               {"stb", DecodeWithStb},
                                                               {"qt", DecodeWithQt},
                                                               {"memcpy", ReadAndCopy},
                                                               {"floor", ReadAndWritePlanesOnce}};
    for (auto [depth, file] : {std::pair{"8bit", &indexed}, std::pair{"24bit", &trueColor}}) {
        for (auto [name, decode] : decoders) {
            const std::string title = std::string("Decode/") + depth + "/" + name;
            benchmark::RegisterBenchmark(title.c_str(), [decode, file](benchmark::State& state) {
                decode(state, *file);
                state.SetBytesProcessed(state.iterations() * file->size());
            })->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::RegisterBenchmark("PageDown/24bit", PageDown)
        ->ArgName("fresh")
        ->Arg(0)
        ->Arg(1)
        ->Unit(benchmark::kMillisecond);
    using Benchmark = void (*)(benchmark::State&);
    const std::pair<const char*, Benchmark> wide[] = {
        {"Load/8192x4096/vexlan", LoadWithVexlan},
        {"Load/8192x4096/floor", LoadFloor},
        {"Step/segment/8192x4096/vexlan", StepWithVexlan},
        {"Step/segment/8192x4096/compute", StepCompute}};
    for (auto [title, function] : wide)
        benchmark::RegisterBenchmark(title, function)->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
