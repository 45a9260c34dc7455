#include "mainfrm.h"

#include "resource.h"
#include "vexlanview.h"

IMPLEMENT_DYNCREATE(CMainFrame, CFrameWnd)

BEGIN_MESSAGE_MAP(CMainFrame, CFrameWnd)
ON_WM_CREATE()
ON_COMMAND(ID_VIEW_ZOOM_IN, &CMainFrame::OnViewZoomIn)
ON_COMMAND(ID_VIEW_ZOOM_OUT, &CMainFrame::OnViewZoomOut)
ON_COMMAND(ID_VIEW_ZOOM_ACTUAL, &CMainFrame::OnViewZoomActual)
ON_COMMAND(ID_VIEW_ZOOM_FIT, &CMainFrame::OnViewZoomFit)
ON_UPDATE_COMMAND_UI(ID_VIEW_ZOOM_IN, &CMainFrame::OnUpdateViewZoomIn)
ON_UPDATE_COMMAND_UI(ID_VIEW_ZOOM_OUT, &CMainFrame::OnUpdateViewZoomOut)
END_MESSAGE_MAP()

namespace {
const UINT indicators[] = {
    ID_SEPARATOR,
    ID_INDICATOR_CAPS,
    ID_INDICATOR_NUM,
    ID_INDICATOR_SCRL,
};

const std::vector<std::string> zoomMenu = {"查看(&V)", "缩放(&Z)"};
const std::vector<CMenuCommand> zoomCommands = {
    {ID_VIEW_ZOOM_IN, "放大(&I)\tCtrl+=", "放大显示图像", {"Ctrl+=", "Ctrl++"}},
    {ID_VIEW_ZOOM_OUT, "缩小(&O)\tCtrl+-", "缩小显示图像", {"Ctrl+-"}},
    {ID_VIEW_ZOOM_ACTUAL, "实际大小(&A)\tCtrl+0", "以一个屏幕像素显示一个图像像素", {"Ctrl+0"}},
    {ID_VIEW_ZOOM_FIT, "适合窗口(&W)", "在窗口中显示整个图像和结果", {}},
};

const std::vector<std::string> viewMenu = {"查看(&V)"};
const std::vector<CMenuCommand> histogramCommand = {
    {ID_VIEW_HISTOGRAM, "直方图(&H)", "显示或隐藏图像和结果的灰度直方图", {}},
};

// Above 退出, set off from it by a separator.
const std::vector<std::string> fileMenu = {"文件(&F)"};
const std::vector<CMenuCommand> resultCommands = {
    {ID_FILE_OPEN_RESULT,
     "打开结果(&L)...",
     "打开保存的结果文件 out<主名>.raw，显示在它的图像旁边",
     {}},
    {ID_FILE_EXPORT_PNG, "导出结果为 PNG(&G)...", "把显示的结果另存为 8 位灰度 PNG 文件", {}},
    {ID_FILE_SAVE_RESULT_AS,
     "结果另存为(&T)...",
     "以自选的名称保存显示的结果：RAW 文件，或以 .png 结尾的名称存为 PNG 文件",
     {}},
    {ID_SEPARATOR, {}, {}, {}},
};

// Below the steps, installed ones included.
const std::vector<std::string> colorMenu = {"颜色"};
const std::vector<CMenuCommand> chainCommands = {
    {ID_SEPARATOR, {}, {}, {}},
    {ID_COLOR_CONTINUE_ON_RESULT,
     "在结果上继续(&C)",
     "选中时，下一个步骤以显示的结果作为输入图像",
     {}},
};
} // namespace

CMainFrame::CMainFrame() = default;

CMainFrame::~CMainFrame() = default;

int CMainFrame::OnCreate(LPCREATESTRUCT lpCreateStruct) {
    if (CFrameWnd::OnCreate(lpCreateStruct) == -1)
        return -1;

    if (!m_wndToolBar.CreateEx(this, TBSTYLE_FLAT,
                               WS_CHILD | WS_VISIBLE | CBRS_TOP | CBRS_GRIPPER | CBRS_TOOLTIPS |
                                   CBRS_FLYBY | CBRS_SIZE_DYNAMIC,
                               CRect{0, 0, 0, 0}, AFX_IDW_TOOLBAR) ||
        !m_wndToolBar.LoadToolBar(IDR_MAINFRAME)) {
        TRACE("Failed to create toolbar\n");
        return -1;
    }

    if (!m_wndStatusBar.Create(this, WS_CHILD | WS_VISIBLE | CBRS_BOTTOM, AFX_IDW_STATUS_BAR) ||
        !m_wndStatusBar.SetIndicators(indicators, sizeof(indicators) / sizeof(UINT))) {
        TRACE("Failed to create status bar\n");
        return -1;
    }

    m_wndToolBar.EnableDocking(CBRS_ALIGN_ANY);
    EnableDocking(CBRS_ALIGN_ANY);
    DockControlBar(&m_wndToolBar);
    AppendMenuCommands(zoomMenu, zoomCommands);
    AppendMenuCommands(viewMenu, histogramCommand);
    AppendMenuCommands(fileMenu, resultCommands, ID_APP_EXIT);
    AppendMenuCommands(colorMenu, chainCommands);
    AddCommandKeys(ID_END_RUNNING_STEP, {"Esc"});
    if (auto* view = dynamic_cast<CVexlanView*>(GetActiveView()))
        view->WatchInstalledSteps();
    return 0;
}

void CMainFrame::OnUpdateFrameTitle(BOOL bAddToTitle) {
    CFrameWnd::OnUpdateFrameTitle(bAddToTitle);
    const auto* view = dynamic_cast<const CScrollView*>(GetActiveView());
    if (view && view->GetZoom() != CZoom())
        SetWindowText(GetWindowText() + " (" + view->GetZoom().Text() + ")");
}

CScrollView* CMainFrame::ZoomedView() const {
    return dynamic_cast<CScrollView*>(GetActiveView());
}

void CMainFrame::OnViewZoomIn() {
    if (CScrollView* view = ZoomedView())
        view->SetZoom(view->GetZoom().In());
}

void CMainFrame::OnViewZoomOut() {
    if (CScrollView* view = ZoomedView())
        view->SetZoom(view->GetZoom().Out());
}

void CMainFrame::OnViewZoomActual() {
    if (CScrollView* view = ZoomedView())
        view->SetZoom(CZoom());
}

void CMainFrame::OnViewZoomFit() {
    if (CScrollView* view = ZoomedView())
        view->ZoomToFit();
}

void CMainFrame::OnUpdateViewZoomIn(CCmdUI* pCmdUI) {
    const CScrollView* view = ZoomedView();
    pCmdUI->Enable(view && view->GetZoom().In() != view->GetZoom());
}

void CMainFrame::OnUpdateViewZoomOut(CCmdUI* pCmdUI) {
    const CScrollView* view = ZoomedView();
    pCmdUI->Enable(view && view->GetZoom().Out() != view->GetZoom());
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCT& cs) {
    return CFrameWnd::PreCreateWindow(cs) ? TRUE : FALSE;
}

void CMainFrame::AssertValid() const {
    CFrameWnd::AssertValid();
}

void CMainFrame::Dump(CDumpContext& dc) const {
    CFrameWnd::Dump(dc);
}
