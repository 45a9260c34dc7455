#include "commandlineinfo.h"

#include <cstring>

void CCommandLineInfo::ParseParam(const char* pszParam, BOOL bFlag, BOOL) {
    if (bFlag) {
        if (std::strcmp(pszParam, "p") == 0)
            m_nShellCommand = FilePrint;
        else if (std::strcmp(pszParam, "pt") == 0)
            m_nShellCommand = FilePrintTo;
        return;
    }
    if (ExpectsPrinterName()) {
        m_strPrinterName = pszParam;
        return;
    }
    if (m_strFileName.empty()) {
        m_strFileName = pszParam;
        if (m_nShellCommand == FileNew)
            m_nShellCommand = FileOpen;
    }
}

bool CCommandLineInfo::ExpectsPrinterName() const {
    return m_nShellCommand == FilePrintTo && m_strPrinterName.empty() && m_strFileName.empty();
}
