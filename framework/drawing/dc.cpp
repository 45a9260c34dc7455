#include "dc.h"

#include <algorithm>
#include <cstdint>

CDC::CDC(std::uint32_t* bits, int width, int height, std::ptrdiff_t stride)
    : m_bits(bits), m_stride(stride), m_clip{0, 0, bits ? std::max(width, 0) : 0,
                                             bits ? std::max(height, 0) : 0} {
    UpdateClipBounds();
}

// The clip box holds the logical pixels shown from the clip's first device pixel to its
// last, so that its corner is a pixel that is shown.
void CDC::UpdateClipBounds() {
    m_zoomed = m_zoom != CZoom();
    m_reduce = m_zoom.Reduction();
    m_reciprocal = UINT64_MAX / static_cast<std::uint64_t>(m_reduce) + 1;
    m_originOffset = m_viewportOrg.y * m_stride + m_viewportOrg.x;
    m_clipOffset = m_clip.top * m_stride + m_clip.left;
    const auto logicalSpan = [this](int deviceBegin, int deviceEnd, int origin,
                                    std::ptrdiff_t& begin, std::size_t& length) {
        begin = m_zoom.LogicalAt(deviceBegin - origin);
        const std::ptrdiff_t end =
            deviceEnd > deviceBegin ? m_zoom.LogicalAt(deviceEnd - 1 - origin) + 1 : begin;
        length = static_cast<std::size_t>(end - begin);
    };
    logicalSpan(m_clip.left, m_clip.right, m_viewportOrg.x, m_clipLeft, m_clipWidth);
    logicalSpan(m_clip.top, m_clip.bottom, m_viewportOrg.y, m_clipTop, m_clipHeight);
}

CPoint CDC::DeviceOf(int x, int y) const {
    return CPoint{static_cast<int>(m_zoom.DeviceOffset(x) + m_viewportOrg.x),
                  static_cast<int>(m_zoom.DeviceOffset(y) + m_viewportOrg.y)};
}

void CDC::IntersectClipRect(const CRect& rect) {
    const CPoint topLeft = DeviceOf(rect.left, rect.top);
    const CPoint bottomRight = DeviceOf(rect.right, rect.bottom);
    m_clip.left = std::max(m_clip.left, topLeft.x);
    m_clip.top = std::max(m_clip.top, topLeft.y);
    m_clip.right = std::max(m_clip.left, std::min(m_clip.right, bottomRight.x));
    m_clip.bottom = std::max(m_clip.top, std::min(m_clip.bottom, bottomRight.y));
    UpdateClipBounds();
}

int CDC::GetClipBox(CRect* rect) const {
    *rect = CRect{static_cast<int>(m_clipLeft), static_cast<int>(m_clipTop),
                  static_cast<int>(m_clipLeft + static_cast<std::ptrdiff_t>(m_clipWidth)),
                  static_cast<int>(m_clipTop + static_cast<std::ptrdiff_t>(m_clipHeight))};
    return m_clipWidth > 0 && m_clipHeight > 0 ? SIMPLEREGION : NULLREGION;
}

CPoint CDC::SetViewportOrg(int x, int y) {
    const CPoint before = m_viewportOrg;
    m_viewportOrg = CPoint{x, y};
    UpdateClipBounds();
    return before;
}

void CDC::SetZoom(const CZoom& zoom) {
    m_zoom = zoom;
    UpdateClipBounds();
}

void CDC::DPtoLP(CPoint* point) const {
    point->x = static_cast<int>(m_zoom.LogicalAt(point->x - m_viewportOrg.x));
    point->y = static_cast<int>(m_zoom.LogicalAt(point->y - m_viewportOrg.y));
}

// An enlarged pixel that the clip cuts is read at its first device pixel within the clip.
COLORREF CDC::GetPixel(int x, int y) const {
    const CPoint first = DeviceOf(x, y);
    const CPoint device{std::max(first.x, m_clip.left), std::max(first.y, m_clip.top)};
    CPoint shown = device;
    DPtoLP(&shown);
    if (device.x >= m_clip.right || device.y >= m_clip.bottom || shown.x != x || shown.y != y)
        return static_cast<COLORREF>(-1);
    return __builtin_bswap32(m_bits[device.y * m_stride + device.x]) >> 8;
}

void CDC::FillSolidRect(const CRect& rect, COLORREF color) {
    const CPoint topLeft = DeviceOf(rect.left, rect.top);
    const CPoint bottomRight = DeviceOf(rect.right, rect.bottom);
    FillDeviceRect(CRect{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y}, ToDevice(color));
}

void CDC::FillBlock(int x, int y, std::uint32_t device) {
    const int size = m_zoom.Enlargement();
    const int left = x * size + m_viewportOrg.x;
    const int top = y * size + m_viewportOrg.y;
    FillDeviceRect(CRect{left, top, left + size, top + size}, device);
}

void CDC::FillDeviceRect(const CRect& device, std::uint32_t color) {
    const int left = std::max(device.left, m_clip.left);
    const int right = std::max(left, std::min(device.right, m_clip.right));
    for (int y = std::max(device.top, m_clip.top); y < std::min(device.bottom, m_clip.bottom);
         ++y) {
        std::uint32_t* const begin = m_bits + (y * m_stride + left);
        std::fill(begin, begin + (right - left), color);
    }
}

namespace {

CSpan SpanWithin(int first, int count, int clipBegin, int clipEnd, int step) {
    const std::int64_t limit = std::max(count, 0);
    const auto index = [&](int position) {
        return std::clamp<std::int64_t>(std::int64_t{position} - first, 0, limit);
    };
    const std::int64_t begin = index(clipBegin);
    const std::int64_t shown = begin + (step - (first + begin) % step) % step;
    return CSpan{static_cast<int>(std::min(shown, limit)), static_cast<int>(index(clipEnd))};
}

} // namespace

CSpan CDC::ShownColumns(int first, int count) const {
    CRect clip;
    GetClipBox(&clip);
    return SpanWithin(first, count, clip.left, clip.right, GetSampleStep());
}

CSpan CDC::ShownRows(int first, int count) const {
    CRect clip;
    GetClipBox(&clip);
    return SpanWithin(first, count, clip.top, clip.bottom, GetSampleStep());
}
