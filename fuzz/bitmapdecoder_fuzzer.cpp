// Feeds arbitrary bytes to the bitmap decoder as an opened file, the way the view uses it.
#include "bitmapdecoder.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Larger planes are valid but would only slow the fuzzer down.
constexpr std::size_t kFuzzPlaneBytes = std::size_t{64} << 20;

void DecodePixels(std::FILE* file, CBitmapDecoder& decoder) {
    if (decoder.GrayPlaneSize() + decoder.ColorPlaneSize() > kFuzzPlaneBytes) {
        return;
    }
    auto* gray = static_cast<std::uint8_t*>(std::malloc(decoder.GrayPlaneSize()));
    auto* color = static_cast<std::uint8_t*>(std::malloc(decoder.ColorPlaneSize()));
    decoder.ReadPixels(file, gray, color);
    std::free(gray);
    std::free(color);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) {
        return 0;
    }
    CBitmapDecoder decoder;
    if (decoder.ReadHeader(file) == CBitmapDecoder::Result::Decodable) {
        DecodePixels(file, decoder);
    }
    std::fclose(file);
    return 0;
}
