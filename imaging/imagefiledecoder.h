// Decodes PNG, JPEG, TIFF, GIF, WebP and netpbm files into the planes a bitmap gives: a gray
// image, or an indexed one, as an 8-bit bitmap (gray levels or palette indices in the gray
// plane); any other as a 24-bit bitmap. ReadHeader reads the header alone and refuses a file
// whose decoding would need more memory than allowed; ReadPixels checks the file's framing,
// decodes it and refuses it when it turns out cut short or damaged.
#pragma once

#include "imagedecoder.h"
#include "imagefilekind.h"
#include "imagefilereader.h"

class CImageFileDecoder : public CImageDecoder {
public:
    // maxPlaneBytes: the most both planes may take; maxDecodeBytes: the most that the planes
    // and the decoder's own memory may take together.
    explicit CImageFileDecoder(std::uint64_t maxPlaneBytes = kMaxPlaneBytes,
                               std::uint64_t maxDecodeBytes = kMaxDecodeBytes)
        : CImageDecoder(false), m_maxPlaneBytes(maxPlaneBytes), m_maxDecodeBytes(maxDecodeBytes) {}

    Result ReadHeader(std::FILE* file) override;
    bool ReadPixels(std::FILE* file, std::uint8_t* grayPlane, std::uint8_t* colorPlane,
                    GrayPlane gray = GrayPlane::Uninitialised) override;

private:
    // Planes of the depth that the image's pixel format gives.
    bool AcceptSize(int width, int height, bool grayPlane);
    std::uint64_t PlaneBytes() const { return GrayPlaneSize() + ColorPlaneSize(); }
    // What the decoder holds beside the toolkit's image: the file, for a WebP read whole, and
    // libwebp's own full-size buffers.
    std::uint64_t DecoderBufferBytes() const;
    // A refusal when the planes and decodingBytes together pass the allowance.
    bool WithinAllowance(std::uint64_t decodingBytes);
    // Says what is wrong with a header the reader could not read.
    void RefuseHeader(std::FILE* file);
    bool RefuseData(bool endedEarly, const std::string& detail);
    // "<kind><cause>（<detail>）": what is wrong with a file of a known kind, in the decoder's
    // own words after it.
    bool RefuseKind(const std::string& cause, const std::string& detail);
    void CopyPlanes(std::uint8_t* grayPlane, std::uint8_t* colorPlane, GrayPlane gray);

    std::uint64_t m_maxPlaneBytes;
    std::uint64_t m_maxDecodeBytes;
    CImageKind m_kind = CImageKind::Unknown;
    std::uint64_t m_fileBytes = 0;
    CImageFileReader m_reader;
};
