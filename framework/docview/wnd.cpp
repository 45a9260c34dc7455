#include "wnd.h"

#include "framewnd.h"
#include "wndimpl.h"

#include <QAbstractScrollArea>
#include <QVariant>
#include <QWindow>

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

namespace {
constexpr char windowProperty[] = "vexlanWindow";

// A scroll area shows what it paints in its viewport, and a repaint of the area itself leaves
// the viewport as it was on the screen.
QWidget* PaintedWidget(QWidget* widget) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(widget))
        return area->viewport();
    return widget;
}

} // namespace

void AfxAttachWidget(CWnd* wnd, QWidget* widget) {
    wnd->Impl().widget = widget;
    widget->setProperty(windowProperty, QVariant::fromValue(static_cast<void*>(wnd)));
}

CWnd* AfxWndFromWidget(const QWidget* widget) {
    return widget ? static_cast<CWnd*>(widget->property(windowProperty).value<void*>()) : nullptr;
}

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::CWnd() : m_pImpl(std::make_unique<CWndImpl>()) {}

CWnd::~CWnd() {
    delete m_pImpl->widget.data();
}

BOOL CWnd::PreCreateWindow(CREATESTRUCT&) {
    return TRUE;
}

BOOL CWnd::ShowWindow(int nCmdShow) {
    QWidget* widget = m_pImpl->widget;
    if (!widget)
        return FALSE;
    const BOOL wasVisible = widget->isVisible();
    widget->setVisible(nCmdShow != SW_HIDE);
    return wasVisible;
}

void CWnd::UpdateWindow() {
    if (m_pImpl->widget)
        PaintedWidget(m_pImpl->widget)->repaint();
}

void CWnd::Invalidate(BOOL) {
    if (!m_pImpl->widget)
        return;
    PaintedWidget(m_pImpl->widget)->update();
    m_pImpl->paintPending = true;
}

bool CWnd::IsPaintPending() const {
    const QWidget* widget = m_pImpl->widget;
    const QWindow* window = widget ? widget->window()->windowHandle() : nullptr;
    // A window that is hidden or covered gets no paint to wait for.
    return m_pImpl->paintPending && widget->isVisible() && window && window->isExposed() &&
           !PaintedWidget(m_pImpl->widget)->size().isEmpty();
}

BOOL CWnd::IsWindowVisible() const {
    return m_pImpl->widget && m_pImpl->widget->isVisible();
}

void CWnd::SetWindowText(const std::string& text) {
    if (m_pImpl->widget)
        m_pImpl->widget->setWindowTitle(QString::fromUtf8(text.c_str()));
}

std::string CWnd::GetWindowText() const {
    return m_pImpl->widget ? m_pImpl->widget->windowTitle().toStdString() : std::string();
}

UINT CWnd::GetDlgCtrlID() const {
    return m_pImpl->controlId;
}

CFrameWnd* CWnd::GetParentFrame() const {
    for (QWidget* widget = m_pImpl->widget ? m_pImpl->widget->parentWidget() : nullptr; widget;
         widget = widget->parentWidget())
        if (auto* frame = dynamic_cast<CFrameWnd*>(AfxWndFromWidget(widget)))
            return frame;
    return nullptr;
}

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
    const AFX_MSGMAP_ENTRY* entry = FindEntry(message, 0, 0);
    if (entry == nullptr)
        return FALSE;
    const LRESULT result = entry->pfn(this, wParam, lParam);
    if (pResult)
        *pResult = result;
    return TRUE;
}

void CWnd::OnKeyDown(UINT, UINT, UINT) {
    Default();
}
void CWnd::OnLButtonDown(UINT, CPoint) {
    Default();
}
void CWnd::OnLButtonUp(UINT, CPoint) {
    Default();
}

void CWnd::Default() {
    // An ignored event goes on to the parent widget, the toolkit's default processing.
    if (m_pImpl->currentEvent)
        m_pImpl->currentEvent->ignore();
}

void CWnd::DragAcceptFiles(BOOL bAccept) {
    QWidget* widget = AfxGetWidget(this);
    widget->setAcceptDrops(bAccept);
    PaintedWidget(widget)->setAcceptDrops(bAccept);
}

bool CWnd::SendCreate(CREATESTRUCT& cs) {
    LRESULT result = 0;
    OnWndMsg(WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs), &result);
    return result != -1;
}
