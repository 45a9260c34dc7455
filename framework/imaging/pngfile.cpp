#include "pngfile.h"

#include "decodermessages.h"

#include <png.h>

#include <vector>

namespace {

[[noreturn]] void Fail(png_structp png, png_const_charp message) {
    CDecoderMessages::Collect("png", message);
    png_longjmp(png, 1);
}

void Warn(png_structp, png_const_charp message) {
    CDecoderMessages::Collect("png", message);
}

void ReadFromDevice(png_structp png, png_bytep data, png_size_t length) {
    auto* device = static_cast<QIODevice*>(png_get_io_ptr(png));
    while (length > 0) {
        const qint64 got = device->read(reinterpret_cast<char*>(data), static_cast<qint64>(length));
        if (got <= 0)
            png_error(png, "Read Error");
        data += got;
        length -= static_cast<png_size_t>(got);
    }
}

} // namespace

struct CPngFile::Impl {
    QIODevice& device;
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    QImage::Format format = QImage::Format_Invalid;
    QList<QRgb> palette;

    explicit Impl(QIODevice& source) : device(source) {
        png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, Fail, Warn);
        info = png ? png_create_info_struct(png) : nullptr;
        if (png && info)
            png_set_read_fn(png, &device, ReadFromDevice);
    }
    ~Impl() { png_destroy_read_struct(&png, &info, nullptr); }

    // Sets libpng's transforms so that its rows are those of format, after the header.
    void ChooseFormat();
    void ReadPalette();
};

// Gray stays gray and an indexed image indexed, as the toolkit reads them; anything else
// becomes RGB, 8 bits or 16 a sample, with alpha where the file has some.
void CPngFile::Impl::ChooseFormat() {
    int depth = 0;
    int colorType = 0;
    int interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colorType, &interlace, nullptr, nullptr);
    const bool transparentColor = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_packing(png);
        ReadPalette();
        format = QImage::Format_Indexed8;
    } else if (colorType == PNG_COLOR_TYPE_GRAY && !transparentColor) {
        png_set_expand_gray_1_2_4_to_8(png);
        format = depth == 16 ? QImage::Format_Grayscale16 : QImage::Format_Grayscale8;
    } else {
        png_set_expand_gray_1_2_4_to_8(png);
        if (transparentColor)
            png_set_tRNS_to_alpha(png);
        png_set_gray_to_rgb(png);
        const bool alpha = transparentColor || (colorType & PNG_COLOR_MASK_ALPHA) != 0;
        if (depth == 16) {
            png_set_filler(png, 0xFFFF, PNG_FILLER_AFTER);
            format = alpha ? QImage::Format_RGBA64 : QImage::Format_RGBX64;
        } else {
            // Blue, green, red, alpha in memory: the toolkit's 0xAARRGGBB words.
            png_set_bgr(png);
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
            format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        }
    }
    // The file's samples are big-endian, the toolkit's sixteen-bit ones the machine's.
    if (depth == 16 && Q_BYTE_ORDER == Q_LITTLE_ENDIAN)
        png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

void CPngFile::Impl::ReadPalette() {
    png_colorp colors = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &colors, &count);
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_get_tRNS(png, info, &alphas, &alphaCount, nullptr);
    for (int entry = 0; entry < count; ++entry)
        palette.push_back(qRgba(colors[entry].red, colors[entry].green, colors[entry].blue,
                                entry < alphaCount ? alphas[entry] : 255));
}

CPngFile::CPngFile(QIODevice& device) : m_impl(std::make_unique<Impl>(device)) {}

CPngFile::~CPngFile() = default;

bool CPngFile::ReadHeader() {
    Impl& impl = *m_impl;
    if (!impl.png || !impl.info)
        return false;
    // Nothing with a destructor may live in this frame: a failure jumps back here.
    if (setjmp(png_jmpbuf(impl.png)))
        return false;
    png_read_info(impl.png, impl.info);
    impl.ChooseFormat();
    return true;
}

int CPngFile::Width() const {
    return static_cast<int>(m_impl->width);
}

int CPngFile::Height() const {
    return static_cast<int>(m_impl->height);
}

QImage::Format CPngFile::Format() const {
    return m_impl->format;
}

namespace {

// The rows into image, one pass or seven; a failure jumps back here, with nothing to destroy.
bool ReadRows(png_structp png, png_infop info, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    png_read_end(png, info);
    return true;
}

} // namespace

bool CPngFile::Read(QImage& image, std::size_t maxBytes) {
    Impl& impl = *m_impl;
    const std::size_t rowBytes =
        static_cast<std::size_t>((static_cast<std::uint64_t>(impl.width) *
                                      QImage::toPixelFormat(impl.format).bitsPerPixel() +
                                  31) /
                                 32 * 4);
    if (impl.format == QImage::Format_Invalid || rowBytes * impl.height > maxBytes) {
        CDecoderMessages::Collect("png", "allocation limit");
        return false;
    }
    image = QImage(Width(), Height(), impl.format);
    if (image.isNull())
        return false;
    if (impl.format == QImage::Format_Indexed8)
        image.setColorTable(impl.palette);
    std::vector<png_bytep> rows(impl.height);
    for (png_uint_32 y = 0; y < impl.height; ++y)
        rows[y] = image.scanLine(static_cast<int>(y));
    if (ReadRows(impl.png, impl.info, rows.data()))
        return true;
    image = QImage();
    return false;
}
