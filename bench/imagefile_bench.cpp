// How fast 4096 x 4096 PNG and JPEG files load from disk: the toolkit's image reader into a
// QImage, as any Qt program would read them, against Vexlan's decoding of the same files into
// fresh gray and colour planes, which the view, its read-ahead and vexlan-batch all use.
#include "decodedimage.h"
#include "pathmap.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <random>
#include <string>

namespace {

constexpr int kSide = 4096;

// A photograph's smooth shading with a little sensor noise: neither kind compresses it to
// nothing, nor has to store noise.
QImage Photograph() {
    QImage image(kSide, kSide, QImage::Format_RGB32);
    std::minstd_rand random(7);
    for (int y = 0; y < kSide; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kSide; ++x) {
            const int noise = static_cast<int>(random() % 8);
            line[x] = qRgb((x / 16 + noise) & 0xFF, (y / 16 + noise) & 0xFF,
                           ((x + y) / 32 + noise) & 0xFF);
        }
    }
    return image;
}

const QTemporaryDir& Folder() {
    static const QTemporaryDir folder;
    return folder;
}

std::string FileOf(const char* format) {
    const QString path = Folder().filePath(QString("photo.") + format);
    if (!QFile::exists(path)) {
        QImageWriter writer(path, format);
        writer.write(Photograph());
    }
    return path.toStdString();
}

CByteBlock NewZeroedPlane(std::size_t size, std::size_t) {
    return DEBUG_NEW_ZEROED_BYTES(size);
}

void LoadWithQt(benchmark::State& state, const char* format) {
    const QString path = QString::fromStdString(FileOf(format));
    for (auto _ : state) {
        QImageReader reader(path);
        const QImage image = reader.read();
        if (image.isNull())
            state.SkipWithError(reader.errorString().toStdString().c_str());
        benchmark::DoNotOptimize(image.constBits());
    }
}

void LoadWithVexlan(benchmark::State& state, const char* format) {
    const std::string path = FileOf(format);
    for (auto _ : state) {
        const CFilePtr file(AfxOpenFile(path.c_str(), "rb"));
        const std::unique_ptr<CImageDecoder> decoder = DecoderFor(path);
        CDecodedImage image;
        if (decoder->ReadHeader(file.get()) != CImageDecoder::Result::Decodable ||
            DecodeImage(*decoder, file.get(), image, NewZeroedPlane))
            state.SkipWithError(decoder->Problem().c_str());
        benchmark::DoNotOptimize(image.color.get());
    }
}

BENCHMARK_CAPTURE(LoadWithQt, png, "png")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(LoadWithVexlan, png, "png")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(LoadWithQt, jpeg, "jpeg")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(LoadWithVexlan, jpeg, "jpeg")->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

// Without an application object, as vexlan-batch reads them.
BENCHMARK_MAIN();
