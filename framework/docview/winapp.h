// The application object. A program defines one global instance (theApp); the layer's main
// creates the toolkit application, calls InitInstance, runs the message loop and the exit
// processing. Constructors of global objects must not touch the toolkit.
#pragma once

#include "commandlineinfo.h"
#include "recentfilelist.h"
#include "winthread.h"

#include <memory>
#include <string>
#include <vector>

class CDocTemplate;
class CDocument;

class CWinApp : public CWinThread {
    DECLARE_DYNAMIC(CWinApp)
    DECLARE_MESSAGE_MAP()
public:
    explicit CWinApp(const char* lpszAppName = nullptr);
    ~CWinApp() override;

    // Settings go under key\application name from here on.
    void SetRegistryKey(const char* lpszRegistryKey);
    void LoadStdProfileSettings(UINT nMaxMRU = 4);
    BOOL Enable3dControls();

    // The application takes ownership of the template.
    void AddDocTemplate(CDocTemplate* pTemplate);
    const std::vector<std::unique_ptr<CDocTemplate>>& GetDocTemplates() const {
        return m_templates;
    }
    virtual CDocument* OpenDocumentFile(const char* lpszFileName);
    void AddToRecentFileList(const char* lpszPathName);
    const CRecentFileList* GetRecentFileList() const { return m_pRecentFileList.get(); }

    void ParseCommandLine(CCommandLineInfo& rCmdInfo);
    BOOL ProcessShellCommand(CCommandLineInfo& rCmdInfo);

    void OnFileNew();
    void OnFileOpen();
    // Page and printer choices for every later print and preview.
    void OnFilePrintSetup();
    void OnAppExit();
    // The recent-file list stands in for its placeholder item; each entry reopens its file.
    void OnUpdateRecentFileMenu(CCmdUI* pCmdUI);
    void OnOpenRecentFile(UINT nID);

    std::string GetProfileString(const char* section, const char* entry,
                                 const char* lpszDefault) const;
    BOOL WriteProfileString(const char* section, const char* entry, const char* lpszValue);
    UINT GetProfileInt(const char* section, const char* entry, int nDefault) const;
    BOOL WriteProfileInt(const char* section, const char* entry, int nValue);
    // The settings file on disk.
    std::string GetProfileFileName() const;

    int ExitInstance() override;

    // Start-up steps of the layer's main, open to tests: the arguments and the name.
    void InitApplication(int argc, char** argv);

    std::string m_pszAppName;
    std::string m_pszRegistryKey;
    std::string m_pszProfileName;
    std::vector<std::string> m_args;
    int m_nNumPreviewPages = 0;
    // The status the program ends with when InitInstance ends it at once: 1, or 0 once a
    // print-and-exit command has printed its page.
    int m_nStartExitCode = 1;

private:
    // The print-and-exit commands: the file opened out of sight and its view printed without a
    // dialog. Whatever went wrong has been said in a message box when it returns false.
    bool PrintDocumentFile(const CCommandLineInfo& info);

    CWinApp* m_pPreviousApp;
    std::vector<std::unique_ptr<CDocTemplate>> m_templates;
    std::unique_ptr<CRecentFileList> m_pRecentFileList;
};

CWinApp* AfxGetApp();
void AfxEnableControlContainer(void* pManager = nullptr);

// The layer's main: the toolkit application, InitInstance, the loop, the exit processing.
int AfxWinMain(int argc, char** argv);
