#include "statusbar.h"

#include "framewnd.h"
#include "resourcefile.h"
#include "wndimpl.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QStatusBar>

#ifdef VEXLAN_HAVE_X11
#include <X11/XKBlib.h>
#endif

namespace {

QStatusBar* StatusBarWidget(const CStatusBar* bar) {
    return static_cast<QStatusBar*>(AfxGetWidget(bar));
}

QLabel* PaneLabel(const CStatusBar* bar, int index) {
    QStatusBar* widget = StatusBarWidget(bar);
    return widget ? widget->findChild<QLabel*>(QString("pane%1").arg(index)) : nullptr;
}

// Whether the lock key of an indicator pane is on, read from the X server where there is one.
bool LockIsOn(UINT id) {
#ifdef VEXLAN_HAVE_X11
    const char* name = id == ID_INDICATOR_CAPS   ? "Caps Lock"
                       : id == ID_INDICATOR_NUM  ? "Num Lock"
                       : id == ID_INDICATOR_SCRL ? "Scroll Lock"
                                                 : nullptr;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (name == nullptr || x11 == nullptr || x11->display() == nullptr)
        return false;
    Display* display = x11->display();
    Bool on = False;
    const Atom indicator = XInternAtom(display, name, True); // answered from Xlib's cache
    return indicator != None &&
           XkbGetNamedIndicator(display, indicator, nullptr, &on, nullptr, nullptr) && on;
#else
    (void)id;
    return false;
#endif
}

} // namespace

IMPLEMENT_DYNAMIC(CStatusBar, CControlBar)

CStatusBar::CStatusBar() = default;

CStatusBar::~CStatusBar() = default;

BOOL CStatusBar::Create(CWnd* pParentWnd, DWORD dwStyle, UINT nID) {
    auto* frame = dynamic_cast<CFrameWnd*>(pParentWnd);
    auto* window = qobject_cast<QMainWindow*>(AfxGetWidget(pParentWnd));
    if (frame == nullptr || window == nullptr)
        return FALSE;
    auto* bar = new QStatusBar(window);
    bar->setSizeGripEnabled(true);
    AfxAttachWidget(this, bar);
    window->setStatusBar(bar);
    bar->setVisible((dwStyle & WS_VISIBLE) != 0);
    AttachToFrame(frame, dwStyle, nID);
    return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* lpIDArray, int nIDCount) {
    QStatusBar* bar = StatusBarWidget(this);
    if (bar == nullptr || lpIDArray == nullptr || nIDCount < 0)
        return FALSE;
    for (int i = 0; i < nIDCount; ++i)
        if (lpIDArray[i] != ID_SEPARATOR &&
            AfxGetResources().LoadString(lpIDArray[i]) == std::nullopt)
            return FALSE;
    m_indicators.assign(lpIDArray, lpIDArray + nIDCount);
    for (int i = 0; i < nIDCount; ++i) {
        auto* label = new QLabel(bar);
        label->setObjectName(QString("pane%1").arg(i));
        if (lpIDArray[i] == ID_SEPARATOR) {
            bar->addWidget(label, 1);
        } else {
            // Sized for the indicator's text so that the pane does not jump when it shows.
            label->setMinimumWidth(label->fontMetrics().horizontalAdvance(
                                       QString::fromStdString(AfxLoadString(lpIDArray[i]))) +
                                   8);
            bar->addPermanentWidget(label);
        }
    }
    return TRUE;
}

std::string CStatusBar::GetPaneText(int nIndex) const {
    const QLabel* label = PaneLabel(this, nIndex);
    return label ? label->text().toStdString() : std::string();
}

BOOL CStatusBar::SetPaneText(int nIndex, const char* lpszNewText) {
    QLabel* label = PaneLabel(this, nIndex);
    if (label == nullptr)
        return FALSE;
    label->setText(QString::fromUtf8(lpszNewText ? lpszNewText : ""));
    return TRUE;
}

void CStatusBar::OnUpdateCmdUI(CFrameWnd*) {
    const auto now = std::chrono::steady_clock::now();
    if (now < m_nextLockCheck)
        return;
    m_nextLockCheck = now + std::chrono::milliseconds(250);
    for (int i = 0; i < GetCount(); ++i) {
        const UINT id = m_indicators[static_cast<std::size_t>(i)];
        if (id != ID_SEPARATOR)
            SetPaneText(i, LockIsOn(id) ? AfxLoadString(id).c_str() : "");
    }
}
