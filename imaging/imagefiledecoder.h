// Decodes PNG, JPEG, TIFF, GIF, WebP and netpbm files into the planes a bitmap gives: a gray
// image, or an indexed one, as an 8-bit bitmap (gray levels or palette indices in the gray
// plane); any other as a 24-bit bitmap. The file is decoded whole in ReadHeader, so that a
// damaged one is refused before a plane is touched.
#pragma once

#include "imagedecoder.h"
#include "imagefilereader.h"

class CImageFileDecoder : public CImageDecoder {
public:
    // maxPlaneBytes: the most both planes may take, and half of what decoding may use.
    explicit CImageFileDecoder(std::uint64_t maxPlaneBytes = kMaxPlaneBytes)
        : m_maxPlaneBytes(maxPlaneBytes) {}

    Result ReadHeader(std::FILE* file) override;
    // Does not read file again.
    void ReadPixels(std::FILE* file, std::uint8_t* grayPlane, std::uint8_t* colorPlane,
                    GrayPlane gray = GrayPlane::Uninitialised) const override;

private:
    // Planes of the depth that the reader's kind of image gives.
    bool AcceptSize(int width, int height);

    std::uint64_t m_maxPlaneBytes;
    CImageFileReader m_reader;
};
