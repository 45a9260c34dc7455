// The outcome of parsing the command line: which shell command to carry out, on which file.
#pragma once

#include "afxtypes.h"

#include <string>

class CCommandLineInfo {
public:
    enum { FileNew, FileOpen, FilePrint, FilePrintTo, FileNothing = -1 } m_nShellCommand = FileNew;
    std::string m_strFileName;

    CCommandLineInfo() = default;
    virtual ~CCommandLineInfo() = default;
    CCommandLineInfo(const CCommandLineInfo&) = delete;
    CCommandLineInfo& operator=(const CCommandLineInfo&) = delete;

    // One argument: a switch (bFlag, the text after its '-') or a file name in the program's
    // form.
    virtual void ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast);
};
