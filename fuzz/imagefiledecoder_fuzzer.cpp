// Feeds arbitrary bytes to the image file decoder as an opened file, the way the view uses it
// for PNG, JPEG, TIFF, GIF, WebP and netpbm files. The file is a real one: the toolkit asks the
// system for a file's size, which a stream in memory does not have.
#include "imagefiledecoder.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

// Larger planes are valid but would only slow the fuzzer down; the decoding's own memory is
// bounded with them, as the program bounds it.
constexpr std::uint64_t kFuzzPlaneBytes = std::uint64_t{64} << 20;
constexpr std::uint64_t kFuzzDecodeBytes = kFuzzPlaneBytes / 2 * 3;

// One scratch file for every input, emptied and written afresh.
std::FILE* FileHolding(const std::uint8_t* data, std::size_t size) {
    static std::FILE* const file = std::tmpfile();
    if (file == nullptr || ftruncate(fileno(file), 0) != 0) {
        return nullptr;
    }
    std::rewind(file);
    if (std::fwrite(data, 1, size, file) != size || std::fflush(file) != 0) {
        return nullptr;
    }
    std::rewind(file);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = FileHolding(data, size);
    if (file == nullptr) {
        return 0;
    }
    CImageFileDecoder decoder(kFuzzPlaneBytes, kFuzzDecodeBytes);
    if (decoder.ReadHeader(file) == CImageFileDecoder::Result::Decodable) {
        const auto gray = std::make_unique<std::uint8_t[]>(decoder.GrayPlaneSize());
        const auto color = std::make_unique<std::uint8_t[]>(decoder.ColorPlaneSize());
        decoder.ReadPixels(file, gray.get(), color.get());
    }
    return 0;
}
