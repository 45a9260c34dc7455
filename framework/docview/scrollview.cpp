#include "scrollview.h"

#include "framewnd.h"
#include "viewwidget.h"
#include "wndimpl.h"

#include <climits>
#include <cmath>

IMPLEMENT_DYNAMIC(CScrollView, CView)

namespace {

// Null before the view's window is created.
CViewWidget* WidgetOf(const CScrollView& view) {
    return static_cast<CViewWidget*>(AfxGetWidget(&view));
}

// Where a zoom may place the pixel under the pointer: within its block when enlarged, the
// middle of the pixel otherwise.
double PlaceInPixel(const CZoom& zoom, std::int64_t device) {
    const int size = zoom.Enlargement();
    return (static_cast<double>(device - zoom.LogicalAt(device) * size) + 0.5) / size;
}

} // namespace

std::optional<CSize> CScrollView::ZoomedTotal(CSize total, const CZoom& zoom) {
    // The scroll bars count in int, and a window is added to the position.
    constexpr std::int64_t largest = INT_MAX / 2;
    const std::int64_t width = zoom.DeviceOffset(total.cx);
    const std::int64_t height = zoom.DeviceOffset(total.cy);
    if (width > largest || height > largest)
        return std::nullopt;
    return CSize{static_cast<int>(width), static_cast<int>(height)};
}

void CScrollView::SetScrollSizes([[maybe_unused]] int nMapMode, CSize sizeTotal) {
    ASSERT(nMapMode == MM_TEXT);
    m_totalLog = sizeTotal;
    // A total that was fine at zoom 1 but is not at this zoom is shown at 1.
    std::optional<CSize> zoomed = ZoomedTotal(sizeTotal, m_zoom);
    if (!zoomed) {
        m_zoom = CZoom();
        zoomed = ZoomedTotal(sizeTotal, m_zoom);
    }
    if (CViewWidget* widget = WidgetOf(*this)) {
        widget->SetExtent(QSize(zoomed->cx, zoomed->cy));
        widget->RefreshPointer();
    }
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

bool CScrollView::SetZoom(const CZoom& zoom) {
    const CViewWidget* widget = WidgetOf(*this);
    const QSize client = widget ? widget->ClientSize() : QSize();
    return SetZoom(zoom, CPoint{client.width() / 2, client.height() / 2});
}

bool CScrollView::SetZoom(const CZoom& zoom, CPoint anchor) {
    const std::optional<CSize> zoomed = ZoomedTotal(m_totalLog, zoom);
    if (!zoomed)
        return false;
    // The logical point under the anchor, and where in its pixel the anchor is.
    const CPoint position = GetScrollPosition();
    const auto kept = [&](int scrolled, int at) {
        const std::int64_t device = std::int64_t{scrolled} + at;
        const double logical =
            static_cast<double>(m_zoom.LogicalAt(device)) + PlaceInPixel(m_zoom, device);
        return static_cast<int>(std::floor(logical * zoom.Factor())) - at;
    };
    const CPoint scrolled{kept(position.x, anchor.x), kept(position.y, anchor.y)};
    m_zoom = zoom;
    SetScrollSizes(MM_TEXT, m_totalLog);
    ScrollToPosition(scrolled);
    Invalidate(TRUE);
    if (CFrameWnd* frame = GetParentFrame())
        frame->OnUpdateFrameTitle(TRUE);
    return true;
}

void CScrollView::ZoomToFit() {
    const CViewWidget* widget = WidgetOf(*this);
    if (widget == nullptr)
        return;
    const QSize window = widget->LargestClientSize();
    SetZoom(CZoom::Fitting(m_totalLog, CSize{window.width(), window.height()}), CPoint{});
    ScrollToPosition(CPoint{});
}

void CScrollView::OnPrepareDC(CDC* pDC, CPrintInfo* pInfo) {
    if (!pDC->IsPrinting()) {
        const CPoint position = GetScrollPosition();
        pDC->SetViewportOrg(-position.x, -position.y);
        pDC->SetZoom(m_zoom);
    }
    CView::OnPrepareDC(pDC, pInfo);
}
