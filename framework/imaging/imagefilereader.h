// Reads the image files that the toolkit's image plug-ins know (PNG, JPEG, TIFF, GIF, WebP and
// the netpbm kinds) into eight-bit planes. The image is decoded whole before any plane is
// handed out, so that a damaged file is refused before the caller touches its own planes.
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
    // The size the header declares; after Decode, the decoded image's, turned upright as the
    // file says (a camera's JPEG taken on its side).
    int Width() const;
    int Height() const;
    // Decodes the image, allowing the toolkit at most maxBytes for it. False, with Problem(),
    // when the data is damaged or needs more memory than that.
    bool Decode(std::size_t maxBytes);
    // After Decode: a gray image and an indexed one whose colours are all gray give their gray
    // levels; another indexed image gives its palette indices, as an 8-bit bitmap does.
    Pixels Kind() const;
    // Width * height bytes, rows top-down, as Kind() says; nothing for ColorOnly.
    void CopyGray(std::uint8_t* plane) const;
    // Blue, green, red per pixel, rows top-down and 3 * width bytes apart. Alpha is composed on
    // black and sixteen-bit samples are scaled to eight bits, both rounded to the nearest.
    void CopyBgr(std::uint8_t* plane) const;
    // Why the last ReadHeader or Decode failed, in the interface's language.
    const std::string& Problem() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
