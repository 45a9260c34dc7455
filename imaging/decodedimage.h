// An image as a decoder leaves it: its gray and colour planes and the size and depth they were
// decoded at. The view holds one, and so does the read-ahead; vexlan-batch decodes the same way.
#pragma once

#include "debugalloc.h"
#include "imagedecoder.h"

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct CDecodedImage {
    CByteBlock gray;
    CByteBlock color;
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    CGrayValues grayValues = CGrayValues::None;
};

// The decoder for the file an entry names: the image file decoder for the names of the image
// file kinds (NamesImageFile), the bitmap decoder for every other name.
std::unique_ptr<CImageDecoder> DecoderFor(std::string_view entryName);

// Where new planes come from: a block of size bytes, all zero, or none when it cannot be had;
// the first pixelBytes of them hold the pixels (a 24-bit file's colour plane has room for a
// row's padding after them). The caller's own allocator, so that the debug allocator names
// the planes' owner.
using CZeroedPlaneSource = CByteBlock (*)(std::size_t size, std::size_t pixelBytes);

// Decodes the pixels of file, whose header decoder has accepted, into image. The planes image
// holds are used again when they were decoded at the same size and depth: stepping through a
// list mostly meets images of one size, and planes already touched cost no page faults. Else
// new ones come from newPlane. Nothing when decoded; else why not, to follow the file's name:
// the decoder's refusal of damaged data, or that the planes cannot be had. The size, depth and
// planes image had then stay, though planes used again may have been written.
std::optional<std::string> DecodeImage(CImageDecoder& decoder, std::FILE* file,
                                       CDecodedImage& image, CZeroedPlaneSource newPlane);
