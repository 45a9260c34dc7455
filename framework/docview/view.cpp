#include "view.h"

#include "document.h"
#include "printing.h"
#include "viewwidget.h"
#include "wndimpl.h"

namespace {

constexpr COLORREF viewBackground = RGB(255, 255, 255);

} // namespace

IMPLEMENT_DYNAMIC(CView, CWnd)

BEGIN_MESSAGE_MAP(CView, CWnd)
ON_COMMAND_RANGE(ID_NEXT_PANE, ID_PREV_PANE, &CView::OnNextPaneCmd)
END_MESSAGE_MAP()

CView::~CView() {
    if (m_pDocument)
        m_pDocument->RemoveView(this);
}

BOOL CView::Create(CWnd* parent, UINT nID, CCreateContext* pContext) {
    CREATESTRUCT cs;
    cs.style = 0x50000000; // WS_CHILD | WS_VISIBLE
    cs.hMenu = nID;
    cs.lpCreateParams = pContext;
    if (!PreCreateWindow(cs))
        return FALSE;
    AfxAttachWidget(this, new CViewWidget(*this, AfxGetWidget(parent)));
    Impl().controlId = nID;
    if (pContext && pContext->m_pCurrentDoc)
        pContext->m_pCurrentDoc->AddView(this);
    return SendCreate(cs);
}

// A view without split panes has no other pane to go to.
void CView::OnNextPaneCmd(UINT) {}

void CView::OnInitialUpdate() {
    Invalidate(TRUE);
}

BOOL CView::OnPreparePrinting(CPrintInfo* pInfo) {
    return DoPreparePrinting(pInfo);
}

void CView::OnBeginPrinting(CDC*, CPrintInfo*) {}

void CView::OnEndPrinting(CDC*, CPrintInfo*) {}

// A preview or a direct print goes to the application's printer as it is set up.
BOOL CView::DoPreparePrinting(CPrintInfo* pInfo) {
    if (pInfo->m_bPreview || pInfo->m_bDirect)
        return TRUE;
    return AfxRunPrintDialog(*this) ? TRUE : FALSE;
}

void CView::OnFilePrint() {
    CPrintInfo info;
    // Direct print goes to the printer as it is set up, without the print dialog.
    if (GetCurrentCommandId() == ID_FILE_PRINT_DIRECT)
        info.m_bDirect = TRUE;
    if (OnPreparePrinting(&info))
        AfxPrintViewAndReport(*this, info, AfxGetPrinter());
}

void CView::OnFilePrintPreview() {
    CPrintInfo info;
    info.m_bPreview = TRUE;
    if (OnPreparePrinting(&info))
        AfxRunPrintPreview(*this, info);
}

BOOL CView::OnCmdMsg(UINT nID, UINT nCode, void* pExtra) {
    if (CWnd::OnCmdMsg(nID, nCode, pExtra))
        return TRUE;
    return m_pDocument != nullptr && m_pDocument->OnCmdMsg(nID, nCode, pExtra);
}

bool CView::HasCommandRow(UINT nID) const {
    return HasOwnCommandRow(nID) || (m_pDocument && m_pDocument->HasCommandRow(nID));
}

BOOL CView::PreCreateWindow(CREATESTRUCT& cs) {
    return CWnd::PreCreateWindow(cs);
}

void CView::AssertValid() const {
    CWnd::AssertValid();
}

void CView::Dump(CDumpContext& dc) const {
    CWnd::Dump(dc);
    dc << "m_pDocument = " << static_cast<const void*>(m_pDocument) << "\n";
}

void CView::OnPrepareDC(CDC*, CPrintInfo*) {}

void CView::PaintSurface(CDC& dc, CPrintInfo* pInfo) {
    CRect clip;
    dc.GetClipBox(&clip);
    dc.FillSolidRect(clip, viewBackground);
    OnPrepareDC(&dc, pInfo);
    OnDraw(&dc);
}
