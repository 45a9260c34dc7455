// The modal file dialog. Paths go in and come out in the program's own form.
#pragma once

#include "afxtypes.h"
#include "object.h"

#include <string>

class CWnd;

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

struct OPENFILENAME {
    DWORD Flags = 0;
    // Pairs of zero-terminated description and pattern strings, ended by an empty string.
    const char* lpstrFilter = nullptr;
    const char* lpstrInitialDir = nullptr;
    const char* lpstrTitle = nullptr;
    const char* lpstrDefExt = nullptr;
};

class CFileDialog : public CObject {
public:
    CFileDialog(BOOL bOpenFileDialog, LPCSTR lpszDefExt = nullptr, LPCSTR lpszFileName = nullptr,
                DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR lpszFilter = nullptr,
                CWnd* pParentWnd = nullptr, DWORD dwSize = 0, BOOL bVistaStyle = TRUE);

    // IDOK when a file was chosen, IDCANCEL otherwise.
    int DoModal();
    // The chosen path in the program's form.
    std::string GetPathName() const { return m_strPathName; }

    OPENFILENAME m_ofn;

private:
    BOOL m_bOpenFileDialog;
    BOOL m_bVistaStyle;
    CWnd* m_pParentWnd;
    std::string m_strPathName;
    std::string m_strFilterStorage;
};
