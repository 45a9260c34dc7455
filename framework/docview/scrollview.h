// A view that scrolls over what it paints when that is larger than its client area, and
// shows it at a zoom.
#pragma once

#include "view.h"
#include "zoom.h"

#include <optional>

// The one mapping mode: one logical unit is one device pixel at zoom 1, y grows downwards.
constexpr int MM_TEXT = 1;

class CScrollView : public CView {
    DECLARE_DYNAMIC(CScrollView)
public:
    // The total size of what the view paints, in logical units. Scroll bars appear while it
    // is larger than the client area at the zoom; the scroll position is kept, clamped to
    // the new size.
    void SetScrollSizes(int nMapMode, CSize sizeTotal);
    CSize GetTotalSize() const { return m_totalLog; }
    // The device pixel of the zoomed total shown at the client area's top-left corner: the
    // logical point there at zoom 1.
    CPoint GetScrollPosition() const;
    void ScrollToPosition(CPoint pt);

    const CZoom& GetZoom() const { return m_zoom; }
    // Shows the view at zoom, keeping the logical pixel at device point anchor of the client
    // area under it (the client area's centre when no anchor is given), then repaints and
    // brings the frame's caption up to date. False, with nothing changed, when the zoomed
    // total would be too large to scroll over.
    bool SetZoom(const CZoom& zoom);
    bool SetZoom(const CZoom& zoom, CPoint anchor);
    // The zoom that shows the whole total in the client area, from the top-left corner.
    void ZoomToFit();

    // On the screen the viewport origin moves to minus the scroll position and the surface
    // takes the zoom; a printed page is left as it is, so printing starts from the image's
    // corner at one dot per logical unit wherever the view is and whatever its zoom.
    void OnPrepareDC(CDC* pDC, CPrintInfo* pInfo = nullptr) override;

protected:
    CScrollView() = default;

private:
    // The total at zoom, in device pixels; nothing when it is too large to scroll over.
    static std::optional<CSize> ZoomedTotal(CSize total, const CZoom& zoom);

    CSize m_totalLog;
    CZoom m_zoom;
};
