#include "graylevelcounts.h"

CGrayLevelCounts CountGrayLevels(const BYTE* plane, std::size_t pixels) {
    CGrayLevelCounts counts{};
    for (std::size_t i = 0; i < pixels; ++i)
        ++counts[plane[i]];
    return counts;
}

CGrayLevelCounts CountColorGrayLevels(const BYTE* colorPlane, std::size_t pixels) {
    CGrayLevelCounts counts{};
    for (const BYTE* bgr = colorPlane; bgr < colorPlane + 3 * pixels; bgr += 3)
        // 29, 150 and 77 out of 256 are 0.114 blue, 0.587 green and 0.299 red.
        ++counts[(29 * bgr[0] + 150 * bgr[1] + 77 * bgr[2]) >> 8];
    return counts;
}
