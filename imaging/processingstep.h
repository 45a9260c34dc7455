// A processing step: a plain function from the loaded image to a one-byte-per-pixel plane.
// Steps include no Qt and touch nothing but their input and their result, so the view and
// vexlan-batch run exactly the same code.
#pragma once

#include "afxtypes.h"

#include <cstddef>
#include <optional>

// The loaded image, as the bitmap loader left it. Both planes hold rows top-down, the top
// row first, without a gap between rows.
struct CStepInput {
    int width = 0;  // at least 1 whenever a step runs
    int height = 0; // at least 1 whenever a step runs
    // width * height bytes, pixel (x, y) at y * width + x. An 8-bit file (a .bmp or a .raw,
    // both read by the bitmap loader) gives each pixel's palette index, which is a gray level
    // only when the palette is a gray ramp; a 24-bit file gives zeros.
    const BYTE* grayPlane = nullptr;
    // Blue, green, red per pixel, rows 3 * width bytes apart: pixel (x, y) at
    // 3 * (y * width + x). An 8-bit file gives the palette's colour of each index; a 24-bit
    // file its own colours. Filled for every loaded file.
    const BYTE* colorPlane = nullptr;
};

// Writes width * height bytes to result, one per pixel, in the gray plane's layout. The
// result arrives zeroed, so a byte the step leaves alone is black, unless the step promises
// to write every byte.
using StepFunction = void (*)(const CStepInput& input, BYTE* result);

struct CProcessingStep {
    UINT commandId;   // the menu command that runs the step in the view
    const char* name; // how vexlan-batch names it: lower case, no spaces
    StepFunction run;
    // The step writes every byte of its result, so the plane need not be zeroed for it.
    bool writesEveryByte = false;
};

// What the result plane handed to ApplyStep holds: anything, or zeros throughout.
enum class CResultPlane { Uninitialised, Zeroed };

// width * height, the bytes of a one-byte-per-pixel plane; 0 when either is zero or less,
// nothing when the product does not fit.
std::optional<std::size_t> PlaneSize(int width, int height);

// Runs the step on result (PlaneSize bytes), zeroing it first unless it comes zeroed or the
// step writes every byte; an empty image runs nothing.
void ApplyStep(const CProcessingStep& step, const CStepInput& input, BYTE* result,
               CResultPlane plane = CResultPlane::Uninitialised);
