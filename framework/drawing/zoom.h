// A zoom factor of the screen over what a view paints: each logical pixel an exact k x k
// block of device pixels when enlarging, or one device pixel for each k x k block of logical
// pixels when reducing, showing the block's top-left pixel. Either way every colour on the
// screen is one that was painted.
#pragma once

#include "afxtypes.h"

#include <cstdint>
#include <string>

class CZoom {
public:
    // One logical pixel per device pixel.
    CZoom() = default;
    static CZoom Enlarging(int factor);
    static CZoom Reducing(int factor);
    // The factor that shows all of content, at most 64 times enlarged, in window.
    static CZoom Fitting(CSize content, CSize window);

    int Enlargement() const { return m_enlarge; }
    int Reduction() const { return m_reduce; }
    // The factor as a number: 4 for four times enlarged, 0.25 for four times reduced.
    double Factor() const { return static_cast<double>(m_enlarge) / m_reduce; }
    // The next power of two up or down, within 1/32 and 64; a factor at its end stays.
    CZoom In() const;
    CZoom Out() const;

    // The first device pixel, counted from the logical origin's, that shows a logical pixel
    // at logical or beyond it; also the device length of that many logical pixels.
    std::int64_t DeviceOffset(std::int64_t logical) const;
    // The logical pixel that device pixel device, counted the same way, shows.
    std::int64_t LogicalAt(std::int64_t device) const;

    // The factor as a percentage: "400%", "6.25%".
    std::string Text() const;

    bool operator==(const CZoom&) const = default;

private:
    int m_enlarge = 1;
    int m_reduce = 1;
};
