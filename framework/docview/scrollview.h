// A view that scrolls over what it paints when that is larger than its client area.
#pragma once

#include "view.h"

// The one mapping mode: one logical unit is one device pixel, y grows downwards.
constexpr int MM_TEXT = 1;

class CScrollView : public CView {
    DECLARE_DYNAMIC(CScrollView)
public:
    // The total size of what the view paints, in logical units. Scroll bars appear while it
    // is larger than the client area; the scroll position is kept, clamped to the new size.
    void SetScrollSizes(int nMapMode, CSize sizeTotal);
    CSize GetTotalSize() const { return m_totalLog; }
    // The logical point shown at the client area's top-left corner.
    CPoint GetScrollPosition() const;
    void ScrollToPosition(CPoint pt);

    // On the screen the viewport origin moves to minus the scroll position; a printed page
    // is left as it is, so printing starts from the image's corner wherever the view is.
    void OnPrepareDC(CDC* pDC, CPrintInfo* pInfo = nullptr) override;

protected:
    CScrollView() = default;

private:
    CSize m_totalLog;
};
