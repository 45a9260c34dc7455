// How many pixels of a plane have each gray level, for a histogram to choose a threshold by.
#pragma once

#include "afxtypes.h"

#include <array>
#include <cstddef>
#include <cstdint>

using CGrayLevelCounts = std::array<std::uint64_t, 256>;

// Of a one-byte-per-pixel plane (the gray plane, a result) of pixels bytes.
CGrayLevelCounts CountGrayLevels(const BYTE* plane, std::size_t pixels);
// Of a colour plane (blue, green, red per pixel), each pixel's gray level as a step's
// vexlan_gray_at gives it.
CGrayLevelCounts CountColorGrayLevels(const BYTE* colorPlane, std::size_t pixels);
