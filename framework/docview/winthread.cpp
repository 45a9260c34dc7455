#include "winthread.h"

#include <QApplication>

IMPLEMENT_DYNAMIC(CWinThread, CCmdTarget)

BOOL CWinThread::InitInstance() {
    return FALSE;
}

int CWinThread::Run() {
    const int status = QApplication::exec();
    const int exitCode = ExitInstance();
    return status != 0 ? status : exitCode;
}

int CWinThread::ExitInstance() {
    return 0;
}

BOOL CWinThread::OnIdle(LONG) {
    return FALSE;
}
