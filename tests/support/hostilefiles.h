// Image files made by hand where the toolkit's writers cannot make them: PNG and TIFF files of
// any declared size, depth, page count and turn, with as much data as wanted; a PNG that is
// slow to read for its size; a JPEG claiming another size.
#pragma once

#include "bitmapfiles.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

namespace hostilefiles {

using testbitmaps::Bytes;

inline void PutBe(Bytes& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline Bytes Deflated(const Bytes& raw, int level) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress2(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()), level);
    out.resize(size);
    return out;
}

inline void PutPngChunk(Bytes& out, const char* type, const std::uint8_t* data, std::size_t size) {
    PutBe(out, static_cast<std::uint32_t>(size));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data, data + size);
    PutBe(out,
          static_cast<std::uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(size + 4))));
}

// rows: the raw rows, each led by its filter byte, as many as wanted (fewer than the height
// declares make a file whose data ends early). The compressed data goes out in IDAT chunks of
// idatSize bytes.
inline Bytes Png(std::uint32_t width, std::uint32_t height, int bitDepth, int colorType,
                 const Bytes& rows, std::size_t idatSize = SIZE_MAX, int level = 6) {
    Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    PutBe(header, width);
    PutBe(header, height);
    header.insert(header.end(), {static_cast<std::uint8_t>(bitDepth),
                                 static_cast<std::uint8_t>(colorType), 0, 0, 0});
    PutPngChunk(out, "IHDR", header.data(), header.size());
    const Bytes data = Deflated(rows, level);
    for (std::size_t at = 0; at < data.size(); at += idatSize)
        PutPngChunk(out, "IDAT", data.data() + at, std::min(idatSize, data.size() - at));
    PutPngChunk(out, "IEND", nullptr, 0);
    return out;
}

// A gray PNG of noise, stored without compression in IDAT chunks of one byte each: valid, small
// once decoded, but a few million chunks that every reader walks one by one.
inline Bytes SlowPng(std::uint32_t width, std::uint32_t height) {
    Bytes rows;
    rows.reserve(std::size_t{height} * (width + 1));
    std::uint32_t noise = 12345;
    for (std::uint32_t y = 0; y < height; ++y) {
        rows.push_back(0);
        for (std::uint32_t x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            rows.push_back(static_cast<std::uint8_t>(noise >> 16));
        }
    }
    return Png(width, height, 8, 0, rows, 1, 0);
}

struct TiffPage {
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    int samples = 1; // 1 gray, 2 gray and alpha, 3 RGB, 4 RGBA
    int bits = 8;
    int sampleFormat = 1; // 1 unsigned integers, 3 floating point
    int orientation = 1;
    Bytes pixels; // as stored, rows top-down; fewer than declared make the data end early
};

// A little-endian TIFF of the pages in order, each one deflated strip.
inline Bytes Tiff(const std::vector<TiffPage>& pages) {
    Bytes out{'I', 'I', 42, 0};
    testbitmaps::PutLe(out, 8, 4);
    for (std::size_t page = 0; page < pages.size(); ++page) {
        const TiffPage& p = pages[page];
        const Bytes strip = Deflated(p.pixels, 6);
        const bool alpha = p.samples == 2 || p.samples == 4;
        const std::uint32_t count = alpha ? 12 : 11;
        const std::uint32_t ifd = static_cast<std::uint32_t>(out.size());
        const std::uint32_t arrays = ifd + 2 + 12 * count + 4;
        const std::uint32_t stripAt = arrays + 4u * static_cast<std::uint32_t>(p.samples);
        // The next page starts on a word boundary, as the format asks.
        const std::uint32_t stripEnd = stripAt + static_cast<std::uint32_t>(strip.size());
        const std::uint32_t next = page + 1 < pages.size() ? (stripEnd + 1) / 2 * 2 : 0;
        const auto entry = [&](int tag, int type, std::uint32_t n, std::uint32_t value) {
            testbitmaps::PutLe(out, static_cast<std::uint32_t>(tag), 2);
            testbitmaps::PutLe(out, static_cast<std::uint32_t>(type), 2);
            testbitmaps::PutLe(out, n, 4);
            testbitmaps::PutLe(out, value, 4);
        };
        // A SHORT array of one value per sample: inline up to two, else in the arrays' room.
        const auto perSample = [&](int tag, int value, std::uint32_t at) {
            const std::uint32_t n = static_cast<std::uint32_t>(p.samples);
            const std::uint32_t v = static_cast<std::uint32_t>(value);
            entry(tag, 3, n, n == 1 ? v : n == 2 ? v | v << 16 : at);
        };
        const std::uint32_t samples = static_cast<std::uint32_t>(p.samples);
        testbitmaps::PutLe(out, count, 2);
        entry(256, 4, 1, p.width);
        entry(257, 4, 1, p.height);
        perSample(258, p.bits, arrays);
        entry(259, 3, 1, 8);
        entry(262, 3, 1, p.samples >= 3 ? 2 : 1);
        entry(273, 4, 1, stripAt);
        entry(274, 3, 1, static_cast<std::uint32_t>(p.orientation));
        entry(277, 3, 1, samples);
        entry(278, 4, 1, p.height);
        entry(279, 4, 1, static_cast<std::uint32_t>(strip.size()));
        if (alpha)
            entry(338, 3, 1, 2);
        perSample(339, p.sampleFormat, arrays + 2 * samples);
        testbitmaps::PutLe(out, next, 4);
        for (const int value : {p.bits, p.sampleFormat})
            for (int sample = 0; sample < p.samples; ++sample)
                testbitmaps::PutLe(out, static_cast<std::uint32_t>(value), 2);
        out.insert(out.end(), strip.begin(), strip.end());
        out.resize(next == 0 ? out.size() : next, 0);
    }
    return out;
}

// jpeg with the size in its frame header replaced; its data stays as it was.
inline Bytes WithJpegSize(Bytes jpeg, std::uint16_t width, std::uint16_t height) {
    for (std::size_t at = 2; at + 9 < jpeg.size();) {
        const std::uint8_t marker = jpeg[at + 1];
        if (marker >= 0xC0 && marker <= 0xC2) {
            jpeg[at + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[at + 6] = static_cast<std::uint8_t>(height);
            jpeg[at + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[at + 8] = static_cast<std::uint8_t>(width);
            break;
        }
        at += 2 + (std::size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
    }
    return jpeg;
}

} // namespace hostilefiles
