// PNG files made by the toolkit's image writer, for the program and for vexlan-batch, which
// has no window: the pixels go in and the file's bytes come out, written by the caller.
#pragma once

#include <cstdint>

#include <vector>

enum class CPngPixels {
    Gray8, // one byte per pixel
    Rgb24, // red, green, blue per pixel
};

// The PNG file of width x height pixels, rows top-down without a gap between them. Nothing
// when the size is not positive or the toolkit cannot encode it (out of memory).
std::vector<std::uint8_t> EncodePng(int width, int height, const std::uint8_t* pixels,
                                    CPngPixels kind);
