// The main frame window: a dockable tool bar at the top, a status bar with four panes, and
// the zoom commands under the View menu.
#pragma once

#include "afxwin.h"

class CMainFrame : public CFrameWnd {
protected:
    CMainFrame();
    DECLARE_DYNCREATE(CMainFrame)

public:
    ~CMainFrame() override;

    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

    int OnCreate(LPCREATESTRUCT lpCreateStruct);
    // The caption also shows the view's zoom while it is not 1.
    void OnUpdateFrameTitle(BOOL bAddToTitle) override;

    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;

    DECLARE_MESSAGE_MAP()
};
