// A drawing surface over a block of 32-bit device pixels with a clip rectangle, a viewport
// origin and a zoom: logical point (x, y) is device pixel zoom(x, y) + origin. Pixel writes
// are inline: painting issues one per image pixel.
#pragma once

#include "afxtypes.h"
#include "zoom.h"

#include <cstddef>
#include <cstdint>

// What GetClipBox reports of the clip.
constexpr int NULLREGION = 1;
constexpr int SIMPLEREGION = 2;

// Indices [begin, end) of a run of logical pixels, walked by the sample step.
struct CSpan {
    int begin;
    int end;
};

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
    // The logical pixels that reach the clip; returns NULLREGION when there are none,
    // SIMPLEREGION otherwise.
    int GetClipBox(CRect* rect) const;
    // Moves the logical origin to device point (x, y); returns the origin before.
    CPoint SetViewportOrg(int x, int y);
    CPoint GetViewportOrg() const { return m_viewportOrg; }
    // The logical origin stays at its device point; the clip stays where it is on the device.
    void SetZoom(const CZoom& zoom);
    const CZoom& GetZoom() const { return m_zoom; }
    // The distance between the logical pixels that reach the device, across and down: a
    // reducing zoom shows one of each block. A painting loop that starts at the clip box's
    // corner, or at a multiple of the step, and moves by it meets only pixels that are shown.
    int GetSampleStep() const { return m_zoom.Reduction(); }
    // The indices i in [0, count) of the columns (rows) painted at first + i that lie in the
    // clip box, from the first whose position is a multiple of the sample step: the ones a
    // painting loop must walk, since the surface drops every other pixel anyway.
    CSpan ShownColumns(int first, int count) const;
    CSpan ShownRows(int first, int count) const;
    // The logical pixel that device point *point shows.
    void DPtoLP(CPoint* point) const;
    bool IsPrinting() const { return m_bPrinting; }

    // Sets logical pixel (x, y) to color (0x00BBGGRR): its block when enlarging, nothing for
    // a pixel that a reducing zoom does not show. Returns the colour set, or -1 when the point
    // lies outside the clip or is not shown.
    COLORREF SetPixel(int x, int y, COLORREF color) {
        return Put(x, y, color) ? color & 0x00FFFFFF : static_cast<COLORREF>(-1);
    }
    // The same, reporting only whether the pixel was set.
    BOOL SetPixelV(int x, int y, COLORREF color) { return Put(x, y, color) ? TRUE : FALSE; }
    // The colour of the device pixel that shows logical pixel (x, y), or -1 outside the clip
    // or where none does.
    COLORREF GetPixel(int x, int y) const;
    // Fills rect, in logical coordinates, within the clip.
    void FillSolidRect(const CRect& rect, COLORREF color);

protected:
    bool m_bPrinting = false;

private:
    // Painting calls this once per pixel. Every member is read on every path, and none of
    // them has a type that a pixel store can alias, so a painting loop keeps them in registers.
    bool Put(int x, int y, COLORREF color) {
        if (m_zoomed)
            return PutZoomed(x, y, color);
        std::uint32_t* const bits = m_bits;
        const std::ptrdiff_t index = y * m_stride + x + m_originOffset;
        const bool inside = InClip(x, y);
        if (inside)
            bits[index] = ToDevice(color);
        return inside;
    }
    // A reduced pixel's device point is the clip's corner plus its distance from the clip
    // box's corner, which is a shown pixel, divided by the step; a remainder means that the
    // pixel is not shown.
    bool PutZoomed(int x, int y, COLORREF color) {
        if (!InClip(x, y))
            return false;
        if (m_reduce == 1) {
            FillBlock(x, y, ToDevice(color));
            return true;
        }
        const auto across = static_cast<std::uint64_t>(x - m_clipLeft);
        const auto down = static_cast<std::uint64_t>(y - m_clipTop);
        const std::uint64_t column = Quotient(across);
        const std::uint64_t row = Quotient(down);
        const auto step = static_cast<std::uint64_t>(m_reduce);
        if (column * step != across || row * step != down)
            return false;
        m_bits[m_clipOffset + static_cast<std::ptrdiff_t>(row) * m_stride +
               static_cast<std::ptrdiff_t>(column)] = ToDevice(color);
        return true;
    }
    // distance / m_reduce by a multiplication: a division per pixel would cost as much as the
    // rest of painting it. Exact for distances below 2^32 and steps below 2^32.
    std::uint64_t Quotient(std::uint64_t distance) const {
        __extension__ using Wide = unsigned __int128;
        return static_cast<std::uint64_t>((static_cast<Wide>(distance) * m_reciprocal) >> 64);
    }
    bool InClip(int x, int y) const {
        return (static_cast<std::size_t>(x - m_clipLeft) < m_clipWidth) &
               (static_cast<std::size_t>(y - m_clipTop) < m_clipHeight);
    }
    // The block of device pixels that enlarged logical pixel (x, y) covers, within the clip.
    void FillBlock(int x, int y, std::uint32_t device);
    void FillDeviceRect(const CRect& device, std::uint32_t color);
    // The first device pixel that shows logical (x, y) or a pixel to its lower right.
    CPoint DeviceOf(int x, int y) const;
    void UpdateClipBounds();
    // 0x00BBGGRR to the device's 0xFFRRGGBB: a byte swap moves red up and blue down.
    static std::uint32_t ToDevice(COLORREF color) {
        return 0xFF000000u | (__builtin_bswap32(color) >> 8);
    }

    std::uint32_t* m_bits;
    std::ptrdiff_t m_stride;
    CRect m_clip; // in device pixels
    CPoint m_viewportOrg;
    CZoom m_zoom;
    // What follows is derived from the clip, the origin and the zoom, in types that a pixel
    // store cannot alias: the device index of logical (0, 0), the clip box, and the zoom.
    bool m_zoomed = false;
    std::ptrdiff_t m_reduce = 1;
    std::uint64_t m_reciprocal = 0; // 2^64 / m_reduce, rounded up
    std::ptrdiff_t m_originOffset = 0;
    std::ptrdiff_t m_clipOffset = 0; // the device index of the clip's corner
    std::ptrdiff_t m_clipLeft = 0;
    std::ptrdiff_t m_clipTop = 0;
    std::size_t m_clipWidth = 0;
    std::size_t m_clipHeight = 0;
};
