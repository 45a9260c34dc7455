#include "decodedimage.h"

#include "bitmapdecoder.h"
#include "imagefiledecoder.h"
#include "imagesetchoice.h"
#include "imagesetpaths.h"

#include <utility>

namespace {

bool HoldsPlanesFor(const CDecodedImage& image, const CImageDecoder& decoder) {
    return image.gray && image.color && image.width == decoder.Width() &&
           image.height == decoder.Height() && image.bitsPerPixel == decoder.BitsPerPixel();
}

} // namespace

std::unique_ptr<CImageDecoder> DecoderFor(std::string_view entryName) {
    if (NamesImageFile(entryName))
        return std::make_unique<CImageFileDecoder>();
    return std::make_unique<CBitmapDecoder>();
}

std::optional<std::string> DecodeImage(CImageDecoder& decoder, std::FILE* file,
                                       CDecodedImage& image, CZeroedPlaneSource newPlane) {
    const bool reused = HoldsPlanesFor(image, decoder);
    CByteBlock gray;
    CByteBlock color;
    if (!reused) {
        gray = newPlane(decoder.GrayPlaneSize(), decoder.GrayPlaneSize());
        color = newPlane(decoder.ColorPlaneSize(), 3 * decoder.GrayPlaneSize());
        if (!gray || !color)
            return kTooLargeForMemory;
    }
    // A new gray plane comes zeroed, so the decoder need not clear what a 24-bit image or a
    // run-length file leaves unwritten.
    if (!decoder.ReadPixels(
            file, reused ? image.gray.get() : gray.get(), reused ? image.color.get() : color.get(),
            reused ? CImageDecoder::GrayPlane::Uninitialised : CImageDecoder::GrayPlane::Zeroed))
        return decoder.Problem();
    if (!reused) {
        image.gray = std::move(gray);
        image.color = std::move(color);
    }
    image.width = decoder.Width();
    image.height = decoder.Height();
    image.bitsPerPixel = decoder.BitsPerPixel();
    image.grayValues = decoder.GrayValues();
    return std::nullopt;
}
