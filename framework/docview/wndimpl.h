// The toolkit side of a window; private to the class layer.
#pragma once

#include "wnd.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>

struct CWndImpl {
    QPointer<QWidget> widget;
    QEvent* currentEvent = nullptr; // the event whose message is being handled
    UINT controlId = 0;
    bool paintPending = false; // Invalidate asked for a repaint that has not been painted

    // Sets the event that Default() lets go on, for the length of one dispatch.
    class EventScope {
    public:
        EventScope(CWndImpl& impl, QEvent* event) : m_impl(impl), m_saved(impl.currentEvent) {
            impl.currentEvent = event;
        }
        ~EventScope() { m_impl.currentEvent = m_saved; }
        EventScope(const EventScope&) = delete;
        EventScope& operator=(const EventScope&) = delete;

    private:
        CWndImpl& m_impl;
        QEvent* m_saved;
    };
};

// The widget behind a window, for the layer and for tests; null before creation.
inline QWidget* AfxGetWidget(const CWnd* wnd) {
    return wnd ? wnd->Impl().widget.data() : nullptr;
}

// Makes widget the window's own and lets the window be found from it.
void AfxAttachWidget(CWnd* wnd, QWidget* widget);
CWnd* AfxWndFromWidget(const QWidget* widget);
