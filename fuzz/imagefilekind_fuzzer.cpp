// Feeds arbitrary bytes to the checks made before a decoder is handed a file: what its first
// bytes say it is, whether its framing holds for every kind, and what a JPEG's coefficients
// would cost. Each reads lengths and offsets from the file itself.
#include "imagefilekind.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
    if (file == nullptr) {
        return 0;
    }
    KindOfContent(file);
    for (const CImageKind kind :
         {CImageKind::Png, CImageKind::Gif, CImageKind::WebP, CImageKind::Tiff, CImageKind::Pgm}) {
        FramingProblem(kind, file);
        HeaderFramingProblem(kind, file);
    }
    JpegCoefficientBytes(file);
    std::fclose(file);
    return 0;
}
