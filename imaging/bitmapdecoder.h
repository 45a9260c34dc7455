// Reads Windows bitmap files of 8 bits per pixel (raw or run-length encoded) and of 24 bits per
// pixel into the workspace's plane layout. Every header field is distrusted: the decoder never
// reads or writes outside its buffers and the caller's planes, whatever the file holds.
#pragma once

#include "imagedecoder.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class CBitmapDecoder : public CImageDecoder {
public:
    CBitmapDecoder() : CImageDecoder(true) {}

    // UnsupportedFormat: a depth or compression that is not decoded. A refused file whose
    // content is another kind of image is named as that kind.
    Result ReadHeader(std::FILE* file) override;
    // Height() is always positive: a top-down file is recognised and decoded as such.

    // The gray plane of a 24-bit file and the colour plane's tail come out zero. Bytes missing
    // at the end of the file read as zero, so it never fails.
    bool ReadPixels(std::FILE* file, std::uint8_t* grayPlane, std::uint8_t* colorPlane,
                    GrayPlane gray = GrayPlane::Uninitialised) override;

private:
    struct InfoHeader;
    class PixelSource;

    Result ReportUnsupported(std::FILE* file, const InfoHeader& info);
    bool AcceptSize(const InfoHeader& info);
    void ReadPaletteAndLocatePixels(std::FILE* file, const InfoHeader& info, std::uint32_t infoSize,
                                    std::uint32_t pixelOffset, long fileLength);
    void ReadPalette(std::FILE* file, std::uint32_t entries, int entrySize);
    int PlaneRow(int fileRow) const { return m_topDown ? fileRow : m_height - 1 - fileRow; }
    void DecodeRawRows(PixelSource& source, std::uint8_t* grayPlane,
                       std::uint8_t* colorPlane) const;
    void DecodeRunLength(PixelSource& source, std::uint8_t* grayPlane) const;
    void ExpandIndices(const std::uint8_t* indices, std::uint8_t* bgr, std::size_t count) const;

    int m_stride = 0;
    bool m_topDown = false;
    bool m_runLength = false;
    long m_pixelOffset = 0;
    long m_pixelBytesInFile = 0;
    // Blue, green, red and a zero byte per entry; entries the file does not give stay black.
    std::array<std::uint8_t, 256 * 4> m_palette{};
};
