// The application object of Vexlan.
#pragma once

#include "afxwin.h"
#include "resource.h"

class CVexlanApp : public CWinApp {
public:
    CVexlanApp();

    BOOL InitInstance() override;
    BOOL OnIdle(LONG lCount) override;

    void OnAppAbout();

    DECLARE_MESSAGE_MAP()
};

extern CVexlanApp theApp;

// The About box: the template's texts and icon, nothing added.
class CAboutDlg : public CDialog {
public:
    CAboutDlg();

    enum { IDD = IDD_ABOUTBOX };

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()
};
