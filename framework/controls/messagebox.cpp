#include "messagebox.h"

#include "winapp.h"
#include "wndimpl.h"

#include <QMessageBox>

namespace {
CMessageBoxHandler& Handler() {
    static CMessageBoxHandler handler;
    return handler;
}

QMessageBox::Icon IconOf(UINT nType) {
    switch (nType & 0xF0) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

void AfxSetMessageBoxHandler(CMessageBoxHandler handler) {
    Handler() = std::move(handler);
}

int AfxMessageBox(const char* lpszText, UINT nType, UINT) {
    const std::string text = lpszText ? lpszText : "";
    if (Handler())
        return Handler()(text, nType);
    const CWinApp* app = AfxGetApp();
    QMessageBox box(IconOf(nType), QString::fromStdString(app ? app->m_pszAppName : ""),
                    QString::fromStdString(text), QMessageBox::Ok,
                    app ? AfxGetWidget(app->m_pMainWnd) : nullptr);
    box.exec();
    return IDOK;
}
