#include "zoom.h"

#include <algorithm>
#include <bit>
#include <cstdio>

namespace {

constexpr int maxEnlargement = 64;
constexpr int maxReduction = 32;

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
    const std::int64_t quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

std::int64_t CeilDiv(std::int64_t value, std::int64_t divisor) {
    return -FloorDiv(-value, divisor);
}

unsigned PowerAbove(int factor) {
    return std::bit_floor(static_cast<unsigned>(factor)) * 2;
}

unsigned PowerBelow(int factor) {
    return std::bit_ceil(static_cast<unsigned>(factor)) / 2;
}

} // namespace

CZoom CZoom::Enlarging(int factor) {
    CZoom zoom;
    zoom.m_enlarge = std::clamp(factor, 1, maxEnlargement);
    return zoom;
}

CZoom CZoom::Reducing(int factor) {
    CZoom zoom;
    zoom.m_reduce = std::max(factor, 1);
    return zoom;
}

CZoom CZoom::Fitting(CSize content, CSize window) {
    if (content.cx <= 0 || content.cy <= 0 || window.cx <= 0 || window.cy <= 0)
        return CZoom();
    if (content.cx <= window.cx && content.cy <= window.cy)
        return Enlarging(std::min(window.cx / content.cx, window.cy / content.cy));
    return Reducing(
        static_cast<int>(std::max(CeilDiv(content.cx, window.cx), CeilDiv(content.cy, window.cy))));
}

CZoom CZoom::In() const {
    if (m_reduce > 1)
        return Reducing(static_cast<int>(PowerBelow(m_reduce)));
    return Enlarging(static_cast<int>(std::min<unsigned>(PowerAbove(m_enlarge), maxEnlargement)));
}

CZoom CZoom::Out() const {
    if (m_enlarge > 1)
        return Enlarging(static_cast<int>(PowerBelow(m_enlarge)));
    if (m_reduce >= maxReduction)
        return *this;
    return Reducing(static_cast<int>(PowerAbove(m_reduce)));
}

std::int64_t CZoom::DeviceOffset(std::int64_t logical) const {
    return m_reduce > 1 ? CeilDiv(logical, m_reduce) : logical * m_enlarge;
}

std::int64_t CZoom::LogicalAt(std::int64_t device) const {
    return m_reduce > 1 ? device * m_reduce : FloorDiv(device, m_enlarge);
}

std::string CZoom::Text() const {
    char text[32];
    std::snprintf(text, sizeof text, "%.4g%%", 100.0 * Factor());
    return text;
}
