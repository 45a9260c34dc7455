#include "scrollview.h"

#include "viewwidget.h"
#include "wndimpl.h"

IMPLEMENT_DYNAMIC(CScrollView, CView)

namespace {

// Null before the view's window is created.
CViewWidget* WidgetOf(const CScrollView& view) {
    return static_cast<CViewWidget*>(AfxGetWidget(&view));
}

} // namespace

void CScrollView::SetScrollSizes([[maybe_unused]] int nMapMode, CSize sizeTotal) {
    ASSERT(nMapMode == MM_TEXT);
    m_totalLog = sizeTotal;
    if (CViewWidget* widget = WidgetOf(*this))
        widget->SetExtent(QSize(sizeTotal.cx, sizeTotal.cy));
}

CPoint CScrollView::GetScrollPosition() const {
    const CViewWidget* widget = WidgetOf(*this);
    const QPoint position = widget ? widget->ScrollPosition() : QPoint();
    return CPoint{position.x(), position.y()};
}

void CScrollView::ScrollToPosition(CPoint pt) {
    if (CViewWidget* widget = WidgetOf(*this))
        widget->ScrollTo(QPoint(pt.x, pt.y));
}

void CScrollView::OnPrepareDC(CDC* pDC, CPrintInfo* pInfo) {
    if (!pDC->IsPrinting()) {
        const CPoint position = GetScrollPosition();
        pDC->SetViewportOrg(-position.x, -position.y);
    }
    CView::OnPrepareDC(pDC, pInfo);
}
