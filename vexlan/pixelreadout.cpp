#include "pixelreadout.h"

#include <cstdio>

namespace {

std::string Format(const char* format, int x, int y, int value) {
    char text[64];
    std::snprintf(text, sizeof text, format, x, y, value);
    return text;
}

std::string ColorReadout(const CPaintedPlanes& planes, int x, int y, std::size_t at) {
    const BYTE* bgr = planes.color + 3 * at;
    char text[96];
    const int length = std::snprintf(text, sizeof text, "x %d, y %d  R %d G %d B %d", x, y, bgr[2],
                                     bgr[1], bgr[0]);
    const char* label = planes.grayValues == CGrayValues::Indices  ? "索引"
                        : planes.grayValues == CGrayValues::Levels ? "灰度"
                                                                   : nullptr;
    if (label && length > 0)
        std::snprintf(text + length, sizeof text - static_cast<std::size_t>(length), "  %s %d",
                      label, planes.gray[at]);
    return text;
}

} // namespace

std::optional<std::string> PixelReadout(const CPaintedPlanes& planes, CPoint point) {
    const int width = planes.width;
    if ((planes.gray == nullptr && planes.result == nullptr) || point.x < 0 || point.y < 0 ||
        point.y >= planes.height)
        return std::nullopt;
    const std::size_t row = static_cast<std::size_t>(point.y) * static_cast<std::size_t>(width);
    if (point.x < width) {
        if (planes.gray == nullptr) // the empty slot beside a result opened from its file
            return std::nullopt;
        const std::size_t at = row + static_cast<std::size_t>(point.x);
        if (planes.colorShown)
            return ColorReadout(planes, point.x, point.y, at);
        if (planes.grayShown)
            return Format("x %d, y %d  灰度 %d", point.x, point.y, planes.gray[at]);
        return std::nullopt;
    }
    if (planes.result == nullptr || point.x - width >= width)
        return std::nullopt;
    return Format("x %d, y %d  结果 %d", point.x - width, point.y,
                  planes.result[row + static_cast<std::size_t>(point.x - width)]);
}
