#include "decodedimage.h"

#include "bitmapdecoder.h"
#include "imagefiledecoder.h"
#include "imagesetchoice.h"

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

bool DecodeImage(const CImageDecoder& decoder, std::FILE* file, CDecodedImage& image,
                 CZeroedPlaneSource newPlane) {
    const bool reused = HoldsPlanesFor(image, decoder);
    if (!reused) {
        CByteBlock gray = newPlane(decoder.GrayPlaneSize(), decoder.GrayPlaneSize());
        CByteBlock color = newPlane(decoder.ColorPlaneSize(), 3 * decoder.GrayPlaneSize());
        if (!gray || !color)
            return false;
        image.gray = std::move(gray);
        image.color = std::move(color);
    }
    // A new gray plane comes zeroed, so the decoder need not clear what a 24-bit image or a
    // run-length file leaves unwritten.
    decoder.ReadPixels(file, image.gray.get(), image.color.get(),
                       reused ? CImageDecoder::GrayPlane::Uninitialised
                              : CImageDecoder::GrayPlane::Zeroed);
    image.width = decoder.Width();
    image.height = decoder.Height();
    image.bitsPerPixel = decoder.BitsPerPixel();
    return true;
}
