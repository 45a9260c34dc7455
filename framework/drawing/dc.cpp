#include "dc.h"

#include <algorithm>

CDC::CDC(std::uint32_t* bits, int width, int height, std::ptrdiff_t stride)
    : m_bits(bits), m_stride(stride), m_clip{0, 0, bits ? std::max(width, 0) : 0,
                                             bits ? std::max(height, 0) : 0} {
    UpdateClipBounds();
}

void CDC::UpdateClipBounds() {
    m_originOffset = m_viewportOrg.y * m_stride + m_viewportOrg.x;
    m_clipLeft = m_clip.left - m_viewportOrg.x;
    m_clipTop = m_clip.top - m_viewportOrg.y;
    m_clipWidth = static_cast<std::size_t>(m_clip.Width());
    m_clipHeight = static_cast<std::size_t>(m_clip.Height());
}

void CDC::IntersectClipRect(const CRect& rect) {
    const CRect device{rect.left + m_viewportOrg.x, rect.top + m_viewportOrg.y,
                       rect.right + m_viewportOrg.x, rect.bottom + m_viewportOrg.y};
    m_clip.left = std::max(m_clip.left, device.left);
    m_clip.top = std::max(m_clip.top, device.top);
    m_clip.right = std::max(m_clip.left, std::min(m_clip.right, device.right));
    m_clip.bottom = std::max(m_clip.top, std::min(m_clip.bottom, device.bottom));
    UpdateClipBounds();
}

int CDC::GetClipBox(CRect* rect) const {
    *rect = CRect{m_clip.left - m_viewportOrg.x, m_clip.top - m_viewportOrg.y,
                  m_clip.right - m_viewportOrg.x, m_clip.bottom - m_viewportOrg.y};
    return m_clip.Width() > 0 && m_clip.Height() > 0 ? SIMPLEREGION : NULLREGION;
}

CPoint CDC::SetViewportOrg(int x, int y) {
    const CPoint before = m_viewportOrg;
    m_viewportOrg = CPoint{x, y};
    UpdateClipBounds();
    return before;
}

COLORREF CDC::GetPixel(int x, int y) const {
    if (!InClip(x, y))
        return static_cast<COLORREF>(-1);
    const std::uint32_t device = m_bits[y * m_stride + x + m_originOffset];
    return __builtin_bswap32(device) >> 8;
}

void CDC::FillSolidRect(const CRect& rect, COLORREF color) {
    CRect clip;
    GetClipBox(&clip);
    const int left = std::max(rect.left, clip.left);
    const int right = std::max(left, std::min(rect.right, clip.right));
    for (int y = std::max(rect.top, clip.top); y < std::min(rect.bottom, clip.bottom); ++y) {
        std::uint32_t* const begin = m_bits + (y * m_stride + m_originOffset + left);
        std::fill(begin, begin + (right - left), ToDevice(color));
    }
}
