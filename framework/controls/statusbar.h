// A status bar of panes: the first shows prompts and the idle text, the others the texts of
// their indicator strings while the matching lock key is on.
#pragma once

#include "controlbar.h"

#include <chrono>
#include <string>
#include <vector>

class CStatusBar : public CControlBar {
    DECLARE_DYNAMIC(CStatusBar)
public:
    CStatusBar();
    ~CStatusBar() override;

    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                UINT nID = AFX_IDW_STATUS_BAR);
    // One pane per id; every id but ID_SEPARATOR needs its string. False when one is missing.
    BOOL SetIndicators(const UINT* lpIDArray, int nIDCount);

    int GetCount() const { return static_cast<int>(m_indicators.size()); }
    std::string GetPaneText(int nIndex) const;
    BOOL SetPaneText(int nIndex, const char* lpszNewText);

    void OnUpdateCmdUI(CFrameWnd* pTarget) override;

private:
    std::vector<UINT> m_indicators;
    // The lock keys are asked of the X server at most a few times a second.
    std::chrono::steady_clock::time_point m_nextLockCheck{};
};
