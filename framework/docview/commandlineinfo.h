// The outcome of parsing the command line: which shell command to carry out, on which file.
#pragma once

#include "afxtypes.h"

#include <string>

class CCommandLineInfo {
public:
    enum { FileNew, FileOpen, FilePrint, FilePrintTo, FileNothing = -1 } m_nShellCommand = FileNew;
    std::string m_strFileName;
    // The printer that -pt names; empty for the default printer.
    std::string m_strPrinterName;

    CCommandLineInfo() = default;
    virtual ~CCommandLineInfo() = default;
    CCommandLineInfo(const CCommandLineInfo&) = delete;
    CCommandLineInfo& operator=(const CCommandLineInfo&) = delete;

    // One argument: a switch (bFlag, the text after its '-'), the printer's name that follows
    // -pt, or a file name in the program's form. -p FILE prints the file on the default printer
    // and ends; -pt PRINTER FILE prints it on the named printer and ends.
    virtual void ParseParam(const char* pszParam, BOOL bFlag, BOOL bLast);
    // Whether the next plain argument is a printer's name rather than a file's.
    bool ExpectsPrinterName() const;
};
