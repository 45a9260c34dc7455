#include "vexlan.h"

#include "mainfrm.h"
#include "resource.h"
#include "vexlandoc.h"
#include "vexlanview.h"

BEGIN_MESSAGE_MAP(CVexlanApp, CWinApp)
ON_COMMAND(ID_APP_ABOUT, &CVexlanApp::OnAppAbout)
ON_COMMAND(ID_FILE_NEW, &CWinApp::OnFileNew)
ON_COMMAND(ID_FILE_OPEN, &CWinApp::OnFileOpen)
ON_COMMAND(ID_FILE_PRINT_SETUP, &CWinApp::OnFilePrintSetup)
END_MESSAGE_MAP()

CVexlanApp::CVexlanApp() = default;

CVexlanApp theApp;

BOOL CVexlanApp::InitInstance() {
    AfxEnableControlContainer(nullptr);
    Enable3dControls();
    SetRegistryKey("Local AppWizard-Generated Applications");
    LoadStdProfileSettings(4);

    auto* pDocTemplate =
        DEBUG_NEW CSingleDocTemplate(IDR_MAINFRAME, RUNTIME_CLASS(CVexlanDoc),
                                     RUNTIME_CLASS(CMainFrame), RUNTIME_CLASS(CVexlanView));
    AddDocTemplate(pDocTemplate);

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (!ProcessShellCommand(cmdInfo))
        return FALSE;

    m_pMainWnd->ShowWindow(SW_SHOW);
    m_pMainWnd->UpdateWindow();
    return TRUE;
}

// Idle time reads the next image of a list ahead, and starts the process of the next step.
BOOL CVexlanApp::OnIdle(LONG lCount) {
    if (auto* frame = dynamic_cast<CFrameWnd*>(m_pMainWnd))
        if (auto* view = dynamic_cast<CVexlanView*>(frame->GetActiveView())) {
            view->ReadAheadWhileIdle();
            view->PrepareStepHostWhileIdle();
        }
    return CWinApp::OnIdle(lCount);
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}

void CAboutDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

void CVexlanApp::OnAppAbout() {
    CAboutDlg aboutDlg;
    aboutDlg.DoModal();
}
