// Reads Windows bitmap files of 8 bits per pixel (raw or run-length encoded) and of 24 bits per
// pixel into the workspace's plane layout. Every header field is distrusted: the decoder never
// reads or writes outside its buffers and the caller's planes, whatever the file holds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

class CBitmapDecoder {
public:
    enum class Result { Decodable, UnsupportedFormat, Refused };

    // Reads and checks the headers and the palette from the start of file. Decodable: the size
    // and the plane sizes are valid. UnsupportedFormat: a depth or compression that is not
    // decoded. Refused: a header that cannot be trusted. In both failure cases Problem() says
    // why and the caller keeps the planes it has.
    Result ReadHeader(std::FILE* file);
    // A short reason, in the interface's language, for the last failed ReadHeader, to follow
    // the file's name.
    const std::string& Problem() const { return m_problem; }

    int Width() const { return m_width; }
    // Always positive: a top-down file is recognised and decoded as such.
    int Height() const { return m_height; }
    int BitsPerPixel() const { return m_bitsPerPixel; }
    std::size_t GrayPlaneSize() const;
    // 3 * width * height for 8 bits; stride * height for 24 bits.
    std::size_t ColorPlaneSize() const;

    // Decodes the pixel rows of the file whose header was accepted into planes of the sizes
    // above, top row first. The planes may come uninitialised: afterwards every byte of both
    // is defined (the gray plane of a 24-bit file and the colour plane's tail are zero).
    void ReadPixels(std::FILE* file, std::uint8_t* grayPlane, std::uint8_t* colorPlane) const;

private:
    struct InfoHeader;
    class PixelSource;

    Result Refuse(const std::string& reason);
    Result ReportUnsupported(const InfoHeader& info);
    bool AcceptSize(const InfoHeader& info);
    void ReadPaletteAndLocatePixels(std::FILE* file, const InfoHeader& info, std::uint32_t infoSize,
                                    std::uint32_t pixelOffset, long fileLength);
    void ReadPalette(std::FILE* file, std::uint32_t entries, int entrySize);
    int PlaneRow(int fileRow) const { return m_topDown ? fileRow : m_height - 1 - fileRow; }
    void DecodeRawRows(PixelSource& source, std::uint8_t* grayPlane,
                       std::uint8_t* colorPlane) const;
    void DecodeRunLength(PixelSource& source, std::uint8_t* grayPlane) const;
    void ExpandIndices(const std::uint8_t* indices, std::uint8_t* bgr, std::size_t count) const;

    int m_width = 0;
    int m_height = 0;
    int m_bitsPerPixel = 0;
    int m_stride = 0;
    bool m_topDown = false;
    bool m_runLength = false;
    long m_pixelOffset = 0;
    long m_pixelBytesInFile = 0;
    // Blue, green, red and a zero byte per entry; entries the file does not give stay black.
    std::array<std::uint8_t, 256 * 4> m_palette{};
    std::string m_problem;
};
