// A window: a command target with a message table, over a toolkit widget.
#pragma once

#include "cmdtarget.h"

#include <memory>
#include <string>

class CFrameWnd;
struct CWndImpl;

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)
    DECLARE_MESSAGE_MAP()
public:
    CWnd();
    ~CWnd() override;

    virtual BOOL PreCreateWindow(CREATESTRUCT& cs);

    BOOL ShowWindow(int nCmdShow);
    void UpdateWindow();
    void Invalidate(BOOL bErase = TRUE);
    // Whether a repaint Invalidate asked for is still to reach the screen: the window is shown
    // and it has not been painted since.
    bool IsPaintPending() const;
    BOOL IsWindowVisible() const;
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    UINT GetDlgCtrlID() const;
    CFrameWnd* GetParentFrame() const;
    // Whether files dragged from a file manager may be dropped here: a view then gets them as
    // WM_DROPFILES, in the program's path form.
    void DragAcceptFiles(BOOL bAccept = TRUE);

    // Delivers a window message through this window's table. Returns whether a row took it;
    // the row's result goes to pResult.
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

    // Default handlers: the toolkit's own processing of the message being handled.
    void OnKeyDown(UINT nChar, UINT nRepCnt, UINT nFlags);
    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnLButtonUp(UINT nFlags, CPoint point);

    CWndImpl& Impl() const { return *m_pImpl; }

protected:
    // Lets the event being handled go on to the toolkit's default processing.
    void Default();

    // Sends WM_CREATE through the table; false when a row answered -1.
    bool SendCreate(CREATESTRUCT& cs);

private:
    std::unique_ptr<CWndImpl> m_pImpl;
};
