// A drawing surface over a block of 32-bit device pixels with a clip rectangle. Pixel
// writes are inline: painting issues one per image pixel.
#pragma once

#include "afxtypes.h"

#include <cstddef>
#include <cstdint>

class CDC {
public:
    // bits holds height rows of stride pixels, each 0xFFRRGGBB; the clip is the whole
    // surface. The surface does not own the pixels.
    CDC(std::uint32_t* bits, int width, int height, std::ptrdiff_t stride);
    virtual ~CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // Narrows the clip to its intersection with rect.
    void IntersectClipRect(const CRect& rect);
    const CRect& GetClipBox() const { return m_clip; }
    bool IsPrinting() const { return m_bPrinting; }

    // Sets pixel (x, y) to color (0x00BBGGRR); returns the colour set, or -1 when the point
    // lies outside the clip.
    COLORREF SetPixel(int x, int y, COLORREF color) {
        if (!InClip(x, y))
            return static_cast<COLORREF>(-1);
        Store(x, y, color);
        return color & 0x00FFFFFF;
    }
    // The same, reporting only whether the pixel was set.
    BOOL SetPixelV(int x, int y, COLORREF color) {
        if (!InClip(x, y))
            return FALSE;
        Store(x, y, color);
        return TRUE;
    }
    COLORREF GetPixel(int x, int y) const;
    void FillSolidRect(const CRect& rect, COLORREF color);

protected:
    bool m_bPrinting = false;

private:
    // One unsigned comparison per axis: painting asks this once per pixel.
    bool InClip(int x, int y) const {
        return static_cast<unsigned>(x - m_clip.left) < m_clipWidth &&
               static_cast<unsigned>(y - m_clip.top) < m_clipHeight;
    }
    static std::uint32_t ToDevice(COLORREF color) {
        return 0xFF000000u | ((color & 0xFFu) << 16) | (color & 0xFF00u) | ((color >> 16) & 0xFFu);
    }
    void Store(int x, int y, COLORREF color) { m_bits[y * m_stride + x] = ToDevice(color); }

    std::uint32_t* m_bits;
    std::ptrdiff_t m_stride;
    CRect m_clip;
    unsigned m_clipWidth;
    unsigned m_clipHeight;
};
