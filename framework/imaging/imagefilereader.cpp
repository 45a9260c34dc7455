#include "imagefilereader.h"

#include "decodermessages.h"
#include "imagefiledevice.h"
#include "pngfile.h"
#include "widenetpbm.h"

#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <optional>

namespace {

// The toolkit's names of the kinds read. Its other plug-ins (icons, TGA, XPM and what else is
// installed) are not handed untrusted files.
bool IsReadKind(const QByteArray& format) {
    static const char* const kinds[] = {"png", "jpeg", "tiff", "pbm", "pgm", "ppm", "gif", "webp"};
    return std::ranges::any_of(kinds, [&](const char* kind) { return format == kind; });
}

// The kinds whose decoders read exactly what they need, so that a read cut short by the end of
// the file means that the file ends before its data. The others read ahead in blocks.
bool ReadsExactly(const QByteArray& format) {
    static const char* const kinds[] = {"tiff", "pbm", "pgm", "ppm"};
    return std::ranges::any_of(kinds, [&](const char* kind) { return format == kind; });
}

// The toolkit's logging category of its JPEG plug-in, which passes libjpeg's warnings on.
constexpr char kJpegMessages[] = "qt.gui.imageio.jpeg";

// Where a pixel format is not declared, the deepest that an eight-bit plane is made from.
constexpr std::uint64_t kUndeclaredBytesPerPixel = 8;

std::uint8_t Composed(unsigned sample, unsigned alpha) {
    return static_cast<std::uint8_t>((sample * alpha + 127) / 255);
}

std::uint8_t Composed16(std::uint64_t sample, std::uint64_t alpha) {
    constexpr std::uint64_t kFull = std::uint64_t{65535} * 65535;
    return static_cast<std::uint8_t>((sample * alpha * 255 + kFull / 2) / kFull);
}

std::uint8_t Scaled16(unsigned sample) {
    return static_cast<std::uint8_t>((sample * 255 + 32767) / 65535);
}

std::uint32_t Bgr(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return blue | green << 8 | static_cast<std::uint32_t>(red) << 16;
}

std::uint32_t Word(const uchar* line, int x) {
    std::uint32_t word;
    std::memcpy(&word, line + 4 * static_cast<std::ptrdiff_t>(x), 4);
    return word;
}

QRgba64 Deep(const uchar* line, int x) {
    QRgba64 deep;
    std::memcpy(&deep, line + 8 * static_cast<std::ptrdiff_t>(x), 8);
    return deep;
}

// Where the pixels of one decoded row go in an upright plane, counted in pixels: pixel x at
// first + x * step.
struct Placement {
    std::ptrdiff_t first = 0;
    std::ptrdiff_t step = 1;
};

// Writes count pixels of three bytes at their placement, pixel x being the low three bytes of
// bgrOf(x). Along a row, four-byte stores are much cheaper than three single ones: each spills
// into the next pixel, which rewrites it; the last pixel is stored with its three bytes so that
// nothing goes past the row. A turned image's row runs down a column or backwards.
template <typename BgrOf> void StoreBgr(std::uint8_t* plane, Placement at, int count, BgrOf bgrOf) {
    std::uint8_t* first = plane + 3 * at.first;
    if (at.step == 1) {
#pragma GCC unroll 4
        for (int x = 0; x + 1 < count; ++x) {
            const std::uint32_t bgr = bgrOf(x);
            std::memcpy(first + 3 * static_cast<std::ptrdiff_t>(x), &bgr, 4);
        }
        if (count > 0) {
            const std::uint32_t bgr = bgrOf(count - 1);
            std::memcpy(first + 3 * static_cast<std::ptrdiff_t>(count - 1), &bgr, 3);
        }
        return;
    }
    for (int x = 0; x < count; ++x) {
        const std::uint32_t bgr = bgrOf(x);
        std::memcpy(first + 3 * at.step * x, &bgr, 3);
    }
}

template <typename ValueOf>
void StoreBytes(std::uint8_t* plane, Placement at, int count, ValueOf valueOf) {
    for (int x = 0; x < count; ++x)
        plane[at.first + at.step * x] = valueOf(x);
}

} // namespace

struct CImageFileReader::Impl {
    // How the decoded image is held: the toolkit's formats that the copies read directly, and
    // Converted for the rest, which are converted a row at a time.
    enum class Storage {
        Gray8,
        Gray16,
        Indexed,
        Opaque,
        Straight,
        DeepStraight,
        DeepOpaque,
        Converted
    };

    CImageFileDevice device;
    QImageReader reader;
    // As ReadHeader found it: once the image is read, the reader no longer knows.
    QByteArray format;
    // The kinds read here rather than by the toolkit.
    std::unique_ptr<CPngFile> png;
    std::optional<CWideNetpbm> wide;
    QImageIOHandler::Transformations turn = QImageIOHandler::TransformationNone;
    QImage::Format declared = QImage::Format_Invalid;
    QImage image; // as the file stores it, not yet turned
    Storage storage = Storage::Opaque;
    Pixels kind = Pixels::ColorOnly;
    // Each entry composed on black: blue, green, red and a zero byte. Indices past the
    // file's palette give black.
    std::array<std::uint8_t, 256 * 4> palette{};
    int width = 0; // upright
    int height = 0;
    std::string problem;
    std::string decoderText;
    // libjpeg warns of corrupt data and goes on, also while the header is read.
    bool jpegWarned = false;
    HeaderFault headerFault = HeaderFault::Unreadable;

    bool Fail(const char* reason, const CDecoderMessages& messages, HeaderFault fault) {
        headerFault = fault;
        decoderText = messages.Text();
        problem = reason;
        if (!decoderText.empty())
            problem += "（" + decoderText + "）";
        return false;
    }
    bool Turned() const { return turn & QImageIOHandler::TransformationRotate90; }
    bool ReadPngHeader(const CDecoderMessages& messages);
    bool MetTheEnd() const {
        return device.ReadPastEnd() || (ReadsExactly(format) && device.ShortRead());
    }
    // A header that could not be read: cut short when the reading met the file's end.
    HeaderFault HeaderFaultAtItsEnd() const {
        return MetTheEnd() ? HeaderFault::EndedEarly : HeaderFault::Damaged;
    }
    void Hold(QImage decoded);
    void ReadPalette();
    Placement PlacementOf(int y) const;
    // Calls visit(placement, line) for each decoded row, a Converted one as RGBA64.
    template <typename Visit> void ForEachRow(Visit visit) const;
};

CImageFileReader::CImageFileReader() : m_impl(std::make_unique<Impl>()) {}

CImageFileReader::~CImageFileReader() = default;

bool CImageFileReader::ReadHeader(std::FILE* file) {
    m_impl = std::make_unique<Impl>();
    Impl& impl = *m_impl;
    const CDecoderMessages messages;
    if (!impl.device.Open(file))
        return impl.Fail("无法读取文件", messages, HeaderFault::Unreadable);
    impl.reader.setDevice(&impl.device);
    // Turned while copied: the toolkit's own turn would make a second full-size image.
    impl.reader.setAutoTransform(false);
    impl.format = impl.reader.format();
    if (!IsReadKind(impl.format))
        return impl.Fail("无法识别图像的格式", messages, HeaderFault::UnknownKind);
    if (impl.format == "png")
        return impl.ReadPngHeader(messages);
    const QSize size = impl.reader.size();
    if (!size.isValid()) {
        return impl.Fail("图像头已损坏", messages, impl.HeaderFaultAtItsEnd());
    }
    impl.turn = impl.reader.transformation();
    impl.declared = impl.reader.imageFormat();
    if (impl.format == "pgm" || impl.format == "ppm")
        impl.wide = ReadWideNetpbmHeader(impl.device);
    impl.width = impl.Turned() ? size.height() : size.width();
    impl.height = impl.Turned() ? size.width() : size.height();
    impl.decoderText = messages.Text();
    impl.jpegWarned = messages.AnyFrom(kJpegMessages);
    return true;
}

bool CImageFileReader::Impl::ReadPngHeader(const CDecoderMessages& messages) {
    if (!device.seek(0))
        return Fail("无法读取文件", messages, HeaderFault::Unreadable);
    png = std::make_unique<CPngFile>(device);
    if (!png->ReadHeader()) {
        return Fail("图像头已损坏", messages, HeaderFaultAtItsEnd());
    }
    width = png->Width();
    height = png->Height();
    declared = png->Format();
    decoderText = messages.Text();
    return true;
}

int CImageFileReader::Width() const {
    return m_impl->width;
}

int CImageFileReader::Height() const {
    return m_impl->height;
}

std::uint64_t CImageFileReader::DecodedBytes() const {
    const Impl& impl = *m_impl;
    const std::uint64_t pixels = std::uint64_t(impl.width) * std::uint64_t(impl.height);
    if (impl.wide)
        return pixels * (impl.wide->channels == 1 ? 1 : 4);
    if (impl.declared == QImage::Format_Invalid)
        return pixels * kUndeclaredBytesPerPixel;
    // The toolkit's rows are padded to four bytes.
    const std::uint64_t bits = std::uint64_t(QImage::toPixelFormat(impl.declared).bitsPerPixel());
    const std::uint64_t rowBytes =
        (std::uint64_t(impl.Turned() ? impl.height : impl.width) * bits + 31) / 32 * 4;
    return rowBytes * std::uint64_t(impl.Turned() ? impl.width : impl.height);
}

bool CImageFileReader::DeclaresGrayPlane() const {
    const Impl& impl = *m_impl;
    if (impl.wide)
        return impl.wide->channels == 1;
    switch (impl.declared) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return true;
    default:
        return false;
    }
}

CImageFileReader::Outcome CImageFileReader::Decode(std::size_t maxBytes) {
    Impl& impl = *m_impl;
    const CDecoderMessages messages;
    const std::size_t megabytes = (maxBytes >> 20) + ((maxBytes & 0xFFFFF) != 0);
    impl.reader.setAllocationLimit(static_cast<int>(std::min<std::size_t>(megabytes, INT_MAX)));
    QImage decoded;
    const bool read = impl.png    ? impl.png->Read(decoded, maxBytes)
                      : impl.wide ? ReadWideNetpbm(impl.device, *impl.wide, decoded)
                                  : impl.reader.read(&decoded);
    // What was said while the header was read comes first.
    const std::string said = messages.Text();
    impl.decoderText += (impl.decoderText.empty() || said.empty() ? "" : "；") + said;
    // libjpeg goes on past corrupt data and only warns, and the toolkit ends its data with a
    // made-up end marker when the file runs out; every other library fails the read.
    const bool jpeg = impl.format == "jpeg";
    const bool damaged =
        !read ||
        (jpeg && (impl.jpegWarned || messages.AnyFrom(kJpegMessages) || impl.device.ReadPastEnd()));
    if (damaged && impl.MetTheEnd())
        return Outcome::EndedEarly;
    if (!read && messages.AnyContaining("allocation limit"))
        return Outcome::OutOfMemory;
    if (damaged)
        return Outcome::Damaged;
    impl.Hold(std::move(decoded));
    const QSize upright = impl.Turned() ? impl.image.size().transposed() : impl.image.size();
    impl.width = upright.width();
    impl.height = upright.height();
    return Outcome::Decoded;
}

void CImageFileReader::Impl::Hold(QImage decoded) {
    image = std::move(decoded);
    kind = Pixels::ColorOnly;
    switch (image.format()) {
    case QImage::Format_Grayscale8:
        storage = Storage::Gray8;
        kind = Pixels::GrayLevels;
        return;
    case QImage::Format_Grayscale16:
        storage = Storage::Gray16;
        kind = Pixels::GrayLevels;
        return;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        storage = Storage::Indexed;
        ReadPalette();
        return;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied: // already composed on black
        storage = Storage::Opaque;
        return;
    case QImage::Format_ARGB32:
        storage = Storage::Straight;
        return;
    case QImage::Format_RGBA64:
        storage = Storage::DeepStraight;
        return;
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64_Premultiplied:
        storage = Storage::DeepOpaque;
        return;
    default:
        storage = Storage::Converted;
        return;
    }
}

void CImageFileReader::Impl::ReadPalette() {
    bool allGray = true;
    const QList<QRgb> table = image.colorTable();
    for (qsizetype entry = 0; entry < std::min<qsizetype>(table.size(), 256); ++entry) {
        const QRgb color = table[entry];
        const std::uint32_t bgr =
            Bgr(Composed(qBlue(color), qAlpha(color)), Composed(qGreen(color), qAlpha(color)),
                Composed(qRed(color), qAlpha(color)));
        std::memcpy(&palette[4 * entry], &bgr, 4);
        allGray = allGray && palette[4 * entry] == palette[4 * entry + 1] &&
                  palette[4 * entry] == palette[4 * entry + 2];
    }
    kind = allGray ? Pixels::GrayLevels : Pixels::PaletteIndices;
}

// The file's turn as the toolkit applies it: mirrored left to right, flipped top to bottom,
// then turned a quarter clockwise.
Placement CImageFileReader::Impl::PlacementOf(int y) const {
    const std::ptrdiff_t stored = image.width();
    const std::ptrdiff_t rows = image.height();
    const bool mirror = turn & QImageIOHandler::TransformationMirror;
    const std::ptrdiff_t row = turn & QImageIOHandler::TransformationFlip ? rows - 1 - y : y;
    if (!Turned())
        return {row * stored + (mirror ? stored - 1 : 0), mirror ? -1 : 1};
    // Stored pixel (x, row) lands in column rows - 1 - row of upright row x.
    const std::ptrdiff_t column = rows - 1 - row;
    return {(mirror ? (stored - 1) * rows : 0) + column, mirror ? -rows : rows};
}

template <typename Visit> void CImageFileReader::Impl::ForEachRow(Visit visit) const {
    for (int y = 0; y < image.height(); ++y) {
        const uchar* line = image.constScanLine(y);
        if (storage != Storage::Converted) {
            visit(PlacementOf(y), line);
            continue;
        }
        // One row at a time: the whole image converted would be a second copy of it.
        const QImage row(line, image.width(), 1, image.bytesPerLine(), image.format());
        const QImage converted = row.convertToFormat(QImage::Format_RGBA64);
        visit(PlacementOf(y), converted.constScanLine(0));
    }
}

CImageFileReader::Pixels CImageFileReader::Kind() const {
    return m_impl->kind;
}

namespace {

int IndexAt(QImage::Format format, const uchar* line, int x) {
    switch (format) {
    case QImage::Format_Mono:
        return line[x >> 3] >> (7 - (x & 7)) & 1;
    case QImage::Format_MonoLSB:
        return line[x >> 3] >> (x & 7) & 1;
    default:
        return line[x];
    }
}

} // namespace

void CImageFileReader::CopyGray(std::uint8_t* plane) const {
    const Impl& impl = *m_impl;
    if (impl.kind == Pixels::ColorOnly)
        return;
    const int width = impl.image.width();
    const QImage::Format format = impl.image.format();
    const bool levelsFromPalette =
        impl.storage == Impl::Storage::Indexed && impl.kind == Pixels::GrayLevels;
    impl.ForEachRow([&](Placement at, const uchar* line) {
        if (impl.storage == Impl::Storage::Gray16) {
            const auto* samples = reinterpret_cast<const quint16*>(line);
            StoreBytes(plane, at, width, [&](int x) { return Scaled16(samples[x]); });
        } else if (impl.storage == Impl::Storage::Indexed) {
            StoreBytes(plane, at, width, [&](int x) {
                const int index = IndexAt(format, line, x);
                return levelsFromPalette ? impl.palette[4 * index] : static_cast<uint8_t>(index);
            });
        } else if (at.step == 1) {
            std::memcpy(plane + at.first, line, static_cast<std::size_t>(width));
        } else {
            StoreBytes(plane, at, width, [&](int x) { return line[x]; });
        }
    });
}

void CImageFileReader::CopyBgr(std::uint8_t* plane) const {
    const Impl& impl = *m_impl;
    const int width = impl.image.width();
    const QImage::Format format = impl.image.format();
    impl.ForEachRow([&](Placement at, const uchar* line) {
        switch (impl.storage) {
        case Impl::Storage::Gray8:
            return StoreBgr(plane, at, width, [&](int x) { return line[x] * 0x010101u; });
        case Impl::Storage::Gray16:
            return StoreBgr(plane, at, width, [&](int x) {
                return Scaled16(reinterpret_cast<const quint16*>(line)[x]) * 0x010101u;
            });
        case Impl::Storage::Indexed:
            return StoreBgr(plane, at, width, [&](int x) {
                std::uint32_t bgr;
                std::memcpy(&bgr, &impl.palette[4 * IndexAt(format, line, x)], 4);
                return bgr;
            });
        case Impl::Storage::Opaque:
            // Little-endian 0xAARRGGBB: blue, green and red are the first three bytes.
            return StoreBgr(plane, at, width, [&](int x) { return Word(line, x); });
        case Impl::Storage::Straight:
            return StoreBgr(plane, at, width, [&](int x) {
                const QRgb argb = Word(line, x);
                const unsigned alpha = qAlpha(argb);
                return Bgr(Composed(qBlue(argb), alpha), Composed(qGreen(argb), alpha),
                           Composed(qRed(argb), alpha));
            });
        case Impl::Storage::DeepStraight:
        case Impl::Storage::Converted:
            return StoreBgr(plane, at, width, [&](int x) {
                const QRgba64 rgba = Deep(line, x);
                const unsigned alpha = rgba.alpha();
                return Bgr(Composed16(rgba.blue(), alpha), Composed16(rgba.green(), alpha),
                           Composed16(rgba.red(), alpha));
            });
        case Impl::Storage::DeepOpaque:
            return StoreBgr(plane, at, width, [&](int x) {
                const QRgba64 rgba = Deep(line, x);
                return Bgr(Scaled16(rgba.blue()), Scaled16(rgba.green()), Scaled16(rgba.red()));
            });
        }
    });
}

void CImageFileReader::Release() {
    m_impl->image = QImage();
}

const std::string& CImageFileReader::Problem() const {
    return m_impl->problem;
}

CImageFileReader::HeaderFault CImageFileReader::HeaderFailure() const {
    return m_impl->headerFault;
}

const std::string& CImageFileReader::DecoderText() const {
    return m_impl->decoderText;
}
