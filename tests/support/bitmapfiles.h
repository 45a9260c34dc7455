// Small bitmap files for tests, in the classic layout: 14-byte file header, 40-byte info
// header, a 256-entry palette for 8 bits, then bottom-up rows padded to four bytes.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace testbitmaps {

using Bytes = std::vector<std::uint8_t>;

inline void PutLe(Bytes& out, std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// rows: top-down, width * bytesPerPixel bytes each. palette: up to 256 (b, g, r) triples.
inline Bytes MakeBitmap(int width, int height, int bitsPerPixel, const Bytes& topDownPixels,
                        const std::vector<std::uint32_t>& paletteBgr = {}) {
    const int rowBytes = width * bitsPerPixel / 8;
    const int stride = (rowBytes + 3) / 4 * 4;
    const std::uint32_t paletteBytes = bitsPerPixel == 8 ? 1024 : 0;
    const std::uint32_t offset = 54 + paletteBytes;
    Bytes out{'B', 'M'};
    PutLe(out, offset + static_cast<std::uint32_t>(stride * height), 4);
    PutLe(out, 0, 4);
    PutLe(out, offset, 4);
    PutLe(out, 40, 4);
    PutLe(out, static_cast<std::uint32_t>(width), 4);
    PutLe(out, static_cast<std::uint32_t>(height), 4);
    PutLe(out, 1, 2);
    PutLe(out, static_cast<std::uint32_t>(bitsPerPixel), 2);
    for (int i = 0; i < 6; ++i)
        PutLe(out, 0, 4);
    for (std::uint32_t i = 0; i < paletteBytes / 4; ++i)
        PutLe(out, i < paletteBgr.size() ? paletteBgr[i] : i * 0x010101u, 4);
    for (int y = height - 1; y >= 0; --y) {
        const auto row = topDownPixels.begin() + static_cast<std::ptrdiff_t>(y) * rowBytes;
        out.insert(out.end(), row, row + rowBytes);
        out.resize(out.size() + static_cast<std::size_t>(stride - rowBytes), 0xEE);
    }
    return out;
}

inline void WriteFile(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

} // namespace testbitmaps
