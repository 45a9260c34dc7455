// Small image files of the kinds the toolkit's reader takes, for tests: written by the
// toolkit's own writers where it has one, by hand for GIF and the netpbm kinds.
#pragma once

#include "bitmapfiles.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <string>
#include <vector>

namespace testimages {

using testbitmaps::Bytes;

// 0 for the default of the kind; 100 makes WebP lossless.
inline Bytes Encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.write(image);
    return Bytes(bytes.begin(), bytes.end());
}

// Bytes of no pattern, the same for the same seed.
inline Bytes Noise(std::size_t size, std::uint32_t seed) {
    Bytes bytes(size);
    for (std::uint8_t& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return bytes;
}

// Something like a photo: smooth in red and green, noisy in blue, so that it compresses as one.
inline QImage Photo(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    const Bytes noise = Noise(std::size_t(width) * height, 5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, noise[std::size_t(y) * width + x] / 4 + 64));
    return image;
}

// P5 (gray) or P6 (colour) with maxval 255 or 65535: samples big-endian, as many as given.
inline Bytes Netpbm(const char* magic, int width, int height, int maxval,
                    const std::vector<int>& samples) {
    const std::string header = std::string(magic) + "\n" + std::to_string(width) + " " +
                               std::to_string(height) + "\n" + std::to_string(maxval) + "\n";
    Bytes out(header.begin(), header.end());
    for (const int sample : samples) {
        if (maxval > 255)
            out.push_back(static_cast<std::uint8_t>(sample >> 8));
        out.push_back(static_cast<std::uint8_t>(sample));
    }
    return out;
}

// A GIF89a of 8-bit indices into palette (0xRRGGBB); transparentIndex, unless negative, is
// transparent. The codes are all literal, 9 bits wide, so no dictionary needs building: a clear
// code every 250 indices keeps the decoder's dictionary from growing them to 10 bits.
inline Bytes Gif(int width, int height, const std::vector<std::uint32_t>& palette,
                 const Bytes& indices, int transparentIndex = -1) {
    Bytes out{'G', 'I', 'F', '8', '9', 'a'};
    testbitmaps::PutLe(out, width, 2);
    testbitmaps::PutLe(out, height, 2);
    out.insert(out.end(), {0xF7, 0, 0});
    for (int entry = 0; entry < 256; ++entry) {
        const std::uint32_t rgb = entry < static_cast<int>(palette.size()) ? palette[entry] : 0;
        out.insert(out.end(),
                   {static_cast<std::uint8_t>(rgb >> 16), static_cast<std::uint8_t>(rgb >> 8),
                    static_cast<std::uint8_t>(rgb)});
    }
    if (transparentIndex >= 0)
        out.insert(out.end(),
                   {0x21, 0xF9, 4, 1, 0, 0, static_cast<std::uint8_t>(transparentIndex), 0});
    out.push_back(0x2C);
    testbitmaps::PutLe(out, 0, 4);
    testbitmaps::PutLe(out, width, 2);
    testbitmaps::PutLe(out, height, 2);
    out.insert(out.end(), {0, 8});
    std::vector<int> codes{256};
    for (std::size_t i = 0; i < indices.size(); ++i) {
        if (i > 0 && i % 250 == 0)
            codes.push_back(256);
        codes.push_back(indices[i]);
    }
    codes.push_back(257);
    Bytes data;
    std::uint32_t bits = 0;
    int count = 0;
    for (const int code : codes) {
        bits |= static_cast<std::uint32_t>(code) << count;
        for (count += 9; count >= 8; count -= 8, bits >>= 8)
            data.push_back(static_cast<std::uint8_t>(bits));
    }
    if (count > 0)
        data.push_back(static_cast<std::uint8_t>(bits));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t size = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(size));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + size));
    }
    out.insert(out.end(), {0, 0x3B});
    return out;
}

} // namespace testimages
