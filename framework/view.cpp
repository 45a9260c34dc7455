#include "view.h"

#include "document.h"
#include "keymap.h"
#include "messagebox.h"
#include "printing.h"
#include "wndimpl.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include <cmath>

namespace {

constexpr COLORREF viewBackground = RGB(255, 255, 255);

LPARAM KeyLParam(const QKeyEvent& event) {
    const UINT repeatCount = 1;
    return static_cast<LPARAM>(repeatCount | (AfxKeyFlagsOf(event) << 16));
}

WPARAM MouseFlags(const QMouseEvent& event) {
    constexpr WPARAM MK_LBUTTON = 0x01, MK_RBUTTON = 0x02, MK_SHIFT = 0x04, MK_CONTROL = 0x08,
                     MK_MBUTTON = 0x10;
    WPARAM flags = 0;
    const auto buttons = event.buttons();
    if (buttons & Qt::LeftButton)
        flags |= MK_LBUTTON;
    if (buttons & Qt::RightButton)
        flags |= MK_RBUTTON;
    if (buttons & Qt::MiddleButton)
        flags |= MK_MBUTTON;
    if (event.modifiers() & Qt::ShiftModifier)
        flags |= MK_SHIFT;
    if (event.modifiers() & Qt::ControlModifier)
        flags |= MK_CONTROL;
    return flags;
}

LPARAM MousePoint(const QMouseEvent& event) {
    const QPoint p = event.position().toPoint();
    return static_cast<LPARAM>((static_cast<WORD>(p.x())) |
                               (static_cast<std::uintptr_t>(static_cast<WORD>(p.y())) << 16));
}

class ViewWidget : public QWidget {
public:
    ViewWidget(CView& view, QWidget* parent) : QWidget(parent), m_view(view) {
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        // One image pixel is one device pixel, also on high-density screens.
        const qreal ratio = devicePixelRatioF();
        const QSize device(static_cast<int>(std::ceil(width() * ratio)),
                           static_cast<int>(std::ceil(height() * ratio)));
        if (m_surface.size() != device) {
            m_surface = QImage(device, QImage::Format_RGB32);
            m_surface.setDevicePixelRatio(ratio);
        }
        CDC dc(reinterpret_cast<std::uint32_t*>(m_surface.bits()), device.width(), device.height(),
               m_surface.bytesPerLine() / 4);
        m_view.PaintSurface(dc, device.width(), device.height());
        QPainter painter(this);
        painter.drawImage(QPointF(0, 0), m_surface);
    }

    void keyPressEvent(QKeyEvent* event) override {
        Dispatch(event, WM_KEYDOWN, AfxVirtualKeyOf(*event), KeyLParam(*event));
    }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            Dispatch(event, WM_LBUTTONDOWN, MouseFlags(*event), MousePoint(*event));
        else
            event->ignore();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton)
            Dispatch(event, WM_LBUTTONUP, MouseFlags(*event), MousePoint(*event));
        else
            event->ignore();
    }

private:
    void Dispatch(QEvent* event, UINT message, WPARAM wParam, LPARAM lParam) {
        event->accept();
        CWndImpl::EventScope scope(m_view.Impl(), event);
        if (!m_view.OnWndMsg(message, wParam, lParam, nullptr))
            event->ignore();
    }

    CView& m_view;
    QImage m_surface;
};

} // namespace

IMPLEMENT_DYNAMIC(CView, CWnd)

BEGIN_MESSAGE_MAP(CView, CWnd)
ON_COMMAND_RANGE(ID_NEXT_PANE, ID_PREV_PANE, &CView::OnNextPaneCmd)
END_MESSAGE_MAP()

CView::~CView() {
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

BOOL CView::Create(CWnd* parent, UINT nID, CCreateContext* pContext) {
    CREATESTRUCT cs;
    cs.style = 0x50000000; // WS_CHILD | WS_VISIBLE
    cs.hMenu = nID;
    cs.lpCreateParams = pContext;
    if (!PreCreateWindow(cs))
        return FALSE;
    AfxAttachWidget(this, new ViewWidget(*this, AfxGetWidget(parent)));
    Impl().controlId = nID;
    if (pContext && pContext->m_pCurrentDoc)
        pContext->m_pCurrentDoc->AddView(this);
    return SendCreate(cs);
}

// A view without split panes has no other pane to go to.
void CView::OnNextPaneCmd(UINT) {}

void CView::OnInitialUpdate() {
    Invalidate(TRUE);
}

BOOL CView::OnPreparePrinting(CPrintInfo* pInfo) {
    return DoPreparePrinting(pInfo);
}

void CView::OnBeginPrinting(CDC*, CPrintInfo*) {}

void CView::OnEndPrinting(CDC*, CPrintInfo*) {}

// A preview or a direct print goes to the application's printer as it is set up.
BOOL CView::DoPreparePrinting(CPrintInfo* pInfo) {
    if (pInfo->m_bPreview || pInfo->m_bDirect)
        return TRUE;
    return AfxRunPrintDialog(*this) ? TRUE : FALSE;
}

void CView::OnFilePrint() {
    CPrintInfo info;
    if (OnPreparePrinting(&info) && !AfxPrintView(*this, info, AfxGetPrinter()))
        AfxMessageBox("无法打印这一页。", MB_ICONERROR);
}

void CView::OnFilePrintPreview() {
    CPrintInfo info;
    info.m_bPreview = TRUE;
    if (OnPreparePrinting(&info))
        AfxRunPrintPreview(*this, info);
}

BOOL CView::OnCmdMsg(UINT nID, UINT nCode, void* pExtra) {
    if (CWnd::OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    return m_pDocument != nullptr && m_pDocument->OnCmdMsg(nID, nCode, pExtra);
}

bool CView::HasCommandRow(UINT nID) const {
    return HasOwnCommandRow(nID) || (m_pDocument && m_pDocument->HasCommandRow(nID));
}

BOOL CView::PreCreateWindow(CREATESTRUCT& cs) {
    return CWnd::PreCreateWindow(cs);
}

void CView::AssertValid() const {
    CWnd::AssertValid();
}

void CView::Dump(CDumpContext& dc) const {
    CWnd::Dump(dc);
    dc << "m_pDocument = " << static_cast<const void*>(m_pDocument) << "\n";
}

void CView::PaintSurface(CDC& dc, int width, int height) {
    dc.FillSolidRect(CRect{0, 0, width, height}, viewBackground);
    OnDraw(&dc);
}
