#include "reportpicture.h"

#include "decodedimage.h"
#include "pathmap.h"
#include "pngencoder.h"

#include <algorithm>
#include <array>

namespace {

// Pictures are shown at about this many pixels on their longer side, whatever their size.
constexpr int kSmallest = 96;
constexpr int kLargest = 320;
constexpr int kLargestEnlargement = 16;

std::string Base64(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t left = bytes.size() - i;
        const std::uint32_t group = std::uint32_t{bytes[i]} << 16 |
                                    (left > 1 ? std::uint32_t{bytes[i + 1]} << 8 : 0) |
                                    (left > 2 ? std::uint32_t{bytes[i + 2]} : 0);
        for (std::size_t digit = 0; digit < 4; ++digit)
            text += digit <= left ? kDigits[(group >> (18 - 6 * digit)) & 63] : '=';
    }
    return text;
}

// Each pixel of the picture as shown takes the source pixel under it.
std::vector<BYTE> Scaled(const BYTE* pixels, int width, int height, int bytesPerPixel, int scale,
                         int& shownWidth, int& shownHeight) {
    const auto shown = [scale](int size) {
        return scale > 0 ? size * scale : (size + -scale - 1) / -scale;
    };
    const auto source = [scale](int shownAt) {
        return scale > 0 ? shownAt / scale : shownAt * -scale;
    };
    shownWidth = shown(width);
    shownHeight = shown(height);
    const auto bpp = static_cast<std::size_t>(bytesPerPixel);
    std::vector<BYTE> scaled(static_cast<std::size_t>(shownWidth) *
                             static_cast<std::size_t>(shownHeight) * bpp);
    BYTE* out = scaled.data();
    for (int y = 0; y < shownHeight; ++y) {
        const BYTE* row =
            pixels + static_cast<std::size_t>(source(y)) * static_cast<std::size_t>(width) * bpp;
        for (int x = 0; x < shownWidth; ++x, out += bpp)
            std::copy_n(row + static_cast<std::size_t>(source(x)) * bpp, bpp, out);
    }
    return scaled;
}

CReportPicture Picture(const BYTE* pixels, int width, int height, CPngPixels kind) {
    CReportPicture picture;
    if (width <= 0 || height <= 0)
        return picture;
    const std::vector<BYTE> scaled =
        Scaled(pixels, width, height, kind == CPngPixels::Gray8 ? 1 : 3, ReportScale(width, height),
               picture.width, picture.height);
    picture.uri = "data:image/png;base64," +
                  Base64(EncodePng(picture.width, picture.height, scaled.data(), kind));
    return picture;
}

CByteBlock NewPlane(std::size_t size, std::size_t) {
    return DEBUG_NEW_ZEROED_BYTES(size);
}

} // namespace

int ReportScale(int width, int height) {
    const int longer = std::max({width, height, 1});
    if (longer < kSmallest)
        return std::min(kLargestEnlargement, kSmallest * 2 / longer);
    return longer > kLargest ? -((longer + kLargest - 1) / kLargest) : 1;
}

CReportPicture CReportPicture::FromRgb(const std::vector<BYTE>& rgb, int width, int height) {
    return Picture(rgb.data(), width, height, CPngPixels::Rgb24);
}

CReportPicture CReportPicture::FromGray(const BYTE* gray, int width, int height) {
    return Picture(gray, width, height, CPngPixels::Gray8);
}

std::optional<CReportPicture> CReportPicture::FromImageFile(const std::string& hostPath,
                                                            const std::string& entryName) {
    const std::optional<std::string> systemPath = AfxSystemPath(hostPath);
    const CFilePtr file(systemPath ? AfxOpenFile(systemPath->c_str(), "rb") : nullptr);
    const std::unique_ptr<CImageDecoder> decoder = DecoderFor(entryName);
    CDecodedImage image;
    if (!file || decoder->ReadHeader(file.get()) != CImageDecoder::Result::Decodable ||
        DecodeImage(*decoder, file.get(), image, NewPlane))
        return std::nullopt;
    if (entryName.ends_with("raw"))
        return FromGray(image.gray.get(), image.width, image.height);
    // The colour plane holds blue, green, red.
    const std::size_t pixels = std::size_t(image.width) * std::size_t(image.height);
    std::vector<BYTE> rgb(3 * pixels);
    for (std::size_t i = 0; i < pixels; ++i)
        for (std::size_t channel = 0; channel < 3; ++channel)
            rgb[3 * i + channel] = image.color[3 * i + 2 - channel];
    return FromRgb(rgb, image.width, image.height);
}
