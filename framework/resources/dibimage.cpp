#include "dibimage.h"

namespace {

constexpr std::size_t infoHeaderSize = 40;
constexpr int maxSide = 1024; // resource images are small; anything larger is malformed

DWORD Dword(const BYTE* p) {
    return static_cast<DWORD>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<DWORD>(p[3]) << 24);
}
WORD Word(const BYTE* p) {
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

QRgb PaletteColor(const BYTE* table, std::size_t entries, std::size_t index) {
    if (index >= entries)
        return qRgb(0, 0, 0);
    const BYTE* entry = table + 4 * index;
    return qRgb(entry[2], entry[1], entry[0]);
}

std::size_t PixelIndex(const BYTE* row, int x, int bits) {
    const int bitOffset = x * bits;
    const int shift = 8 - bits - bitOffset % 8;
    return (row[bitOffset / 8] >> shift) & ((1 << bits) - 1);
}

} // namespace

std::optional<QImage> AfxImageFromDib(const BYTE* data, std::size_t size, int rows) {
    if (size < infoHeaderSize || Dword(data) < infoHeaderSize || Dword(data) > size)
        return std::nullopt;
    const auto width = static_cast<std::int32_t>(Dword(data + 4));
    const auto storedHeight = static_cast<std::int32_t>(Dword(data + 8));
    const int bits = Word(data + 14);
    const DWORD compression = Dword(data + 16);
    if (width <= 0 || width > maxSide || storedHeight <= 0 || storedHeight > 2 * maxSide ||
        compression != 0 || (bits != 1 && bits != 4 && bits != 8 && bits != 24))
        return std::nullopt;
    const int height = rows > 0 ? rows : storedHeight;
    if (height > storedHeight)
        return std::nullopt;
    const DWORD used = Dword(data + 32);
    const std::size_t entries =
        bits == 24 ? 0 : (used != 0 && used < (1u << bits) ? used : std::size_t{1} << bits);
    const std::size_t tableOffset = Dword(data);
    const std::size_t pixelOffset = tableOffset + 4 * entries;
    const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
    if (pixelOffset > size || stride * static_cast<std::size_t>(height) > size - pixelOffset)
        return std::nullopt;

    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const BYTE* row = data + pixelOffset + stride * static_cast<std::size_t>(height - 1 - y);
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y,
                bits == 24 ? qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x])
                           : PaletteColor(data + tableOffset, entries, PixelIndex(row, x, bits)));
    }
    return image;
}
