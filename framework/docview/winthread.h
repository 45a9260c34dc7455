// A thread of the user interface: its main window and its start, run and exit steps.
#pragma once

#include "cmdtarget.h"

class CWnd;

class CWinThread : public CCmdTarget {
    DECLARE_DYNAMIC(CWinThread)
public:
    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();
    // Called whenever the user-interface thread is about to wait for the next event, outside
    // modal dialogs, with lCount 0. Work done here must be short.
    virtual BOOL OnIdle(LONG lCount);

    CWnd* m_pMainWnd = nullptr;
};
