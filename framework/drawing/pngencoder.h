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

// The toolkit takes the first thread that uses it for the program's main thread, and its image
// plug-ins, loaded on first use, keep a hold on that thread's data. When that is a worker that
// ends first, the data is released twice and the plug-ins' destructors at exit write into
// freed memory. A program without an application object that encodes on threads of its own
// calls this on its main thread before they start, so that what the toolkit keeps belongs to
// a thread that lives until the program ends.
void PrepareEncodingOnThreads();
