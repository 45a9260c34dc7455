#include "imagefilekind.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <vector>

namespace {

bool StartsWith(const std::array<unsigned char, 12>& bytes, std::size_t got, const char* magic,
                std::size_t length, std::size_t at = 0) {
    return got >= at + length && std::memcmp(bytes.data() + at, magic, length) == 0;
}

CImageKind NetpbmKind(char digit) {
    switch (digit) {
    case '1':
    case '4':
        return CImageKind::Pbm;
    case '2':
    case '5':
        return CImageKind::Pgm;
    case '3':
    case '6':
        return CImageKind::Ppm;
    default:
        return CImageKind::Unknown;
    }
}

// Reads a file front to back within its length, so that a length field cannot send a skip
// past the end unnoticed.
class Cursor {
public:
    explicit Cursor(std::FILE* file) : m_file(file) {
        if (fseeko(file, 0, SEEK_END) == 0)
            m_length = ftello(file);
        m_good = m_length >= 0 && fseeko(file, 0, SEEK_SET) == 0;
    }

    // Up to size bytes, fewer at the end of the file.
    std::size_t ReadSome(void* bytes, std::size_t size) {
        const std::size_t got = m_good ? std::fread(bytes, 1, size, m_file) : 0;
        m_position += static_cast<off_t>(got);
        return got;
    }
    bool Read(void* bytes, std::size_t size) {
        m_good = m_good && std::fread(bytes, 1, size, m_file) == size;
        m_position += static_cast<off_t>(size);
        return m_good;
    }
    int Byte() {
        unsigned char byte = 0;
        return Read(&byte, 1) ? byte : -1;
    }
    bool Seek(std::uint64_t position) {
        m_good = position <= static_cast<std::uint64_t>(m_length) &&
                 fseeko(m_file, static_cast<off_t>(position), SEEK_SET) == 0;
        m_position = m_good ? static_cast<off_t>(position) : m_position;
        return m_good;
    }
    bool Skip(std::uint64_t size) {
        m_good = m_good && size <= static_cast<std::uint64_t>(m_length - m_position) &&
                 fseeko(m_file, static_cast<off_t>(size), SEEK_CUR) == 0;
        m_position += m_good ? static_cast<off_t>(size) : 0;
        return m_good;
    }
    off_t Length() const { return m_length; }
    off_t Position() const { return m_position; }
    bool AtEnd() const { return m_position >= m_length; }

private:
    std::FILE* m_file;
    off_t m_length = -1;
    off_t m_position = 0;
    bool m_good = false;
};

std::uint32_t BigEndian32(const unsigned char* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | bytes[3];
}

CFramingProblem EndedEarly(std::string detail) {
    return {true, std::move(detail)};
}

CFramingProblem Damaged(std::string detail) {
    return {false, std::move(detail)};
}

constexpr std::uint32_t kLargestChunk = 0x7FFFFFFF;

// Up to the end, or only the chunks before the pixel data that a decoder reads with the header;
// of those only the critical ones' checksums, which are small, are checked.
std::optional<CFramingProblem> PngFraming(Cursor& cursor, bool headerOnly) {
    if (!cursor.Skip(8))
        return EndedEarly("缺少 PNG 签名");
    std::vector<unsigned char> buffer(64 * 1024);
    for (;;) {
        unsigned char header[8];
        if (!cursor.Read(header, sizeof header))
            return EndedEarly(headerOnly ? "在 IDAT 块之前" : "在 IEND 块之前");
        const std::uint32_t length = BigEndian32(header);
        const std::string type(reinterpret_cast<const char*>(header + 4), 4);
        if (length > kLargestChunk)
            return Damaged(type + " 块的长度 " + std::to_string(length) + " 不合规定");
        if (headerOnly && type == "IDAT")
            return std::nullopt;
        const bool critical = std::isupper(static_cast<unsigned char>(type[0]));
        if (headerOnly && !critical) {
            if (!cursor.Skip(std::uint64_t{length} + 4))
                return EndedEarly("在 " + type + " 块之中");
            continue;
        }
        uLong crc = crc32(0, header + 4, 4);
        for (std::uint32_t left = length; left > 0;) {
            const std::uint32_t step = std::min<std::uint32_t>(left, buffer.size());
            if (!cursor.Read(buffer.data(), step))
                return EndedEarly("在 " + type + " 块之中");
            crc = crc32(crc, buffer.data(), step);
            left -= step;
        }
        unsigned char stored[4];
        if (!cursor.Read(stored, sizeof stored))
            return EndedEarly("在 " + type + " 块的校验和之中");
        if (BigEndian32(stored) != crc)
            return Damaged(type + " 块的校验和不符");
        if (type == "IEND")
            return std::nullopt;
    }
}

bool SkipSubBlocks(Cursor& cursor) {
    for (int size = cursor.Byte(); size != 0; size = cursor.Byte())
        if (size < 0 || !cursor.Skip(static_cast<std::uint64_t>(size)))
            return false;
    return true;
}

// The colour table that a flags byte announces.
bool SkipColorTable(Cursor& cursor, int flags) {
    return (flags & 0x80) == 0 || cursor.Skip(3u << ((flags & 7) + 1));
}

std::optional<CFramingProblem> GifFraming(Cursor& cursor) {
    unsigned char screen[13];
    if (!cursor.Read(screen, sizeof screen) || !SkipColorTable(cursor, screen[10]))
        return EndedEarly("在全局颜色表之中");
    for (;;) {
        const int introducer = cursor.Byte();
        if (introducer == 0x3B)
            return std::nullopt;
        unsigned char descriptor[9];
        const bool complete = introducer == 0x21   ? cursor.Byte() >= 0 && SkipSubBlocks(cursor)
                              : introducer == 0x2C ? cursor.Read(descriptor, sizeof descriptor) &&
                                                         SkipColorTable(cursor, descriptor[8]) &&
                                                         cursor.Byte() >= 0 && SkipSubBlocks(cursor)
                                                   : introducer >= 0;
        if (introducer < 0 || !complete)
            return EndedEarly("在结尾标记 0x3B 之前");
        if (introducer != 0x21 && introducer != 0x2C)
            return Damaged("块的标记 " + std::to_string(introducer) + " 不是 GIF 的标记");
    }
}

std::optional<CFramingProblem> WebPFraming(Cursor& cursor) {
    unsigned char header[8];
    if (!cursor.Read(header, sizeof header))
        return EndedEarly("在 RIFF 头之中");
    const std::uint64_t length = std::uint64_t{header[4]} | std::uint64_t{header[5]} << 8 |
                                 std::uint64_t{header[6]} << 16 | std::uint64_t{header[7]} << 24;
    if (8 + length > static_cast<std::uint64_t>(cursor.Length()))
        return EndedEarly("RIFF 头说有 " + std::to_string(8 + length) + " 字节，文件只有 " +
                          std::to_string(cursor.Length()) + " 字节");
    return std::nullopt;
}

// A binary netpbm header's next number, after white space and comments; nothing when the file
// ends first or holds something else there.
std::optional<std::uint64_t> NetpbmNumber(Cursor& cursor) {
    int c = cursor.Byte();
    while (c == '#' || (c >= 0 && std::isspace(c))) {
        if (c == '#')
            while (c >= 0 && c != '\n' && c != '\r')
                c = cursor.Byte();
        c = cursor.Byte();
    }
    std::uint64_t value = 0;
    bool digits = false;
    for (; c >= '0' && c <= '9' && value < (std::uint64_t{1} << 40); c = cursor.Byte()) {
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
        digits = true;
    }
    // The one white space character after the last number is the header's end.
    if (!digits || c < 0 || !std::isspace(c))
        return std::nullopt;
    return value;
}

// The binary kinds, P4 to P6, whose samples must all be there; the text kinds are left to the
// decoder.
std::optional<CFramingProblem> NetpbmFraming(Cursor& cursor) {
    unsigned char magic[2];
    if (!cursor.Read(magic, sizeof magic) || magic[1] < '4' || magic[1] > '6')
        return std::nullopt;
    const std::optional<std::uint64_t> width = NetpbmNumber(cursor);
    const std::optional<std::uint64_t> height = width ? NetpbmNumber(cursor) : std::nullopt;
    const std::optional<std::uint64_t> maxval =
        magic[1] == '4' || !height ? std::optional<std::uint64_t>(1) : NetpbmNumber(cursor);
    if (!height || !maxval)
        return EndedEarly("在文件头之中");
    const std::uint64_t sampleBytes = *maxval > 255 ? 2 : 1;
    const std::uint64_t rowBytes = magic[1] == '4'   ? (*width + 7) / 8
                                   : magic[1] == '5' ? *width * sampleBytes
                                                     : 3 * *width * sampleBytes;
    const std::uint64_t needed = rowBytes * *height;
    const std::uint64_t left = static_cast<std::uint64_t>(cursor.Length() - cursor.Position());
    if (left < needed)
        return EndedEarly("像素数据应有 " + std::to_string(needed) + " 字节，只有 " +
                          std::to_string(left) + " 字节");
    return std::nullopt;
}

// Numbers in a classic TIFF's byte order, as its first two bytes say.
class TiffNumbers {
public:
    TiffNumbers(Cursor& cursor, bool bigEndian) : m_cursor(cursor), m_bigEndian(bigEndian) {}

    std::uint32_t Of(const unsigned char* bytes, int size) const {
        std::uint32_t value = 0;
        for (int i = 0; i < size; ++i)
            value |= std::uint32_t{bytes[m_bigEndian ? size - 1 - i : i]} << (8 * i);
        return value;
    }
    std::optional<std::uint32_t> Read(int size) {
        unsigned char bytes[4] = {};
        if (!m_cursor.Read(bytes, static_cast<std::size_t>(size)))
            return std::nullopt;
        return Of(bytes, size);
    }

private:
    Cursor& m_cursor;
    bool m_bigEndian;
};

constexpr std::uint32_t kTiffShort = 3;
constexpr std::uint32_t kTiffLong = 4;

struct TiffEntry {
    std::uint32_t tag = 0;
    std::uint32_t type = 0;
    std::uint32_t count = 0;
    unsigned char value[4] = {}; // the value itself when it fits, else where it is
};

// The offsets or byte counts of a page's strips or tiles: SHORT or LONG values.
std::optional<std::vector<std::uint64_t>> TiffValues(Cursor& cursor, TiffNumbers& numbers,
                                                     const TiffEntry& entry) {
    const int size = entry.type == kTiffShort ? 2 : 4;
    if (entry.type != kTiffShort && entry.type != kTiffLong)
        return std::nullopt;
    std::vector<std::uint64_t> values;
    if (std::uint64_t{entry.count} * size <= 4) {
        for (std::uint32_t i = 0; i < entry.count; ++i)
            values.push_back(numbers.Of(entry.value + size * i, size));
        return values;
    }
    if (!cursor.Seek(numbers.Of(entry.value, 4)))
        return std::nullopt;
    for (std::uint32_t i = 0; i < entry.count; ++i) {
        const std::optional<std::uint32_t> value = numbers.Read(size);
        if (!value)
            return std::nullopt;
        values.push_back(*value);
    }
    return values;
}

// The first page's directory and the data its strips or tiles point at: the page the decoders
// read. A BigTIFF is left to the decoder.
std::optional<CFramingProblem> TiffFraming(Cursor& cursor) {
    unsigned char order[2];
    if (!cursor.Read(order, sizeof order))
        return EndedEarly("在文件头之中");
    TiffNumbers numbers(cursor, order[0] == 'M');
    const std::optional<std::uint32_t> magic = numbers.Read(2);
    const std::optional<std::uint32_t> first = numbers.Read(4);
    if (!first)
        return EndedEarly("在文件头之中");
    if (magic != 42u)
        return std::nullopt;
    const std::optional<std::uint32_t> count = cursor.Seek(*first) ? numbers.Read(2) : std::nullopt;
    std::vector<TiffEntry> entries(count.value_or(0));
    for (TiffEntry& entry : entries) {
        entry.tag = numbers.Read(2).value_or(0);
        entry.type = numbers.Read(2).value_or(0);
        entry.count = numbers.Read(4).value_or(0);
        cursor.Read(entry.value, sizeof entry.value);
    }
    if (!count || !numbers.Read(4))
        return EndedEarly("在第一页的目录之中");
    const auto find = [&](std::uint32_t tag) {
        const auto found = std::ranges::find(entries, tag, &TiffEntry::tag);
        return found == entries.end() ? std::nullopt : TiffValues(cursor, numbers, *found);
    };
    // Strips (273, 279), or tiles (324, 325).
    for (const auto& [offsetsTag, lengthsTag] : {std::pair{273u, 279u}, std::pair{324u, 325u}}) {
        const std::optional<std::vector<std::uint64_t>> offsets = find(offsetsTag);
        const std::optional<std::vector<std::uint64_t>> lengths = find(lengthsTag);
        if (!offsets || !lengths)
            continue;
        for (std::size_t i = 0; i < std::min(offsets->size(), lengths->size()); ++i)
            if ((*offsets)[i] + (*lengths)[i] > static_cast<std::uint64_t>(cursor.Length()))
                return EndedEarly("第一页的数据应到第 " +
                                  std::to_string((*offsets)[i] + (*lengths)[i]) +
                                  " 字节，文件只有 " + std::to_string(cursor.Length()) + " 字节");
    }
    return std::nullopt;
}

struct JpegFrame {
    bool progressive = false;
    std::uint64_t coefficientBytes = 0;
};

// A start-of-frame marker's segment: its coding, and the coefficient blocks of each component
// rounded up to whole units of its sampling, as libjpeg allocates them.
std::optional<JpegFrame> ReadFrame(Cursor& cursor, int marker, std::uint64_t length) {
    std::vector<unsigned char> segment(length);
    if (length < 6 || !cursor.Read(segment.data(), segment.size()))
        return std::nullopt;
    const std::uint64_t height = std::uint64_t{segment[1]} << 8 | segment[2];
    const std::uint64_t width = std::uint64_t{segment[3]} << 8 | segment[4];
    const std::size_t components = segment[5];
    if (length < 6 + 3 * components)
        return std::nullopt;
    std::uint64_t mostH = 1;
    std::uint64_t mostV = 1;
    for (std::size_t c = 0; c < components; ++c) {
        mostH = std::max<std::uint64_t>(mostH, segment[7 + 3 * c] >> 4);
        mostV = std::max<std::uint64_t>(mostV, segment[7 + 3 * c] & 15);
    }
    const auto blocks = [](std::uint64_t pixels, std::uint64_t sampling, std::uint64_t most) {
        const std::uint64_t count = (pixels * sampling + 8 * most - 1) / (8 * most);
        return sampling == 0 ? 0 : (count + sampling - 1) / sampling * sampling;
    };
    JpegFrame frame;
    frame.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
    for (std::size_t c = 0; c < components; ++c)
        frame.coefficientBytes += blocks(width, segment[7 + 3 * c] >> 4, mostH) *
                                  blocks(height, segment[7 + 3 * c] & 15, mostV) * 64 * 2;
    return frame;
}

bool IsFrameMarker(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// The next marker after entropy-coded data, where 0xFF 0x00 is a data byte and restart
// markers belong to the data; -1 at the end of the file. The data is most of the file: it is
// searched a block at a time, not read byte by byte.
int NextMarkerAfterData(Cursor& cursor) {
    std::vector<unsigned char> block(64 * 1024);
    bool afterFF = false;
    for (;;) {
        const off_t start = cursor.Position();
        const std::size_t got = cursor.ReadSome(block.data(), block.size());
        if (got == 0)
            return -1;
        const unsigned char* at = block.data();
        const unsigned char* end = at + got;
        while (at < end) {
            if (!afterFF) {
                at = static_cast<const unsigned char*>(std::memchr(at, 0xFF, end - at));
                if (at == nullptr)
                    break;
                afterFF = true;
                ++at;
                continue;
            }
            const int byte = *at++;
            if (byte == 0xFF)
                continue; // fill before a marker
            afterFF = false;
            if (byte != 0 && (byte < 0xD0 || byte > 0xD7)) {
                cursor.Seek(static_cast<std::uint64_t>(start + (at - block.data())));
                return byte;
            }
        }
    }
}

} // namespace

CImageKind KindOfContent(std::FILE* file) {
    std::array<unsigned char, 12> bytes{};
    const std::size_t got =
        std::fseek(file, 0, SEEK_SET) == 0 ? std::fread(bytes.data(), 1, bytes.size(), file) : 0;
    std::fseek(file, 0, SEEK_SET);
    if (StartsWith(bytes, got, "\x89PNG\r\n\x1A\n", 8))
        return CImageKind::Png;
    if (StartsWith(bytes, got, "\xFF\xD8\xFF", 3))
        return CImageKind::Jpeg;
    if (StartsWith(bytes, got, "II*\0", 4) || StartsWith(bytes, got, "MM\0*", 4) ||
        StartsWith(bytes, got, "II+\0", 4) || StartsWith(bytes, got, "MM\0+", 4))
        return CImageKind::Tiff;
    if (StartsWith(bytes, got, "GIF87a", 6) || StartsWith(bytes, got, "GIF89a", 6))
        return CImageKind::Gif;
    if (StartsWith(bytes, got, "RIFF", 4) && StartsWith(bytes, got, "WEBP", 4, 8))
        return CImageKind::WebP;
    if (StartsWith(bytes, got, "BM", 2))
        return CImageKind::Bitmap;
    if (got >= 3 && bytes[0] == 'P' && std::strchr(" \t\r\n#", bytes[2]) != nullptr)
        return NetpbmKind(static_cast<char>(bytes[1]));
    return CImageKind::Unknown;
}

std::string KindName(CImageKind kind) {
    switch (kind) {
    case CImageKind::Bitmap:
        return "BMP";
    case CImageKind::Png:
        return "PNG";
    case CImageKind::Jpeg:
        return "JPEG";
    case CImageKind::Tiff:
        return "TIFF";
    case CImageKind::Gif:
        return "GIF";
    case CImageKind::WebP:
        return "WebP";
    case CImageKind::Pbm:
        return "PBM";
    case CImageKind::Pgm:
        return "PGM";
    case CImageKind::Ppm:
        return "PPM";
    case CImageKind::Unknown:
        break;
    }
    return {};
}

std::optional<CFramingProblem> FramingProblem(CImageKind kind, std::FILE* file) {
    Cursor cursor(file);
    switch (kind) {
    case CImageKind::Png:
        return PngFraming(cursor, false);
    case CImageKind::Gif:
        return GifFraming(cursor);
    case CImageKind::WebP:
        return WebPFraming(cursor);
    case CImageKind::Tiff:
        return TiffFraming(cursor);
    case CImageKind::Pbm:
    case CImageKind::Pgm:
    case CImageKind::Ppm:
        return NetpbmFraming(cursor);
    default:
        return std::nullopt;
    }
}

std::optional<CFramingProblem> HeaderFramingProblem(CImageKind kind, std::FILE* file) {
    Cursor cursor(file);
    if (kind != CImageKind::Png)
        return std::nullopt;
    std::optional<CFramingProblem> problem = PngFraming(cursor, true);
    std::fseek(file, 0, SEEK_SET);
    return problem;
}

std::uint64_t JpegCoefficientBytes(std::FILE* file) {
    Cursor cursor(file);
    if (cursor.Byte() != 0xFF || cursor.Byte() != 0xD8)
        return 0;
    std::optional<JpegFrame> frame;
    int scans = 0;
    for (int marker = cursor.Byte() == 0xFF ? cursor.Byte() : -1; marker >= 0;) {
        while (marker == 0xFF)
            marker = cursor.Byte();
        if (marker < 0 || marker == 0xD9)
            break;
        unsigned char length[2];
        if (!cursor.Read(length, sizeof length))
            break;
        const std::uint64_t size = (std::uint64_t{length[0]} << 8 | length[1]);
        if (size < 2)
            break;
        if (IsFrameMarker(marker)) {
            frame = ReadFrame(cursor, marker, size - 2);
            if (!frame || frame->progressive)
                break;
        } else if (!cursor.Skip(size - 2)) {
            break;
        }
        if (marker == 0xDA && ++scans > 1)
            break;
        marker = marker == 0xDA ? NextMarkerAfterData(cursor)
                                : (cursor.Byte() == 0xFF ? cursor.Byte() : -1);
    }
    const bool buffered = frame && (frame->progressive || scans > 1);
    return buffered ? frame->coefficientBytes : 0;
}
