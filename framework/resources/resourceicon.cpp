#include "resourceicon.h"

#include "resourcefile.h"
#include "resourcereader.h"

#include <QPixmap>

#include <array>
#include <optional>

namespace {

constexpr DWORD infoHeaderSize = 40;
constexpr LONG largestIconSide = 256;
constexpr WORD iconResourceType = 1;
constexpr DWORD uncompressed = 0; // BI_RGB

struct IconBitmapHeader {
    int width = 0;
    int height = 0; // of the image; the stored height also counts the mask rows
    int bitCount = 0;
    DWORD colorsUsed = 0;
};

bool IsPaletteDepth(WORD bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8;
}

std::optional<IconBitmapHeader> ReadHeader(CResourceReader& reader) {
    const DWORD size = reader.Dword();
    const LONG width = reader.Long();
    const LONG storedHeight = reader.Long();
    const WORD planes = reader.Word();
    const WORD bitCount = reader.Word();
    const DWORD compression = reader.Dword();
    reader.Bytes(12); // image size and resolution: not needed to draw
    const DWORD colorsUsed = reader.Dword();
    reader.Dword(); // important colours
    if (size < infoHeaderSize)
        return std::nullopt;
    reader.Bytes(size - infoHeaderSize);
    if (!reader.Ok() || width < 1 || width > largestIconSide || storedHeight < 2 ||
        storedHeight % 2 != 0 || storedHeight / 2 > largestIconSide || planes != 1 ||
        !IsPaletteDepth(bitCount) || compression != uncompressed ||
        colorsUsed > (DWORD{1} << bitCount))
        return std::nullopt;
    return IconBitmapHeader{width, storedHeight / 2, bitCount, colorsUsed};
}

// Indices past the colours the bitmap stores stay black.
std::array<QRgb, 256> ReadPalette(CResourceReader& reader, const IconBitmapHeader& header) {
    std::array<QRgb, 256> palette;
    palette.fill(qRgb(0, 0, 0));
    const DWORD count = header.colorsUsed != 0 ? header.colorsUsed : DWORD{1} << header.bitCount;
    for (DWORD i = 0; i < count; ++i) {
        const auto quad = reader.Bytes(4); // blue, green, red, reserved
        if (quad.empty())
            break;
        palette[i] = qRgb(quad[2], quad[1], quad[0]);
    }
    return palette;
}

std::size_t RowBytes(int width, int bitCount) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitCount) + 31) / 32 * 4;
}

int PaletteIndexAt(std::span<const BYTE> row, int x, int bitCount) {
    const auto bit = static_cast<std::size_t>(x) * static_cast<std::size_t>(bitCount);
    const int shift = 8 - bitCount - static_cast<int>(bit % 8);
    return (row[bit / 8] >> shift) & ((1 << bitCount) - 1);
}

bool MaskHidesPixel(std::span<const BYTE> maskRow, int x) {
    return ((maskRow[static_cast<std::size_t>(x) / 8] >> (7 - x % 8)) & 1) != 0;
}

} // namespace

QImage AfxDecodeIconImage(std::span<const BYTE> data) {
    CResourceReader reader(data);
    const auto header = ReadHeader(reader);
    if (!header)
        return {};
    const std::array<QRgb, 256> palette = ReadPalette(reader, *header);
    const std::size_t colorStride = RowBytes(header->width, header->bitCount);
    const std::size_t maskStride = RowBytes(header->width, 1);
    const auto height = static_cast<std::size_t>(header->height);
    const auto colorRows = reader.Bytes(colorStride * height);
    const auto maskRows = reader.Bytes(maskStride * height);
    if (!reader.Ok())
        return {};

    QImage image(header->width, header->height, QImage::Format_ARGB32);
    for (int y = 0; y < header->height; ++y) {
        // Rows are stored bottom-up.
        const auto stored = height - 1 - static_cast<std::size_t>(y);
        const auto colorRow = colorRows.subspan(stored * colorStride, colorStride);
        const auto maskRow = maskRows.subspan(stored * maskStride, maskStride);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < header->width; ++x)
            line[x] = MaskHidesPixel(maskRow, x) ? qRgba(0, 0, 0, 0)
                                                 : palette[static_cast<std::size_t>(PaletteIndexAt(
                                                       colorRow, x, header->bitCount))];
    }
    return image;
}

QIcon AfxIconFromGroup(std::span<const BYTE> group, const CResourceFile& resources) {
    CResourceReader reader(group);
    reader.Word(); // reserved
    const WORD type = reader.Word();
    const WORD count = reader.Word();
    if (!reader.Ok() || type != iconResourceType || count == 0)
        return {};
    QIcon icon;
    for (WORD i = 0; i < count; ++i) {
        reader.Bytes(12); // size, colours, planes, depth and byte count repeat the image's own
        const WORD id = reader.Word();
        const CResourceEntry* entry = reader.Ok() ? resources.Find(RT_ICON, id) : nullptr;
        const QImage image = entry ? AfxDecodeIconImage({entry->data, entry->size}) : QImage();
        if (image.isNull())
            return {};
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QIcon AfxLoadIcon(WORD id) {
    const CResourceFile& resources = AfxGetResources();
    const CResourceEntry* group = resources.Find(RT_GROUP_ICON, id);
    return group ? AfxIconFromGroup({group->data, group->size}, resources) : QIcon();
}
