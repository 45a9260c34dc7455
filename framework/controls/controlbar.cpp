#include "controlbar.h"

#include "framewnd.h"
#include "wndimpl.h"

IMPLEMENT_DYNAMIC(CControlBar, CWnd)

CControlBar::~CControlBar() {
    if (m_pFrame)
        m_pFrame->RemoveControlBar(this);
}

void CControlBar::EnableDocking(DWORD dwDockStyle) {
    m_dwDockStyle = dwDockStyle;
    ApplyDocking();
}

void CControlBar::OnUpdateCmdUI(CFrameWnd*) {}

void CControlBar::AttachToFrame(CFrameWnd* pFrame, DWORD dwStyle, UINT nID) {
    m_pFrame = pFrame;
    m_dwStyle = dwStyle;
    Impl().controlId = nID;
    pFrame->AddControlBar(this);
}
