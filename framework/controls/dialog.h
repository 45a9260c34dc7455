// A modal dialog built from a DIALOG template of the program's resources.
#pragma once

#include "wnd.h"

#include <cstdint>

using INT_PTR = std::intptr_t;

class CDialog;

// Where DoDataExchange moves data: from the controls into members when saving and
// validating, into the controls otherwise.
class CDataExchange {
public:
    CDataExchange(CDialog* pDlgWnd, BOOL bSaveAndValidate)
        : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

    BOOL m_bSaveAndValidate;
    CDialog* m_pDlgWnd;
};

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)
    DECLARE_MESSAGE_MAP()
public:
    // Without a parent the dialog belongs to the application's main window.
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);

    // Runs the dialog until EndDialog; returns its result (IDOK or IDCANCEL from the
    // standard buttons), or -1 when the template is missing, malformed or holds a control
    // this layer cannot build.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);

    // Moves data between the controls and the members through DoDataExchange.
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Called before the dialog shows: fills the controls from the members.
    virtual BOOL OnInitDialog();
    // The OK button and the Enter key on it: takes the controls' data, ends with IDOK.
    virtual void OnOK();
    // Esc, the close box and a Cancel button: ends with IDCANCEL.
    virtual void OnCancel();

protected:
    virtual void DoDataExchange(CDataExchange* pDX);

private:
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    int m_nModalResult = -1;
};
