// The toolkit side of a view: a scroll area whose viewport is the view's client area. It
// paints through the view's OnDraw, turns key and mouse events into the view's messages,
// scrolls over the extent that a scroll view gives it and zooms a scroll view by Ctrl+wheel.
// Private to the class layer.
#pragma once

#include "afxtypes.h"

#include <QAbstractScrollArea>
#include <QImage>

class CView;

class CViewWidget : public QAbstractScrollArea {
public:
    CViewWidget(CView& view, QWidget* parent);

    // The size of what the view paints, in device pixels. A scroll bar appears while the
    // extent is larger than the client area; the position is kept, clamped to the new range.
    void SetExtent(QSize extent);
    // The device pixel of the extent shown at the client area's top-left corner.
    QPoint ScrollPosition() const;
    void ScrollTo(QPoint position);
    // The client area in device pixels: as it is, and without scroll bars.
    QSize ClientSize() const;
    QSize LargestClientSize() const;
    // Tells the view where the pointer is again, when it is over the client area: what lies
    // under it changes when the view scrolls, zooms or paints something else.
    void RefreshPointer();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QSize DeviceSize(QSize size) const;
    void UpdateScrollBars();
    // The default processing of a key the view left alone: arrows, Home and End scroll.
    bool ScrollByKey(int key);
    // Ctrl+wheel zooms a scroll view in or out by a step a notch, about the pointer.
    bool ZoomByWheel(const QWheelEvent& event);
    void Dispatch(QEvent* event, UINT message, WPARAM wParam, LPARAM lParam);

    CView& m_view;
    // As large as the client area in device pixels; kept from one paint to the next.
    QImage m_surface;
    QSize m_extent;
    // The wheel's turn not yet scrolled, in 120ths of a notch times lines per notch.
    QPoint m_wheelRemainder;
    // The same for zooming, in 120ths of a notch.
    int m_zoomRemainder = 0;
};
