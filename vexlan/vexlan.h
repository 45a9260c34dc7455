// The application object of Vexlan.
#pragma once

#include "afxwin.h"

class CVexlanApp : public CWinApp {
public:
    CVexlanApp();

    BOOL InitInstance() override;

    void OnAppAbout();

    DECLARE_MESSAGE_MAP()
};

extern CVexlanApp theApp;
