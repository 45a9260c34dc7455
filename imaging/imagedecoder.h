// What every decoder of an image file into the workspace's planes offers. The planes are those
// an uncompressed bitmap gives: an 8-bit image a gray plane of width * height bytes and a colour
// plane of 3 * width * height; a 24-bit one a gray plane of zeros and a colour plane of
// stride * height bytes whose rows lie 3 * width bytes apart, the rest zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

// Both planes together: far above any image the program is meant for, and every plane size and
// offset below it fits 32-bit signed arithmetic.
constexpr std::uint64_t kMaxPlaneBytes = std::uint64_t{1} << 30;
// What a decode may hold in all, the planes included: they and the decoder's own image or
// buffers. A file whose decoding would need more is refused before anything is allocated.
constexpr std::uint64_t kMaxDecodeBytes = kMaxPlaneBytes / 2 * 3;

// What the gray plane holds of an image: nothing of its own (zeros), gray levels, or indices
// into a palette.
enum class CGrayValues { None, Levels, Indices };

class CImageDecoder {
public:
    enum class Result { Decodable, UnsupportedFormat, Refused };
    // What the gray plane handed to ReadPixels holds: anything, or zeros throughout.
    enum class GrayPlane { Uninitialised, Zeroed };

    virtual ~CImageDecoder() = default;

    // Reads and checks what comes before the pixels, from the start of file; cheap whatever
    // the file declares. Decodable: the size and the plane sizes are valid, and decoding will
    // stay within its memory. UnsupportedFormat: a kind of image that is not decoded. Refused:
    // a file that cannot be trusted. In both failure cases Problem() says why and the caller
    // keeps the planes it has.
    virtual Result ReadHeader(std::FILE* file) = 0;
    // A short reason, in the interface's language, for the last failed ReadHeader or
    // ReadPixels, to follow the file's name.
    const std::string& Problem() const { return m_problem; }

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // 8 or 24: the depth of the bitmap whose planes the image gives.
    int BitsPerPixel() const { return m_bitsPerPixel; }
    std::size_t GrayPlaneSize() const;
    std::size_t ColorPlaneSize() const;
    // After ReadPixels.
    CGrayValues GrayValues() const { return m_grayValues; }

    // Decodes the pixels of the file whose header was accepted into planes of the sizes above,
    // top row first. The planes may come uninitialised: afterwards every byte of both is
    // defined. A gray plane that comes zeroed is not cleared again. False, with Problem(), when
    // the data turns out damaged or its decoding too large; the planes then hold anything.
    virtual bool ReadPixels(std::FILE* file, std::uint8_t* grayPlane, std::uint8_t* colorPlane,
                            GrayPlane gray = GrayPlane::Uninitialised) = 0;

protected:
    // Refusals call what a bitmap decoder reads 位图, and what another reads 图像.
    explicit CImageDecoder(bool readsBitmaps) : m_readsBitmaps(readsBitmaps) {}
    CImageDecoder(const CImageDecoder&) = default;
    CImageDecoder& operator=(const CImageDecoder&) = default;

    // The bytes of a bitmap row of this depth, in 32-bit signed arithmetic as the bitmap
    // format has it: AcceptPlanes makes sure that it fits.
    static int Stride(int width, int bitsPerPixel) {
        return ((width * bitsPerPixel) / 8 + 3) / 4 * 4;
    }
    // Takes the size when planes of that depth fit in maxPlaneBytes.
    bool AcceptPlanes(std::int64_t width, std::int64_t height, int bitsPerPixel,
                      std::uint64_t maxPlaneBytes = kMaxPlaneBytes);
    // "不是 Vexlan 能读取的位图：<reason>", or 图像.
    Result Refuse(const std::string& reason);
    Result RefuseSize(std::int64_t width, std::int64_t height);
    // What the first bytes of file are, when they are another kind than the decoder reads.
    std::optional<std::string> OtherKind(std::FILE* file) const;
    // A refusal for that other kind, or else for reason.
    Result RefuseOtherKind(std::FILE* file, const std::string& reason) {
        return Refuse(OtherKind(file).value_or(reason));
    }

    int m_width = 0;
    int m_height = 0;
    int m_bitsPerPixel = 0;
    CGrayValues m_grayValues = CGrayValues::None;
    std::string m_problem;

private:
    bool m_readsBitmaps;
};
