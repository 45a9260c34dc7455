#include "viewwidget.h"

#include "keymap.h"
#include "messagebox.h"
#include "pathmap.h"
#include "scrollview.h"
#include "wndimpl.h"

#include <QApplication>
#include <QCursor>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// The local files a drag carries; none when it carries anything else.
QStringList DraggedFiles(const QMimeData* data) {
    QStringList files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

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

// Client points are in device pixels, as the view paints.
QPoint DevicePoint(QPointF point, qreal ratio) {
    return QPoint(static_cast<int>(std::floor(point.x() * ratio)),
                  static_cast<int>(std::floor(point.y() * ratio)));
}

LPARAM MousePoint(const QMouseEvent& event, qreal ratio) {
    const QPoint p = DevicePoint(event.position(), ratio);
    return static_cast<LPARAM>((static_cast<WORD>(p.x())) |
                               (static_cast<std::uintptr_t>(static_cast<WORD>(p.y())) << 16));
}

// The device pixels that a rectangle of the client area covers, rounded outwards.
QRect DeviceRect(const QRect& rect, qreal ratio) {
    const int left = static_cast<int>(std::floor(rect.left() * ratio));
    const int top = static_cast<int>(std::floor(rect.top() * ratio));
    const int right = static_cast<int>(std::ceil((rect.right() + 1) * ratio));
    const int bottom = static_cast<int>(std::ceil((rect.bottom() + 1) * ratio));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

// Fine wheels and touchpads send parts of a notch (120): adds delta to what earlier events
// left over, and takes out the whole notches, keeping the rest for the next event.
int WholeNotches(int delta, int& remainder) {
    constexpr int notch = 120;
    remainder += delta;
    const int notches = remainder / notch;
    remainder -= notches * notch;
    return notches;
}

// One wheel notch moves as many lines as the desktop says, a line being one single step;
// remainder counts in lines times 120ths of a notch.
void ScrollByWheel(QScrollBar& bar, int delta, int& remainder) {
    const int lines = WholeNotches(delta * QApplication::wheelScrollLines(), remainder);
    bar.setValue(bar.value() - lines * bar.singleStep());
}

// Arrows scroll one line, Home to the top-left corner and End to the bottom-right one.
struct KeyScroll {
    int key;
    bool across;
    bool down;
    QAbstractSlider::SliderAction action;
};
constexpr KeyScroll keyScrolls[] = {
    {Qt::Key_Left, true, false, QAbstractSlider::SliderSingleStepSub},
    {Qt::Key_Right, true, false, QAbstractSlider::SliderSingleStepAdd},
    {Qt::Key_Up, false, true, QAbstractSlider::SliderSingleStepSub},
    {Qt::Key_Down, false, true, QAbstractSlider::SliderSingleStepAdd},
    {Qt::Key_Home, true, true, QAbstractSlider::SliderToMinimum},
    {Qt::Key_End, true, true, QAbstractSlider::SliderToMaximum},
};

} // namespace

CViewWidget::CViewWidget(CView& view, QWidget* parent) : QAbstractScrollArea(parent), m_view(view) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    horizontalScrollBar()->setFocusPolicy(Qt::NoFocus);
    verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setMouseTracking(true);
}

void CViewWidget::SetExtent(QSize extent) {
    m_extent = extent;
    UpdateScrollBars();
}

QPoint CViewWidget::ScrollPosition() const {
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void CViewWidget::ScrollTo(QPoint position) {
    horizontalScrollBar()->setValue(position.x());
    verticalScrollBar()->setValue(position.y());
}

QSize CViewWidget::ClientSize() const {
    return DeviceSize(viewport()->size());
}

QSize CViewWidget::LargestClientSize() const {
    return DeviceSize(maximumViewportSize());
}

void CViewWidget::RefreshPointer() {
    if (!viewport()->underMouse())
        return;
    const QPointF at = viewport()->mapFromGlobal(QCursor::pos());
    QMouseEvent move(QEvent::MouseMove, at, viewport()->mapToGlobal(at), Qt::NoButton,
                     QApplication::mouseButtons(), QApplication::keyboardModifiers());
    mouseMoveEvent(&move);
}

QSize CViewWidget::DeviceSize(QSize size) const {
    // One image pixel is one device pixel, also on high-density screens.
    const qreal ratio = devicePixelRatioF();
    return QSize(static_cast<int>(std::ceil(size.width() * ratio)),
                 static_cast<int>(std::ceil(size.height() * ratio)));
}

void CViewWidget::UpdateScrollBars() {
    const QSize client = DeviceSize(viewport()->size());
    const auto fit = [](QScrollBar& bar, int extent, int page) {
        bar.setRange(0, std::max(extent - page, 0));
        bar.setPageStep(std::max(page, 1));
        bar.setSingleStep(std::max(page / 10, 1));
    };
    fit(*horizontalScrollBar(), m_extent.width(), client.width());
    fit(*verticalScrollBar(), m_extent.height(), client.height());
}

void CViewWidget::resizeEvent(QResizeEvent*) {
    UpdateScrollBars();
}

void CViewWidget::scrollContentsBy(int dx, int dy) {
    // What stays visible moves on screen and only the uncovered strips are painted; a
    // device pixel smaller than a widget unit cannot be moved that way.
    if (devicePixelRatioF() == 1.0)
        viewport()->scroll(dx, dy);
    else
        viewport()->update();
    RefreshPointer();
}

void CViewWidget::paintEvent(QPaintEvent* event) {
    const qreal ratio = devicePixelRatioF();
    const QSize device = DeviceSize(viewport()->size());
    if (m_surface.size() != device) {
        m_surface = QImage(device, QImage::Format_RGB32);
        m_surface.setDevicePixelRatio(ratio);
    }
    QPainter painter(viewport());
    for (const QRect& dirty : event->region()) {
        const QRect part = DeviceRect(dirty, ratio) & m_surface.rect();
        if (part.isEmpty())
            continue;
        CDC dc(reinterpret_cast<std::uint32_t*>(m_surface.bits()), device.width(), device.height(),
               m_surface.bytesPerLine() / 4);
        dc.IntersectClipRect(CRect{part.left(), part.top(), part.right() + 1, part.bottom() + 1});
        m_view.PaintSurface(dc, nullptr);
        painter.drawImage(QPointF(part.topLeft()) / ratio, m_surface, part);
    }
    // What is painted here goes to the screen as this event ends.
    m_view.Impl().paintPending = false;
}

void CViewWidget::keyPressEvent(QKeyEvent* event) {
    Dispatch(event, WM_KEYDOWN, AfxVirtualKeyOf(*event), KeyLParam(*event));
    if (!event->isAccepted() && ScrollByKey(event->key()))
        event->accept();
}

bool CViewWidget::ScrollByKey(int key) {
    const auto scroll = std::find_if(std::begin(keyScrolls), std::end(keyScrolls),
                                     [key](const KeyScroll& entry) { return entry.key == key; });
    if (scroll == std::end(keyScrolls))
        return false;
    bool scrolled = false;
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        const bool moves = bar->orientation() == Qt::Horizontal ? scroll->across : scroll->down;
        if (moves && bar->maximum() > bar->minimum()) {
            bar->triggerAction(scroll->action);
            scrolled = true;
        }
    }
    return scrolled;
}

bool CViewWidget::ZoomByWheel(const QWheelEvent& event) {
    auto* view = dynamic_cast<CScrollView*>(&m_view);
    if (view == nullptr || !(event.modifiers() & Qt::ControlModifier))
        return false;
    const int notches = WholeNotches(event.angleDelta().y(), m_zoomRemainder);
    CZoom zoom = view->GetZoom();
    for (int i = 0; i < std::abs(notches); ++i)
        zoom = notches > 0 ? zoom.In() : zoom.Out();
    const QPoint at = DevicePoint(event.position(), devicePixelRatioF());
    if (zoom != view->GetZoom())
        view->SetZoom(zoom, CPoint{at.x(), at.y()});
    return true;
}

void CViewWidget::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (ZoomByWheel(*event))
        return;
    // Shift turns a vertical wheel into a horizontal one.
    const auto across = [event](QPoint delta) {
        return event->modifiers() & Qt::ShiftModifier ? QPoint(delta.x() + delta.y(), 0) : delta;
    };
    const QPoint pixels = across(event->pixelDelta());
    if (!pixels.isNull()) {
        // A touchpad that says how far it moved is followed exactly, in device pixels.
        const QPoint device = (QPointF(pixels) * devicePixelRatioF()).toPoint();
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - device.x());
        verticalScrollBar()->setValue(verticalScrollBar()->value() - device.y());
    } else {
        const QPoint angle = across(event->angleDelta());
        ScrollByWheel(*horizontalScrollBar(), angle.x(), m_wheelRemainder.rx());
        ScrollByWheel(*verticalScrollBar(), angle.y(), m_wheelRemainder.ry());
    }
}

void CViewWidget::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Dispatch(event, WM_LBUTTONDOWN, MouseFlags(*event),
                 MousePoint(*event, devicePixelRatioF()));
    else
        event->ignore();
}

void CViewWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        Dispatch(event, WM_LBUTTONUP, MouseFlags(*event), MousePoint(*event, devicePixelRatioF()));
    else
        event->ignore();
}

void CViewWidget::mouseMoveEvent(QMouseEvent* event) {
    Dispatch(event, WM_MOUSEMOVE, MouseFlags(*event), MousePoint(*event, devicePixelRatioF()));
}

// The pointer leaves for an open menu too; the highlighted item's prompt wins then.
bool CViewWidget::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave && QApplication::activePopupWidget() == nullptr)
        Dispatch(event, WM_MOUSELEAVE, 0, 0);
    return QAbstractScrollArea::viewportEvent(event);
}

void CViewWidget::dragEnterEvent(QDragEnterEvent* event) {
    if (!DraggedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CViewWidget::dragMoveEvent(QDragMoveEvent* event) {
    if (!DraggedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CViewWidget::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QString& file : DraggedFiles(event->mimeData())) {
        const std::string host = file.toStdString();
        if (const auto path = AfxSystemPath(host))
            paths.push_back(*path);
        else
            AfxMessageBox(AfxBackslashNameMessage(host).c_str(), MB_ICONERROR);
    }
    if (paths.empty())
        return;
    event->acceptProposedAction();
    Dispatch(event, WM_DROPFILES, reinterpret_cast<WPARAM>(&paths), 0);
}

void CViewWidget::Dispatch(QEvent* event, UINT message, WPARAM wParam, LPARAM lParam) {
    event->accept();
    CWndImpl::EventScope scope(m_view.Impl(), event);
    if (!m_view.OnWndMsg(message, wParam, lParam, nullptr))
        event->ignore();
}
