#include "bitmapdecoder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
// Every field the decoder uses lies in the first 40 bytes of an info header; longer headers
// only add fields after them.
constexpr std::uint32_t kCoreInfoHeaderSize = 40;
constexpr std::uint32_t kOs2InfoHeaderSize = 12;
constexpr std::uint32_t kMaxPaletteEntries = 256;
constexpr std::uint32_t kUncompressed = 0;
constexpr std::uint32_t kRunLength8 = 1;

std::uint16_t Read16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

std::uint32_t Read32(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// Below 40 bytes only the two OS/2 layouts are known; from 40 bytes on, any size is read by
// its first 40 bytes, since later versions only append fields.
bool IsReadableInfoHeaderSize(std::uint32_t size) {
    return size == 12 || size == 16 || size >= kCoreInfoHeaderSize;
}

// The length of the file, leaving it positioned at its start; -1 when it cannot seek.
long FileLength(std::FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long length = std::ftell(file);
    return std::fseek(file, 0, SEEK_SET) == 0 ? length : -1;
}

} // namespace

// What the decoder uses of an info header of any of the known sizes.
struct CBitmapDecoder::InfoHeader {
    std::int32_t width = 0;
    std::int32_t height = 0;
    int bitsPerPixel = 0;
    std::uint32_t compression = kUncompressed;
    // Only headers of 40 bytes and more carry a colour count.
    bool hasColorCount = false;
    std::uint32_t colorsUsed = 0;
    int paletteEntrySize = 4;

    InfoHeader(const std::uint8_t* bytes, std::uint32_t size) {
        if (size == kOs2InfoHeaderSize) {
            width = Read16(bytes + 4);
            height = Read16(bytes + 6);
            bitsPerPixel = Read16(bytes + 10);
            paletteEntrySize = 3;
            return;
        }
        width = static_cast<std::int32_t>(Read32(bytes + 4));
        height = static_cast<std::int32_t>(Read32(bytes + 8));
        bitsPerPixel = Read16(bytes + 14);
        if (size >= 40) {
            compression = Read32(bytes + 16);
            hasColorCount = true;
            colorsUsed = Read32(bytes + 32);
        }
    }

    bool IsDecoded() const {
        return (bitsPerPixel == 24 && compression == kUncompressed) ||
               (bitsPerPixel == 8 && (compression == kUncompressed || compression == kRunLength8));
    }

    // entriesBeforePixels: how many entries fit between the headers and the pixel offset. A
    // header without a colour count has as many as fit there, at most 256: some files carry
    // fewer than their depth allows.
    std::uint32_t PaletteEntries(std::uint32_t entriesBeforePixels) const {
        if (!hasColorCount) {
            return bitsPerPixel == 8 ? std::min(entriesBeforePixels, kMaxPaletteEntries) : 0;
        }
        if (colorsUsed == 0) {
            return bitsPerPixel == 8 ? kMaxPaletteEntries : 0;
        }
        return std::min(colorsUsed, kMaxPaletteEntries);
    }
};

// Reads the pixel area through one buffer of at most 256 KiB: large sequential reads whatever
// the row length, and no allocation that a header could inflate. Past the end of the file it
// reads 0.
class CBitmapDecoder::PixelSource {
public:
    PixelSource(std::FILE* file, long offset, long bytesInFile)
        : m_file(file), m_bufferSize(std::min<std::size_t>(bytesInFile, kMaxBufferSize)),
          m_buffer(std::make_unique_for_overwrite<std::uint8_t[]>(m_bufferSize)),
          m_exhausted(std::fseek(file, offset, SEEK_SET) != 0) {}

    void Read(std::uint8_t* destination, std::size_t size) { Consume(destination, size); }
    void Skip(std::size_t size) { Consume(nullptr, size); }

    // The next byte, or -1 at the end of the file.
    int Next() {
        if (m_position == m_end && !Refill()) {
            return -1;
        }
        return m_buffer[m_position++];
    }

private:
    static constexpr std::size_t kMaxBufferSize = 256 * 1024;

    bool Refill() {
        m_position = 0;
        m_end = m_exhausted ? 0 : std::fread(m_buffer.get(), 1, m_bufferSize, m_file);
        m_exhausted = m_end < m_bufferSize;
        return m_end > 0;
    }

    // Copies to destination unless it is null.
    void Consume(std::uint8_t* destination, std::size_t size) {
        while (size > 0) {
            if (m_position == m_end && !Refill()) {
                if (destination != nullptr) {
                    std::memset(destination, 0, size);
                }
                return;
            }
            const std::size_t chunk = std::min(size, m_end - m_position);
            if (destination != nullptr) {
                std::memcpy(destination, m_buffer.get() + m_position, chunk);
                destination += chunk;
            }
            m_position += chunk;
            size -= chunk;
        }
    }

    std::FILE* m_file;
    std::size_t m_bufferSize;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_position = 0;
    std::size_t m_end = 0;
    bool m_exhausted;
};

CBitmapDecoder::Result CBitmapDecoder::ReadHeader(std::FILE* file) {
    *this = CBitmapDecoder();
    const long fileLength = FileLength(file);
    if (fileLength < 0) {
        return RefuseOtherKind(file, "无法得知文件长度");
    }
    std::array<std::uint8_t, kFileHeaderSize + kCoreInfoHeaderSize> headers{};
    constexpr std::size_t kSizeFieldEnd = kFileHeaderSize + 4;
    if (std::fread(headers.data(), 1, kSizeFieldEnd, file) < kSizeFieldEnd) {
        return RefuseOtherKind(file, "文件头太短");
    }
    const std::uint32_t infoSize = Read32(&headers[kFileHeaderSize]);
    if (!IsReadableInfoHeaderSize(infoSize)) {
        return RefuseOtherKind(file, "信息头长度 " + std::to_string(infoSize) + " 不是已知的长度");
    }
    // Compared in 64 bits: a huge header size must not wrap around past the file's end.
    if (std::uint64_t{kFileHeaderSize} + infoSize > static_cast<std::uint64_t>(fileLength)) {
        return RefuseOtherKind(file, "文件头太短");
    }
    const std::size_t restOfInfo = std::min(infoSize, kCoreInfoHeaderSize) - 4;
    if (std::fread(&headers[kSizeFieldEnd], 1, restOfInfo, file) < restOfInfo ||
        std::fseek(file, static_cast<long>(kFileHeaderSize + std::uint64_t{infoSize}), SEEK_SET) !=
            0) {
        return RefuseOtherKind(file, "文件头太短");
    }
    const InfoHeader info(&headers[kFileHeaderSize], infoSize);
    if (!info.IsDecoded()) {
        return ReportUnsupported(file, info);
    }
    if (info.width < 0) {
        return Refuse("宽度是负数");
    }
    if (!AcceptSize(info)) {
        return RefuseSize(info.width, info.height);
    }
    ReadPaletteAndLocatePixels(file, info, infoSize, Read32(&headers[10]), fileLength);
    return Result::Decodable;
}

CBitmapDecoder::Result CBitmapDecoder::ReportUnsupported(std::FILE* file, const InfoHeader& info) {
    if (const std::optional<std::string> other = OtherKind(file)) {
        return Refuse(*other);
    }
    m_problem = "每像素 " + std::to_string(info.bitsPerPixel) + " 位";
    if (info.compression != kUncompressed) {
        m_problem += "，压缩方式为 " + std::to_string(info.compression);
    }
    m_problem += "，Vexlan 不读取这种位图";
    return Result::UnsupportedFormat;
}

bool CBitmapDecoder::AcceptSize(const InfoHeader& info) {
    if (info.height == INT32_MIN ||
        !AcceptPlanes(info.width, std::abs(info.height), info.bitsPerPixel)) {
        return false;
    }
    m_stride = Stride(m_width, m_bitsPerPixel);
    m_topDown = info.height < 0;
    m_runLength = info.compression == kRunLength8;
    return true;
}

void CBitmapDecoder::ReadPaletteAndLocatePixels(std::FILE* file, const InfoHeader& info,
                                                std::uint32_t infoSize, std::uint32_t pixelOffset,
                                                long fileLength) {
    // 64 bits: an info header may be as long as the file, and the file longer than 4 GiB.
    const std::uint64_t paletteStart = std::uint64_t{kFileHeaderSize} + infoSize;
    const bool offsetUsable =
        pixelOffset >= paletteStart && static_cast<long>(pixelOffset) < fileLength;
    const std::uint32_t entriesBeforePixels =
        offsetUsable ? static_cast<std::uint32_t>((pixelOffset - paletteStart) /
                                                  static_cast<std::uint32_t>(info.paletteEntrySize))
                     : kMaxPaletteEntries;
    const std::uint32_t entries = info.PaletteEntries(entriesBeforePixels);
    const std::uint64_t paletteEnd = paletteStart + std::uint64_t{entries} * info.paletteEntrySize;
    m_pixelOffset =
        static_cast<long>(offsetUsable && pixelOffset >= paletteEnd ? pixelOffset : paletteEnd);
    m_pixelBytesInFile = std::max(fileLength - m_pixelOffset, 0L);
    if (m_bitsPerPixel == 8) {
        ReadPalette(file, entries, info.paletteEntrySize);
    }
}

void CBitmapDecoder::ReadPalette(std::FILE* file, std::uint32_t entries, int entrySize) {
    std::array<std::uint8_t, kMaxPaletteEntries * 4> stored{};
    std::fread(stored.data(), entrySize, entries, file);
    for (std::uint32_t entry = 0; entry < entries; ++entry) {
        std::memcpy(&m_palette[4 * entry], &stored[entrySize * entry], 3);
    }
}

bool CBitmapDecoder::ReadPixels(std::FILE* file, std::uint8_t* grayPlane, std::uint8_t* colorPlane,
                                GrayPlane gray) {
    m_grayValues = m_bitsPerPixel == 8 ? CGrayValues::Indices : CGrayValues::None;
    if (GrayPlaneSize() == 0) {
        return true;
    }
    // Run-length files may skip pixels, and 24-bit files have no gray plane of their own.
    if ((m_runLength || m_bitsPerPixel == 24) && gray != GrayPlane::Zeroed) {
        std::memset(grayPlane, 0, GrayPlaneSize());
    }
    PixelSource source(file, m_pixelOffset, m_pixelBytesInFile);
    if (m_runLength) {
        DecodeRunLength(source, grayPlane);
        ExpandIndices(grayPlane, colorPlane, GrayPlaneSize());
        return true;
    }
    DecodeRawRows(source, grayPlane, colorPlane);
    if (m_bitsPerPixel == 24) {
        const std::size_t used = 3 * GrayPlaneSize();
        std::memset(colorPlane + used, 0, ColorPlaneSize() - used);
    }
    return true;
}

void CBitmapDecoder::DecodeRawRows(PixelSource& source, std::uint8_t* grayPlane,
                                   std::uint8_t* colorPlane) const {
    const std::size_t width = m_width;
    const std::size_t pixelBytes = m_bitsPerPixel / 8;
    for (int fileRow = 0; fileRow < m_height; ++fileRow) {
        const std::size_t row = PlaneRow(fileRow);
        std::uint8_t* colorRow = colorPlane + 3 * width * row;
        std::uint8_t* target = m_bitsPerPixel == 8 ? grayPlane + width * row : colorRow;
        source.Read(target, pixelBytes * width);
        source.Skip(m_stride - pixelBytes * width);
        if (m_bitsPerPixel == 8) {
            ExpandIndices(target, colorRow, width);
        }
    }
}

// Pairs of a count and an index repeated count times; a zero count introduces an end of line
// (0), the end of the bitmap (1), a move right and up (2, then the two distances) or a run of
// that many literal indices padded to an even length. Runs and moves past the row's end are
// clipped to it; anything past the last row ends the decoding.
void CBitmapDecoder::DecodeRunLength(PixelSource& source, std::uint8_t* grayPlane) const {
    int x = 0;
    int fileRow = 0;
    while (fileRow < m_height) {
        const int count = source.Next();
        const int code = source.Next();
        if (code < 0) {
            return;
        }
        std::uint8_t* row = grayPlane + static_cast<std::size_t>(m_width) * PlaneRow(fileRow);
        if (count > 0) {
            const int written = std::min(count, m_width - x);
            std::memset(row + x, code, written);
            x += written;
        } else if (code == 0) {
            x = 0;
            ++fileRow;
        } else if (code == 1) {
            return;
        } else if (code == 2) {
            const int right = source.Next();
            const int up = source.Next();
            if (up < 0) {
                return;
            }
            x = std::min(x + right, m_width);
            fileRow += up;
        } else {
            const int written = std::min(code, m_width - x);
            source.Read(row + x, written);
            source.Skip(code - written + code % 2);
            x += written;
        }
    }
}

// Four-byte stores are much cheaper than three single bytes. Each one spills into the next
// pixel's first byte, which that pixel's own store rewrites; only the last pixel is copied
// with its three bytes so that nothing is written past the run. Unrolled, the loop keeps up
// with the memory it writes: this is the hot loop of an 8-bit file.
void CBitmapDecoder::ExpandIndices(const std::uint8_t* indices, std::uint8_t* bgr,
                                   std::size_t count) const {
#pragma GCC unroll 4
    for (std::size_t pixel = 0; pixel + 1 < count; ++pixel) {
        std::memcpy(bgr + 3 * pixel, &m_palette[4 * indices[pixel]], 4);
    }
    if (count > 0) {
        std::memcpy(bgr + 3 * (count - 1), &m_palette[4 * indices[count - 1]], 3);
    }
}
