// A picture of the grading report: a plane made into a PNG inlined as a data: URI, scaled by a
// whole factor toward the report's size, pixel for pixel, never blended: a small image is
// enlarged into blocks of its exact values, a large one reduced by taking one pixel of each
// block.
#pragma once

#include "afxtypes.h"

#include <optional>
#include <string>
#include <vector>

struct CReportPicture {
    std::string uri; // data:image/png;base64,...
    int width = 0;   // as shown
    int height = 0;

    // Red, green, blue per pixel; gray, one byte per pixel.
    static CReportPicture FromRgb(const std::vector<BYTE>& rgb, int width, int height);
    static CReportPicture FromGray(const BYTE* gray, int width, int height);
    // An image file of the exercise as Vexlan shows it (a .raw file's gray plane, the colour
    // plane of the others); nothing when it cannot be read.
    static std::optional<CReportPicture> FromImageFile(const std::string& hostPath,
                                                       const std::string& entryName);
};

// The whole factor a picture of width × height is shown at: n enlarges n times, -n reduces
// to one pixel of every n × n block.
int ReportScale(int width, int height);
