// A tool bar: a row of buttons from a tool-bar resource and its bitmap, each sending a
// command through the frame, enabled by the frame's command-update rule.
#pragma once

#include "controlbar.h"

#include <vector>

class CToolBar : public CControlBar {
    DECLARE_DYNAMIC(CToolBar)
public:
    CToolBar();
    ~CToolBar() override;

    BOOL CreateEx(CWnd* pParentWnd, DWORD dwCtrlStyle = TBSTYLE_FLAT,
                  DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_ALIGN_TOP, CRect rcBorders = CRect{},
                  UINT nID = AFX_IDW_TOOLBAR);
    // Takes the buttons from tool-bar resource nIDResource and their images from bitmap
    // nIDResource; false when either is missing or malformed.
    BOOL LoadToolBar(UINT nIDResource);

    // The buttons' command ids, 0 for a separator.
    const std::vector<UINT>& GetButtonIds() const { return m_buttonIds; }

    void OnUpdateCmdUI(CFrameWnd* pTarget) override;

protected:
    void ApplyDocking() override;

private:
    std::vector<UINT> m_buttonIds;
};
