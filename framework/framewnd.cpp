#include "framewnd.h"

#include "document.h"
#include "resourcefile.h"
#include "winapp.h"
#include "wndimpl.h"

#include <QMainWindow>

namespace {
constexpr int defaultFrameWidth = 800;
constexpr int defaultFrameHeight = 600;

std::string FirstField(const std::string& docString) {
    return docString.substr(0, docString.find('\n'));
}
} // namespace

IMPLEMENT_DYNAMIC(CFrameWnd, CWnd)

BEGIN_MESSAGE_MAP(CFrameWnd, CWnd)
ON_WM_CREATE()
END_MESSAGE_MAP()

CFrameWnd::~CFrameWnd() {
    // The view's widget is a child of the frame's: it goes first.
    m_pView.reset();
}

BOOL CFrameWnd::LoadFrame(UINT nIDResource, CCreateContext* pContext) {
    m_strTitle = FirstField(AfxLoadString(nIDResource));
    CREATESTRUCT cs;
    cs.lpCreateParams = pContext;
    cs.lpszName = m_strTitle.c_str();
    cs.style = 0x00CF0000; // WS_OVERLAPPEDWINDOW
    if (!PreCreateWindow(cs))
        return FALSE;
    auto* window = new QMainWindow;
    AfxAttachWidget(this, window);
    window->resize(cs.cx > 0 ? cs.cx : defaultFrameWidth, cs.cy > 0 ? cs.cy : defaultFrameHeight);
    SetWindowText(m_strTitle);
    if (!SendCreate(cs)) {
        m_pView.reset();
        delete window;
        return FALSE;
    }
    return TRUE;
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCT& cs) {
    return CWnd::PreCreateWindow(cs);
}

int CFrameWnd::OnCreate(LPCREATESTRUCT lpCreateStruct) {
    auto* context = static_cast<CCreateContext*>(lpCreateStruct->lpCreateParams);
    return context && context->m_pNewViewClass && !CreateView(context) ? -1 : 0;
}

BOOL CFrameWnd::CreateView(CCreateContext* pContext) {
    CObject* object = pContext->m_pNewViewClass->CreateObject();
    auto* view = dynamic_cast<CView*>(object);
    if (view == nullptr) {
        delete object;
        return FALSE;
    }
    m_pView.reset(view);
    if (!view->Create(this, AFX_IDW_PANE_FIRST, pContext))
        return FALSE;
    static_cast<QMainWindow*>(AfxGetWidget(this))->setCentralWidget(AfxGetWidget(view));
    return TRUE;
}

CDocument* CFrameWnd::GetActiveDocument() const {
    return m_pView ? m_pView->GetDocument() : nullptr;
}

void CFrameWnd::InitialUpdateFrame(CDocument*, BOOL bMakeVisible) {
    if (m_pView) {
        m_pView->OnInitialUpdate();
        if (QWidget* widget = AfxGetWidget(m_pView.get()))
            widget->setFocus();
    }
    OnUpdateFrameTitle(TRUE);
    if (bMakeVisible)
        ShowWindow(SW_SHOW);
}

void CFrameWnd::OnUpdateFrameTitle(BOOL bAddToTitle) {
    const CDocument* document = GetActiveDocument();
    if (bAddToTitle && document)
        SetWindowText(document->GetTitle() + " - " + m_strTitle);
    else
        SetWindowText(m_strTitle);
}

BOOL CFrameWnd::SendCommand(UINT nID) {
    return OnCmdMsg(nID, CN_COMMAND, nullptr);
}

BOOL CFrameWnd::OnCmdMsg(UINT nID, UINT nCode, void* pExtra) {
    if (m_pView && m_pView->OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    if (CWnd::OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    CWinApp* app = AfxGetApp();
    return app != nullptr && app->OnCmdMsg(nID, nCode, pExtra);
}

bool CFrameWnd::HasCommandRow(UINT nID) const {
    const CWinApp* app = AfxGetApp();
    return (m_pView && m_pView->HasCommandRow(nID)) || HasOwnCommandRow(nID) ||
           (app && app->HasCommandRow(nID));
}
