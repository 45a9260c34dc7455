// The text that the status bar shows for the pixel under the pointer: its image coordinates
// and the values painted there.
#pragma once

#include "afxtypes.h"
#include "imagedecoder.h"

#include <optional>
#include <string>

// What the view paints, as far as the readout needs it.
struct CPaintedPlanes {
    int width = 0;
    int height = 0;
    CGrayValues grayValues = CGrayValues::None; // what the gray plane holds of the file
    const BYTE* gray = nullptr;
    const BYTE* color = nullptr;
    const BYTE* result = nullptr; // null while the result is not painted
    bool grayShown = false;
    bool colorShown = false;
};

// Over the colour image "x 12, y 34  R 200 G 30 B 40", with "  索引 7" for a palette index and
// "  灰度 128" for a gray image's level; over the gray image "x 12, y 34  灰度 128"; over the
// result "x 12, y 34  结果 128", in the result's own coordinates. Nothing where nothing is painted.
std::optional<std::string> PixelReadout(const CPaintedPlanes& planes, CPoint point);
