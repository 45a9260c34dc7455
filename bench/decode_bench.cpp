// How fast 4096 x 4096 bitmaps of 8 and 24 bits per pixel decode from memory: with Vexlan's
// decoder into planes made beforehand, with stb_image, with Qt's image reader, and the floor
// that any decoder pays: reading the file's bytes out of the stream and copying them once.
#include "bitmapdecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>

#include <benchmark/benchmark.h>

#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <cstdio>
#include <cstring>
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
// shortcut from uniform content. Rows of 4096 pixels need no padding.
Bytes MakeBitmap(std::uint32_t bitsPerPixel) {
    const std::uint32_t paletteBytes = bitsPerPixel == 8 ? 256 * 4 : 0;
    const std::uint32_t pixelOffset = 14 + 40 + paletteBytes;
    const std::uint32_t fileSize = pixelOffset + kSide * kSide * bitsPerPixel / 8;
    Bytes file{'B', 'M'};
    for (std::uint32_t field : {fileSize, 0u, pixelOffset, 40u, kSide, kSide}) {
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

} // namespace

int main(int argc, char** argv) {
    Bytes indexed = MakeBitmap(8);
    Bytes trueColor = MakeBitmap(24);
    const std::pair<const char*, DecodeFunction> decoders[] = {{"vexlan", DecodeWithVexlan},
                                                               {"stb", DecodeWithStb},
                                                               {"qt", DecodeWithQt},
                                                               {"memcpy", ReadAndCopy}};
    for (auto [depth, file] : {std::pair{"8bit", &indexed}, std::pair{"24bit", &trueColor}}) {
        for (auto [name, decode] : decoders) {
            const std::string title = std::string("Decode/") + depth + "/" + name;
            benchmark::RegisterBenchmark(title.c_str(), [decode, file](benchmark::State& state) {
                decode(state, *file);
                state.SetBytesProcessed(state.iterations() * file->size());
            })->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
