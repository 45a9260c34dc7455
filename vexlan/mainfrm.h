// The main frame window: a dockable tool bar at the top, a status bar with four panes, the
// zoom commands under the View menu, and the items the program adds to its menus at run time.
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
    // View > Zoom on the active view: in and out by powers of two about the window's middle,
    // 1, the whole canvas. 放大 and 缩小 are grayed at the ends of the zoom range, where they
    // would do nothing.
    void OnViewZoomIn();
    void OnViewZoomOut();
    void OnViewZoomActual();
    void OnViewZoomFit();
    void OnUpdateViewZoomIn(CCmdUI* pCmdUI);
    void OnUpdateViewZoomOut(CCmdUI* pCmdUI);

    CStatusBar m_wndStatusBar;
    CToolBar m_wndToolBar;

private:
    CScrollView* ZoomedView() const;

    DECLARE_MESSAGE_MAP()
};
