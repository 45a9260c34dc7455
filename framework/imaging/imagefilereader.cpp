#include "imagefilereader.h"

#include <QFile>
#include <QImage>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace {

// The toolkit's names of the kinds read. Its other plug-ins (icons, TGA, XPM and what else is
// installed) are not handed untrusted files.
bool IsReadKind(const QByteArray& format) {
    static const char* const kinds[] = {"png", "jpeg", "tiff", "pbm", "pgm", "ppm", "gif", "webp"};
    return std::ranges::any_of(kinds, [&](const char* kind) { return format == kind; });
}

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

// Writes count pixels of three bytes, pixel x being the low three bytes of bgrOf(x). Four-byte
// stores are much cheaper than three single ones: each spills into the next pixel, which
// rewrites it; the last pixel is stored with its three bytes so that nothing goes past the row.
template <typename BgrOf> void StoreBgrRow(std::uint8_t* row, int count, BgrOf bgrOf) {
#pragma GCC unroll 4
    for (int x = 0; x + 1 < count; ++x) {
        const std::uint32_t bgr = bgrOf(x);
        std::memcpy(row + 3 * x, &bgr, 4);
    }
    if (count > 0) {
        const std::uint32_t bgr = bgrOf(count - 1);
        std::memcpy(row + 3 * (count - 1), &bgr, 3);
    }
}

} // namespace

struct CImageFileReader::Impl {
    // How the decoded image is held: the toolkit's formats that the copies read.
    enum class Storage { Gray8, Gray16, Indexed, Opaque, Straight, Deep };

    QFile device;
    QImageReader reader;
    QImage image;
    Storage storage = Storage::Opaque;
    Pixels kind = Pixels::ColorOnly;
    // Each entry composed on black: blue, green, red and a zero byte. Indices past the
    // file's palette give black.
    std::array<std::uint8_t, 256 * 4> palette{};
    int width = 0;
    int height = 0;
    std::string problem;

    bool Fail(const char* reason) {
        problem = reason;
        return false;
    }
    bool Hold(const QImage& decoded);
    bool HoldIndexed(const QImage& decoded);
    template <typename BgrOf> void StoreRows(std::uint8_t* plane, BgrOf bgrOf) const;
};

CImageFileReader::CImageFileReader() : m_impl(std::make_unique<Impl>()) {}

CImageFileReader::~CImageFileReader() = default;

bool CImageFileReader::ReadHeader(std::FILE* file) {
    m_impl = std::make_unique<Impl>();
    Impl& impl = *m_impl;
    if (std::fseek(file, 0, SEEK_SET) != 0 ||
        !impl.device.open(file, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return impl.Fail("无法读取文件");
    impl.reader.setDevice(&impl.device);
    impl.reader.setAutoTransform(true);
    if (!IsReadKind(impl.reader.format()))
        return impl.Fail("无法识别图像的格式");
    const QSize size = impl.reader.size();
    if (!size.isValid())
        return impl.Fail("图像头已损坏");
    impl.width = size.width();
    impl.height = size.height();
    return true;
}

int CImageFileReader::Width() const {
    return m_impl->width;
}

int CImageFileReader::Height() const {
    return m_impl->height;
}

bool CImageFileReader::Decode(std::size_t maxBytes) {
    Impl& impl = *m_impl;
    const std::size_t megabytes = (maxBytes >> 20) + ((maxBytes & 0xFFFFF) != 0);
    impl.reader.setAllocationLimit(static_cast<int>(std::min<std::size_t>(megabytes, INT_MAX)));
    QImage decoded;
    if (!impl.reader.read(&decoded))
        return impl.Fail(impl.reader.error() == QImageReader::DeviceError ? "读取文件时出错"
                                                                          : "图像数据已损坏");
    if (!impl.Hold(decoded))
        return impl.Fail("内存不足，无法转换图像");
    impl.width = impl.image.width();
    impl.height = impl.image.height();
    return true;
}

bool CImageFileReader::Impl::Hold(const QImage& decoded) {
    switch (decoded.format()) {
    case QImage::Format_Grayscale8:
        storage = Storage::Gray8;
        kind = Pixels::GrayLevels;
        image = decoded;
        return true;
    case QImage::Format_Grayscale16:
        storage = Storage::Gray16;
        kind = Pixels::GrayLevels;
        image = decoded;
        return true;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return HoldIndexed(decoded);
    default:
        break;
    }
    kind = Pixels::ColorOnly;
    // A premultiplied image is already composed on black.
    const bool premultiplied = decoded.pixelFormat().premultiplied() == QPixelFormat::Premultiplied;
    if (decoded.depth() > 32) {
        storage = Storage::Deep;
        image = decoded.convertToFormat(QImage::Format_RGBA64);
    } else if (decoded.hasAlphaChannel() && !premultiplied) {
        storage = Storage::Straight;
        image = decoded.convertToFormat(QImage::Format_ARGB32);
    } else {
        storage = Storage::Opaque;
        image = decoded.convertToFormat(
            decoded.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    }
    return !image.isNull();
}

bool CImageFileReader::Impl::HoldIndexed(const QImage& decoded) {
    storage = Storage::Indexed;
    image = decoded.convertToFormat(QImage::Format_Indexed8);
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
    return !image.isNull();
}

CImageFileReader::Pixels CImageFileReader::Kind() const {
    return m_impl->kind;
}

void CImageFileReader::CopyGray(std::uint8_t* plane) const {
    const Impl& impl = *m_impl;
    if (impl.kind == Pixels::ColorOnly)
        return;
    const int width = impl.width;
    const bool levelsFromPalette =
        impl.storage == Impl::Storage::Indexed && impl.kind == Pixels::GrayLevels;
    for (int y = 0; y < impl.height; ++y) {
        std::uint8_t* target = plane + static_cast<std::size_t>(width) * y;
        const uchar* line = impl.image.constScanLine(y);
        if (impl.storage == Impl::Storage::Gray16) {
            const auto* samples = reinterpret_cast<const quint16*>(line);
            std::transform(samples, samples + width, target, Scaled16);
        } else if (levelsFromPalette) {
            std::transform(line, line + width, target,
                           [&](uchar index) { return impl.palette[4 * index]; });
        } else {
            std::memcpy(target, line, width);
        }
    }
}

template <typename BgrOf>
void CImageFileReader::Impl::StoreRows(std::uint8_t* plane, BgrOf bgrOf) const {
    for (int y = 0; y < height; ++y) {
        const uchar* line = image.constScanLine(y);
        StoreBgrRow(plane + 3 * static_cast<std::size_t>(width) * y, width,
                    [&](int x) { return bgrOf(line, x); });
    }
}

void CImageFileReader::CopyBgr(std::uint8_t* plane) const {
    const Impl& impl = *m_impl;
    switch (impl.storage) {
    case Impl::Storage::Gray8:
        return impl.StoreRows(plane, [](const uchar* line, int x) { return line[x] * 0x010101u; });
    case Impl::Storage::Gray16:
        return impl.StoreRows(plane, [](const uchar* line, int x) {
            return Scaled16(reinterpret_cast<const quint16*>(line)[x]) * 0x010101u;
        });
    case Impl::Storage::Indexed:
        return impl.StoreRows(plane, [&](const uchar* line, int x) {
            std::uint32_t bgr;
            std::memcpy(&bgr, &impl.palette[4 * line[x]], 4);
            return bgr;
        });
    case Impl::Storage::Opaque:
        // Little-endian 0xAARRGGBB: blue, green and red are the first three bytes.
        return impl.StoreRows(plane, [](const uchar* line, int x) {
            std::uint32_t argb;
            std::memcpy(&argb, line + 4 * x, 4);
            return argb;
        });
    case Impl::Storage::Straight:
        return impl.StoreRows(plane, [](const uchar* line, int x) {
            const QRgb argb = reinterpret_cast<const QRgb*>(line)[x];
            const unsigned alpha = qAlpha(argb);
            return Bgr(Composed(qBlue(argb), alpha), Composed(qGreen(argb), alpha),
                       Composed(qRed(argb), alpha));
        });
    case Impl::Storage::Deep:
        return impl.StoreRows(plane, [](const uchar* line, int x) {
            const QRgba64 rgba = reinterpret_cast<const QRgba64*>(line)[x];
            const unsigned alpha = rgba.alpha();
            return Bgr(Composed16(rgba.blue(), alpha), Composed16(rgba.green(), alpha),
                       Composed16(rgba.red(), alpha));
        });
    }
}

const std::string& CImageFileReader::Problem() const {
    return m_impl->problem;
}
