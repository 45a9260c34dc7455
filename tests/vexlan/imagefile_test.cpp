// Image files other than bitmaps: every kind and every pixel layout it has gives the planes a
// bitmap of the same pixels would, damaged files are refused without touching the picture, and
// a file dropped on the window opens as File Open opens it.
#include "hostilefiles.h"
#include "imagefiledecoder.h"
#include "imagefiles.h"
#include "imagesetfixture.h"

#include <QDropEvent>
#include <QImageReader>
#include <QMimeData>
#include <QUrl>

#include <cmath>

namespace {

using testimages::Encoded;
using testimages::Gif;
using testimages::Netpbm;

constexpr int kWidth = 3;
constexpr int kHeight = 2;

// Sixteen-bit samples; an eight-bit sample s is s * 257.
struct Pixel {
    int r, g, b, a = 0xFFFF;
};
using Pixels = std::vector<Pixel>;

Pixels Eight(std::initializer_list<std::array<int, 4>> rgba) {
    Pixels pixels;
    for (const auto& [r, g, b, a] : rgba)
        pixels.push_back({r * 257, g * 257, b * 257, a * 257});
    return pixels;
}

Pixels Levels(std::initializer_list<int> levels, int scale) {
    Pixels pixels;
    for (const int level : levels)
        pixels.push_back({level * scale, level * scale, level * scale});
    return pixels;
}

const Pixels kGray8 = Levels({0, 17, 128, 200, 255, 90}, 257);
const Pixels kGray16 = Levels({0, 0x1234, 0x8000, 0xFF7F, 0xFFFF, 0x0101}, 1);
const Pixels kColor = Eight({{255, 0, 0, 255},
                             {0, 255, 0, 255},
                             {0, 0, 255, 255},
                             {10, 20, 30, 255},
                             {200, 100, 50, 255},
                             {255, 255, 255, 255}});
// Samples of 0 or 255 where alpha is partial: every way of rounding agrees on them.
const Pixels kAlpha = Eight({{255, 0, 0, 255},
                             {0, 255, 0, 0},
                             {0, 0, 255, 128},
                             {255, 255, 0, 77},
                             {10, 20, 30, 255},
                             {255, 0, 255, 200}});
const Pixels kDeep = {{0xFFFF, 0, 0x1234},
                      {0x8000, 0x4000, 0x0101, 0x8000},
                      {0x1111, 0x2222, 0x3333},
                      {0xFFFF, 0xFFFF, 0xFFFF, 0x4000},
                      {0, 0, 0, 0},
                      {0xABCD, 0x1234, 0x5678, 0xC000}};
const Pixels kFlat = Eight({{200, 100, 50, 255},
                            {200, 100, 50, 255},
                            {200, 100, 50, 255},
                            {200, 100, 50, 255},
                            {200, 100, 50, 255},
                            {200, 100, 50, 255}});
// Entry 4 is translucent in the PNG and transparent in the GIF.
const std::vector<QRgb> kPalette{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255),
                                 qRgb(10, 20, 30), qRgba(200, 100, 50, 100)};
const Bytes kIndices{0, 1, 2, 3, 4, 1};

QImage ImageOf(const Pixels& pixels, QImage::Format format) {
    QImage image(kWidth, kHeight, format);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        const Pixel& p = pixels[i];
        uchar* line = image.scanLine(i / kWidth);
        const int x = i % kWidth;
        if (format == QImage::Format_Grayscale8)
            line[x] = static_cast<uchar>(p.r / 257);
        else if (format == QImage::Format_Grayscale16)
            reinterpret_cast<quint16*>(line)[x] = static_cast<quint16>(p.r);
        else if (format == QImage::Format_RGBA64)
            reinterpret_cast<QRgba64*>(line)[x] = QRgba64::fromRgba64(p.r, p.g, p.b, p.a);
        else
            image.setPixel(x, i / kWidth, qRgba(p.r / 257, p.g / 257, p.b / 257, p.a / 257));
    }
    return image;
}

QImage IndexedImage() {
    QImage image(kWidth, kHeight, QImage::Format_Indexed8);
    image.setColorTable(QList<QRgb>(kPalette.begin(), kPalette.end()));
    for (int i = 0; i < kWidth * kHeight; ++i)
        image.setPixel(i % kWidth, i / kWidth, kIndices[i]);
    return image;
}

// A TIFF palette has no alpha; the GIF makes entry 4 transparent.
enum class EntryFour { AsGiven, Opaque, Transparent };

Pixels PaletteColors(EntryFour entryFour) {
    Pixels pixels;
    for (const BYTE index : kIndices) {
        const QRgb c = kPalette[index];
        const int alpha = entryFour == EntryFour::Opaque                      ? 255
                          : entryFour == EntryFour::Transparent && index == 4 ? 0
                                                                              : qAlpha(c);
        pixels.push_back({qRed(c) * 257, qGreen(c) * 257, qBlue(c) * 257, alpha * 257});
    }
    return pixels;
}

std::vector<int> Samples(const Pixels& pixels, bool gray, int shift) {
    std::vector<int> samples;
    for (const Pixel& p : pixels)
        for (const int sample : gray ? std::vector{p.r} : std::vector{p.r, p.g, p.b})
            samples.push_back(sample >> shift);
    return samples;
}

enum class GrayPlane { Levels, Indices, Zeros };

struct Case {
    std::string name;
    Bytes file;
    Pixels pixels;
    GrayPlane gray;
    int tolerance = 0; // for the lossy kinds
};

std::vector<Case> Cases() {
    const QImage gray8 = ImageOf(kGray8, QImage::Format_Grayscale8);
    const QImage gray16 = ImageOf(kGray16, QImage::Format_Grayscale16);
    const QImage color = ImageOf(kColor, QImage::Format_RGB32);
    const QImage alpha = ImageOf(kAlpha, QImage::Format_ARGB32);
    const QImage deep = ImageOf(kDeep, QImage::Format_RGBA64);
    const QImage indexed = IndexedImage();
    return {
        {"gray.png", Encoded(gray8, "png"), kGray8, GrayPlane::Levels},
        {"indexed.png", Encoded(indexed, "png"), PaletteColors(EntryFour::AsGiven),
         GrayPlane::Indices},
        {"rgb.png", Encoded(color, "png"), kColor, GrayPlane::Zeros},
        {"rgba.png", Encoded(alpha, "png"), kAlpha, GrayPlane::Zeros},
        {"gray16.png", Encoded(gray16, "png"), kGray16, GrayPlane::Levels},
        {"rgba16.PNG", Encoded(deep, "png"), kDeep, GrayPlane::Zeros},
        {"gray.jpg", Encoded(gray8, "jpeg", 100), kGray8, GrayPlane::Levels, 2},
        {"flat.jpeg", Encoded(ImageOf(kFlat, QImage::Format_RGB32), "jpeg", 100), kFlat,
         GrayPlane::Zeros, 2},
        {"gray.tif", Encoded(gray8, "tiff"), kGray8, GrayPlane::Levels},
        {"indexed.tiff", Encoded(indexed, "tiff"), PaletteColors(EntryFour::Opaque),
         GrayPlane::Indices},
        {"RGB.TIF", Encoded(color, "tiff"), kColor, GrayPlane::Zeros},
        {"rgba.tif", Encoded(alpha, "tiff"), kAlpha, GrayPlane::Zeros},
        {"gray16.tif", Encoded(gray16, "tiff"), kGray16, GrayPlane::Levels},
        {"rgba16.tif", Encoded(deep, "tiff"), kDeep, GrayPlane::Zeros},
        {"gray.pgm", Netpbm("P5", kWidth, kHeight, 255, Samples(kGray8, true, 8)), kGray8,
         GrayPlane::Levels},
        // Sixteen-bit samples are rounded as every other kind's are.
        {"gray16.pgm", Netpbm("P5", kWidth, kHeight, 65535, Samples(kGray16, true, 0)), kGray16,
         GrayPlane::Levels},
        {"rgb.ppm", Netpbm("P6", kWidth, kHeight, 255, Samples(kColor, false, 8)), kColor,
         GrayPlane::Zeros},
        {"rgb16.ppm", Netpbm("P6", kWidth, kHeight, 65535, Samples(kDeep, false, 0)), kDeep,
         GrayPlane::Zeros},
        // Ones are black: 101 and 001.
        {"mono.pbm", Bytes{'P', '4', '\n', '3', ' ', '2', '\n', 0xA0, 0x20},
         Levels({0, 255, 0, 255, 255, 0}, 257), GrayPlane::Levels},
        // The toolkit reads a GIF into true colour, so its indices are gone.
        {"indexed.gif",
         Gif(kWidth, kHeight, {0xFF0000, 0x00FF00, 0x0000FF, 0x0A141E, 0xC86432}, kIndices, 4),
         PaletteColors(EntryFour::Transparent), GrayPlane::Zeros},
        {"rgb.webp", Encoded(color, "webp", 100), kColor, GrayPlane::Zeros},
        {"rgba.webp", Encoded(alpha, "webp", 100), kAlpha, GrayPlane::Zeros},
    };
}

// The name a refusal gives the kind of a file with this name's ending.
std::string KindOf(const std::string& name) {
    std::string ending = name.substr(name.rfind('.') + 1);
    for (char& c : ending)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return ending == "JPG" ? "JPEG" : ending == "TIF" ? "TIFF" : ending == "WEBP" ? "WebP" : ending;
}

int Scaled(double sample16) {
    return static_cast<int>(std::lround(sample16 * 255.0 / 65535.0));
}

class ImageFileTest : public ImageSetTest {
protected:
    // A PPM stores no alpha: its sixteen-bit pixels are opaque.
    static Pixel Opaque(Pixel p, const std::string& name) {
        if (name.ends_with(".ppm"))
            p.a = 0xFFFF;
        return p;
    }
    void ExpectPlanes(const Case& c) {
        ASSERT_EQ(m_view->m_nWidth, kWidth);
        ASSERT_EQ(m_view->m_nHeight, kHeight);
        for (int i = 0; i < kWidth * kHeight; ++i) {
            SCOPED_TRACE("pixel " + std::to_string(i));
            const Pixel p = Opaque(c.pixels[i], c.name);
            const int gray = c.gray == GrayPlane::Levels    ? Scaled(p.r)
                             : c.gray == GrayPlane::Indices ? kIndices[i]
                                                            : 0;
            EXPECT_NEAR(m_view->m_pGrayImage[i], gray, c.tolerance);
            const double alpha = p.a / 65535.0;
            EXPECT_NEAR(m_view->m_pColorImage[3 * i], Scaled(p.b * alpha), c.tolerance);
            EXPECT_NEAR(m_view->m_pColorImage[3 * i + 1], Scaled(p.g * alpha), c.tolerance);
            EXPECT_NEAR(m_view->m_pColorImage[3 * i + 2], Scaled(p.r * alpha), c.tolerance);
        }
    }
};

TEST_F(ImageFileTest, EveryKindAndLayoutGivesThePlanesOfABitmapOfItsPixels) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        Write(c.name, c.file);
        Load(c.name);
        ASSERT_EQ(m_messages, std::vector<std::string>{});
        EXPECT_EQ(Title(), c.name);
        ExpectPlanes(c);
    }
}

TEST_F(ImageFileTest, DamagedFileOfEveryKindIsRefusedAndThePictureStays) {
    Write("good.png", Encoded(ImageOf(kColor, QImage::Format_RGB32), "png"));
    Open("good.png");
    ASSERT_EQ(m_view->m_bColorMode, 1);
    const QImage before = Painted();
    const BYTE* planes[] = {m_view->m_pGrayImage.get(), m_view->m_pColorImage.get()};
    for (const Case& c : Cases()) {
        // Cut inside its colour map, a palette TIFF is still read, as a gray one.
        if (c.name == "indexed.tiff")
            continue;
        const std::string name = "broken" + c.name.substr(c.name.find('.'));
        SCOPED_TRACE(name);
        Write(name, Bytes(c.file.begin(), c.file.begin() + c.file.size() / 2));
        m_messages.clear();
        Load(name);
        ASSERT_EQ(m_messages.size(), 1u);
        // A refusal names what the file is and that it ends early.
        EXPECT_TRUE(m_messages[0].starts_with("文件 " + HostPath(name) +
                                              " 不是 Vexlan 能读取的图像：" + KindOf(name) +
                                              " 文件在数据结束之前就结束了"))
            << m_messages[0];
        EXPECT_EQ(m_view->m_pGrayImage.get(), planes[0]);
        EXPECT_EQ(m_view->m_pColorImage.get(), planes[1]);
        EXPECT_EQ(Painted(), before);
    }
    // The limits of a bitmap's size hold, checked before anything is decoded.
    Write("huge.pgm", Netpbm("P5", 20000, 20000, 255, {}));
    m_messages.clear();
    Load("huge.pgm");
    EXPECT_EQ(m_messages, std::vector<std::string>{"文件 " + HostPath("huge.pgm") +
                                                   " 不是 Vexlan 能读取的图像：尺寸 20000 × "
                                                   "20000 像素太大。"});
    ExpectPlanes({"good.png", {}, kColor, GrayPlane::Zeros});
}

// Where bytes first occur in file.
std::size_t At(const Bytes& file, const Bytes& bytes) {
    return static_cast<std::size_t>(
        std::search(file.begin(), file.end(), bytes.begin(), bytes.end()) - file.begin());
}

// A file damaged inside, not cut short, is refused with its kind, the cause and its decoder's own
// words, and nothing of the decoder reaches standard error; a file whose content is another
// kind than its name says is named as what it holds.
TEST_F(ImageFileTest, ADamagedFileIsRefusedWithItsKindTheCauseAndTheDecodersWords) {
    const auto damaged = [](Bytes file, std::size_t at, const Bytes& bytes) {
        std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(at));
        return file;
    };
    const Bytes jpeg = Encoded(testimages::Photo(64, 48), "jpeg");
    const Bytes png = Encoded(testimages::Photo(64, 48), "png");
    const Bytes tiff =
        hostilefiles::Tiff({{64, 48, 3, 8, 1, 1, testimages::Noise(64 * 48 * 3, 4)}});
    const Bytes bitmap = MakeBitmap(2, 1, 24, Bytes(6, 9));
    struct Case {
        std::string name;
        Bytes file;
        std::string refusal; // what follows "不是 Vexlan 能读取的"
    };
    const Case cases[] = {
        // A restart marker where the data has none.
        {"data.jpg", damaged(jpeg, jpeg.size() * 7 / 10, {0xFF, 0xD3}),
         "图像：JPEG 文件的数据已损坏（Corrupt JPEG data: "},
        // A quantisation table's length says less than its own two bytes.
        {"header.jpg", damaged(jpeg, At(jpeg, {0xFF, 0xDB}) + 2, {0, 1}),
         "图像：JPEG 文件头已损坏（Bogus marker length）"},
        // The first segment's too: libjpeg skips what follows as extraneous and only warns.
        {"segment.jpg", damaged(jpeg, At(jpeg, {0xFF, 0xE0}) + 2, {0, 1}),
         "图像：JPEG 文件的数据已损坏（Corrupt JPEG data: "},
        {"data.tif", damaged(tiff, tiff.size() * 6 / 10, Bytes(16, 0x55)),
         "图像：TIFF 文件的数据已损坏（ZIPDecode: Decoding error"},
        {"data.png", damaged(png, png.size() / 2, {0x55}),
         "图像：PNG 文件的数据已损坏（IDAT 块的校验和不符）"},
        {"png.bmp", png, "位图：它的内容是 PNG 图像"},
        {"bitmap.png", bitmap, "图像：它的内容是 BMP 位图，位图要以 .bmp 为扩展名才能打开"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.name, c.file);
        m_messages.clear();
        EXPECT_EQ(LoadCapturingErrors(c.name), "");
        ASSERT_EQ(m_messages.size(), 1u);
        EXPECT_EQ(m_messages[0].rfind(
                      "文件 " + HostPath(c.name) + " 不是 Vexlan 能读取的" + c.refusal, 0),
                  0u)
            << m_messages[0];
    }
}

TEST_F(ImageFileTest, FileDroppedOnTheWindowOpensAsFileOpenWould) {
    Write("dropped.gif", Gif(kWidth, kHeight, {0xFF0000, 0x00FF00, 0x0000FF, 0x0A141E}, kIndices));
    m_view->m_bShowResult = 1;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(HostPath("dropped.gif")))});
    QWidget* target = AfxGetWidget(m_view)->findChild<QWidget*>("qt_scrollarea_viewport");
    ASSERT_NE(target, nullptr);
    // The toolkit delivers a drop only where the drag's entering was accepted.
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(Title(), "dropped.gif");
    EXPECT_EQ(m_view->m_bColorMode, 1);
    EXPECT_EQ(m_view->m_bShowResult, 0);
    EXPECT_EQ(Rgb(Painted(), 1, 0), 0x00FF00u);
    EXPECT_EQ(Rgb(Painted(), 0, 1), 0x0A141Eu);
}

// An indexed image gives its gray levels only when every entry of its palette is gray: blue,
// green and red alike.
TEST_F(ImageFileTest, APaletteIsGrayOnlyWhenEveryEntryIsGrayInAllThree) {
    struct Palette {
        const char* what;
        QRgb odd; // the entry that index 2 names, beside gray ones
        bool gray;
    };
    for (const Palette& p : {Palette{"all gray", qRgb(90, 90, 90), true},
                             Palette{"blue equals green", qRgb(0, 90, 90), false},
                             Palette{"green equals red", qRgb(90, 90, 0), false},
                             Palette{"blue equals red", qRgb(90, 0, 90), false}}) {
        SCOPED_TRACE(p.what);
        QImage image(3, 1, QImage::Format_Indexed8);
        image.setColorTable({qRgb(10, 10, 10), qRgb(200, 200, 200), p.odd});
        for (int x = 0; x < 3; ++x)
            image.setPixel(x, 0, static_cast<uint>(x));
        Write("palette.png", Encoded(image, "png"));
        Load("palette.png");
        ASSERT_EQ(m_messages, std::vector<std::string>{});
        EXPECT_EQ(m_view->GrayValues(), p.gray ? CGrayValues::Levels : CGrayValues::Indices);
        const Bytes levels{10, 200, 90};
        const Bytes indices{0, 1, 2};
        EXPECT_EQ(Bytes(m_view->m_pGrayImage.get(), m_view->m_pGrayImage.get() + 3),
                  p.gray ? levels : indices);
    }
}

// Each of the eight orientations a file may declare turns the image as the toolkit's own reader
// turns it, and the planes take the upright size.
TEST_F(ImageFileTest, EveryOrientationTurnsTheImageAsTheToolkitDoes) {
    constexpr int width = 4;
    constexpr int height = 3;
    Bytes pixels;
    for (int i = 0; i < width * height; ++i)
        pixels.insert(pixels.end(), {static_cast<BYTE>(20 * i), static_cast<BYTE>(255 - 9 * i),
                                     static_cast<BYTE>(i % 2 ? 0 : 250)});
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        Write("turned.tif", hostilefiles::Tiff({{width, height, 3, 8, 1, orientation, pixels}}));
        QImageReader reader(QString::fromStdString(HostPath("turned.tif")));
        reader.setAutoTransform(true);
        const QImage upright = reader.read().convertToFormat(QImage::Format_RGB32);
        ASSERT_FALSE(upright.isNull());
        Load("turned.tif");
        ASSERT_EQ(m_messages, std::vector<std::string>{});
        ASSERT_EQ(m_view->m_nWidth, upright.width());
        ASSERT_EQ(m_view->m_nHeight, upright.height());
        for (int y = 0; y < upright.height(); ++y)
            for (int x = 0; x < upright.width(); ++x) {
                const BYTE* bgr =
                    m_view->m_pColorImage.get() + 3 * (std::ptrdiff_t{y} * upright.width() + x);
                EXPECT_EQ(qRgb(bgr[2], bgr[1], bgr[0]), upright.pixel(x, y)) << x << ", " << y;
            }
    }
}

// Decoding may take the planes and the decoder's image up to its allowance, and not a byte more:
// a 1024 x 1024 RGBA PNG holds 4 MiB of planes and 4 MiB of the decoder's own.
TEST_F(ImageFileTest, DecodingMayUseItsWholeAllowanceAndNoMore) {
    QImage image(1024, 1024, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x % 256, y % 256, 7, (x + y) % 256));
    Write("allowance.png", Encoded(image, "png"));
    constexpr std::uint64_t kMebibyte = 1 << 20;
    for (const std::uint64_t allowance : {8 * kMebibyte, 8 * kMebibyte - 1}) {
        SCOPED_TRACE(allowance);
        const CFilePtr file(std::fopen(HostPath("allowance.png").c_str(), "rb"));
        CImageFileDecoder decoder(4 * kMebibyte, allowance);
        const bool fits = allowance == 8 * kMebibyte;
        ASSERT_EQ(decoder.ReadHeader(file.get()) == CImageDecoder::Result::Decodable, fits)
            << decoder.Problem();
        if (!fits) {
            EXPECT_EQ(decoder.Problem(),
                      "不是 Vexlan 能读取的图像：尺寸 1024 × 1024 像素，解码要用约 "
                      "8 MiB 内存，超过上限 7 MiB");
            continue;
        }
        Bytes gray(decoder.GrayPlaneSize());
        Bytes color(decoder.ColorPlaneSize());
        ASSERT_TRUE(decoder.ReadPixels(file.get(), gray.data(), color.data())) << decoder.Problem();
        EXPECT_EQ(color[3 * (1024 * 5 + 9) + 2], (9 * ((5 + 9) % 256) + 127) / 255);
    }
}

} // namespace
