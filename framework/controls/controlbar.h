// A bar along an edge of a frame (tool bar, status bar), shown, hidden and docked by the
// frame, and found by its control id.
#pragma once

#include "wnd.h"

class CControlBar : public CWnd {
    DECLARE_DYNAMIC(CControlBar)
public:
    ~CControlBar() override;

    // Sides the bar may dock on (CBRS_ALIGN_ flags).
    void EnableDocking(DWORD dwDockStyle);
    DWORD GetBarStyle() const { return m_dwStyle; }
    DWORD GetDockingStyle() const { return m_dwDockStyle; }
    CFrameWnd* GetOwnerFrame() const { return m_pFrame; }

    // Brings the bar's state up to date while the program is idle.
    virtual void OnUpdateCmdUI(CFrameWnd* pTarget);

protected:
    CControlBar() = default;
    // Registers the bar with its frame under nID.
    void AttachToFrame(CFrameWnd* pFrame, DWORD dwStyle, UINT nID);
    virtual void ApplyDocking() {}

private:
    CFrameWnd* m_pFrame = nullptr;
    DWORD m_dwStyle = 0;
    DWORD m_dwDockStyle = 0;
};
