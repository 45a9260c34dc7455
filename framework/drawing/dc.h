// A drawing surface over a block of 32-bit device pixels with a clip rectangle and a viewport
// origin: logical point (x, y) is device pixel (x, y) + origin. Pixel writes are inline:
// painting issues one per image pixel.
#pragma once

#include "afxtypes.h"

#include <cstddef>
#include <cstdint>

// What GetClipBox reports of the clip.
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;

class CDC {
public:
    // bits holds height rows of stride pixels, each 0xFFRRGGBB; the clip is the whole
    // surface. The surface does not own the pixels.
    CDC(std::uint32_t* bits, int width, int height, std::ptrdiff_t stride);
    virtual ~CDC() = default;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    // Narrows the clip to its intersection with rect, in logical coordinates.
    void IntersectClipRect(const CRect& rect);
    // The clip in logical coordinates; returns NULLREGION when it is empty, SIMPLEREGION
    // otherwise.
    int GetClipBox(CRect* rect) const;
    // Moves the logical origin to device point (x, y); returns the origin before.
    CPoint SetViewportOrg(int x, int y);
    CPoint GetViewportOrg() const { return m_viewportOrg; }
    bool IsPrinting() const { return m_bPrinting; }

    // Sets logical pixel (x, y) to color (0x00BBGGRR); returns the colour set, or -1 when the point
    // lies outside the clip.
    COLORREF SetPixel(int x, int y, COLORREF color) {
        return Put(x, y, color) ? color & 0x00FFFFFF : static_cast<COLORREF>(-1);
    }
    // The same, reporting only whether the pixel was set.
    BOOL SetPixelV(int x, int y, COLORREF color) { return Put(x, y, color) ? TRUE : FALSE; }
    // The colour of logical pixel (x, y), or -1 outside the clip.
    COLORREF GetPixel(int x, int y) const;
    // Fills rect, in logical coordinates, within the clip.
    void FillSolidRect(const CRect& rect, COLORREF color);

protected:
    bool m_bPrinting = false;

private:
    // Painting calls this once per pixel. Every member is read on every path, and none of
    // them has a type that a pixel store can alias, so a painting loop keeps them in registers.
    bool Put(int x, int y, COLORREF color) {
        std::uint32_t* const bits = m_bits;
        const std::ptrdiff_t index = y * m_stride + x + m_originOffset;
        const bool inside = (static_cast<std::size_t>(x - m_clipLeft) < m_clipWidth) &
                            (static_cast<std::size_t>(y - m_clipTop) < m_clipHeight);
        if (inside)
            bits[index] = ToDevice(color);
        return inside;
    }
    bool InClip(int x, int y) const {
        return static_cast<std::size_t>(x - m_clipLeft) < m_clipWidth &&
               static_cast<std::size_t>(y - m_clipTop) < m_clipHeight;
    }
    void UpdateClipBounds();
    // 0x00BBGGRR to the device's 0xFFRRGGBB: a byte swap moves red up and blue down.
    static std::uint32_t ToDevice(COLORREF color) {
        return 0xFF000000u | (__builtin_bswap32(color) >> 8);
    }

    std::uint32_t* m_bits;
    std::ptrdiff_t m_stride;
    CRect m_clip; // in device pixels
    CPoint m_viewportOrg;
    // What follows is derived from the clip and the origin, in types that a pixel store
    // cannot alias: the device index of logical (0, 0) and the clip in logical coordinates.
    std::ptrdiff_t m_originOffset = 0;
    std::ptrdiff_t m_clipLeft = 0;
    std::ptrdiff_t m_clipTop = 0;
    std::size_t m_clipWidth = 0;
    std::size_t m_clipHeight = 0;
};
