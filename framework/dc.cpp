#include "dc.h"

#include <algorithm>

CDC::CDC(std::uint32_t* bits, int width, int height, std::ptrdiff_t stride)
    : m_bits(bits), m_stride(stride), m_clip{0, 0, bits ? std::max(width, 0) : 0,
                                             bits ? std::max(height, 0) : 0} {
    UpdateClipBounds();
}

void CDC::UpdateClipBounds() {
    m_clipLeft = m_clip.left;
    m_clipTop = m_clip.top;
    m_clipWidth = static_cast<std::size_t>(m_clip.Width());
    m_clipHeight = static_cast<std::size_t>(m_clip.Height());
}

void CDC::IntersectClipRect(const CRect& rect) {
    m_clip.left = std::max(m_clip.left, rect.left);
    m_clip.top = std::max(m_clip.top, rect.top);
    m_clip.right = std::max(m_clip.left, std::min(m_clip.right, rect.right));
    m_clip.bottom = std::max(m_clip.top, std::min(m_clip.bottom, rect.bottom));
    UpdateClipBounds();
}

COLORREF CDC::GetPixel(int x, int y) const {
    if (!InClip(x, y))
        return static_cast<COLORREF>(-1);
    const std::uint32_t device = m_bits[y * m_stride + x];
    return __builtin_bswap32(device) >> 8;
}

void CDC::FillSolidRect(const CRect& rect, COLORREF color) {
    const int left = std::max(rect.left, m_clip.left);
    const int right = std::min(rect.right, m_clip.right);
    for (int y = std::max(rect.top, m_clip.top); y < std::min(rect.bottom, m_clip.bottom); ++y)
        std::fill(m_bits + y * m_stride + left, m_bits + y * m_stride + std::max(left, right),
                  ToDevice(color));
}
