// Reads the image files that the toolkit's image plug-ins know (PNG, JPEG, TIFF, GIF, WebP and
// the netpbm kinds) into eight-bit planes. The header is read first and tells what decoding
// will cost; Decode then holds the toolkit's one decoded image, as the file stores it, and the
// copies turn it upright and convert it a row at a time, so that no second full-size image is
// ever made. What the libraries say is collected, never printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class CImageFileReader {
public:
    // What the one-byte-per-pixel plane holds of an image.
    enum class Pixels { GrayLevels, PaletteIndices, ColorOnly };

    CImageFileReader();
    ~CImageFileReader();
    CImageFileReader(const CImageFileReader&) = delete;
    CImageFileReader& operator=(const CImageFileReader&) = delete;

    // Reads the header of the image that file holds, from its start; the file stays the
    // caller's and must stay open while the reader is used. False, with Problem(), when it is
    // none of the kinds above or its header cannot be read.
    bool ReadHeader(std::FILE* file);
    // The size of the image turned upright as the file says (a camera's JPEG taken on its side).
    int Width() const;
    int Height() const;
    // After ReadHeader: the bytes of the toolkit's decoded image, from the pixel format the
    // header declares (eight bytes a pixel where it declares none), and whether the header
    // says that the image is gray or indexed, so that it gives a gray plane.
    std::uint64_t DecodedBytes() const;
    bool DeclaresGrayPlane() const;
    enum class Outcome { Decoded, EndedEarly, Damaged, OutOfMemory };
    // Decodes the image, allowing the toolkit at most maxBytes for it. EndedEarly: the file
    // ends before its data does; Damaged: the decoder failed or reported corrupt data;
    // OutOfMemory: the toolkit would need more than maxBytes, or the system has not got it.
    Outcome Decode(std::size_t maxBytes);
    // After Decode: a gray image and an indexed one whose colours are all gray give their gray
    // levels; another indexed image gives its palette indices, as an 8-bit bitmap does.
    Pixels Kind() const;
    // Width * height bytes, rows top-down, as Kind() says; nothing for ColorOnly.
    void CopyGray(std::uint8_t* plane) const;
    // Blue, green, red per pixel, rows top-down and 3 * width bytes apart. Alpha is composed on
    // black and sixteen-bit samples are scaled to eight bits, both rounded to the nearest.
    void CopyBgr(std::uint8_t* plane) const;
    // Gives back the decoded image once the planes hold it.
    void Release();
    // Why the last ReadHeader failed, in the interface's language, with what the decoder said.
    const std::string& Problem() const;
    // How the last ReadHeader failed: the file could not be read, it is none of the kinds
    // above, its header is damaged, or the file ends before its header does.
    enum class HeaderFault { Unreadable, UnknownKind, Damaged, EndedEarly };
    HeaderFault HeaderFailure() const;
    // What the decoder said during the last ReadHeader or Decode, in its own words.
    const std::string& DecoderText() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
