// The colour-segmentation step: every pixel of a colour plane is put into one of nine colour
// classes (black, gray, white and six hue sectors), and the class's gray level, halved, is
// written to a one-byte-per-pixel result plane.
#pragma once

#include "afxtypes.h"
#include "processingstep.h"

// The gray level (0, 31, 63, ..., 255) of the colour class of the pixel with these bytes.
BYTE ColorClassValue(BYTE blue, BYTE green, BYTE red);

// colorPlane holds width * height pixels as blue, green, red bytes, rows top-down without a
// gap; resultPlane receives width * height bytes, each pixel's ColorClassValue / 2. A width
// or height of zero or less writes nothing.
void SegmentColorPlane(const BYTE* colorPlane, BYTE* resultPlane, int width, int height);

// The step of the menu command 颜色分割: SegmentColorPlane over the input's colour plane.
void SegmentColors(const CStepInput& input, BYTE* result);
