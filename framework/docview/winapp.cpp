#include "winapp.h"

#include "debugalloc.h"
#include "doctemplate.h"
#include "filedialog.h"
#include "framewnd.h"
#include "messagebox.h"
#include "pathmap.h"
#include "printing.h"
#include "resourcefile.h"
#include "toolkittranslations.h"
#include "wndimpl.h"

#include <QApplication>
#include <QSettings>

#include <cstdio>

namespace {

CWinApp*& TheApp() {
    static CWinApp* app = nullptr;
    return app;
}

constexpr char settingsSection[] = "Settings";
constexpr char recentFileSection[] = "Recent File List";

} // namespace

IMPLEMENT_DYNAMIC(CWinApp, CWinThread)

BEGIN_MESSAGE_MAP(CWinApp, CWinThread)
ON_UPDATE_COMMAND_UI(ID_FILE_MRU_FILE1, &CWinApp::OnUpdateRecentFileMenu)
ON_COMMAND_RANGE(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE16, &CWinApp::OnOpenRecentFile)
ON_COMMAND(ID_APP_EXIT, &CWinApp::OnAppExit)
END_MESSAGE_MAP()

CWinApp::CWinApp(const char* lpszAppName)
    : m_pszAppName(lpszAppName ? lpszAppName : ""), m_pPreviousApp(TheApp()) {
    TheApp() = this;
}

// An application object made for a while (a test's) hands the place back when it goes.
CWinApp::~CWinApp() {
    if (TheApp() == this)
        TheApp() = m_pPreviousApp;
}

CWinApp* AfxGetApp() {
    return TheApp();
}

void AfxEnableControlContainer(void*) {}

BOOL CWinApp::Enable3dControls() {
    return TRUE;
}

void CWinApp::InitApplication(int argc, char** argv) {
    m_args.assign(argv, argv + argc);
    if (m_pszAppName.empty())
        m_pszAppName = AfxLoadString(AFX_IDS_APP_TITLE);
    m_pszProfileName = m_pszAppName;
    QApplication::setApplicationName(QString::fromStdString(m_pszAppName));
}

void CWinApp::SetRegistryKey(const char* lpszRegistryKey) {
    m_pszRegistryKey = lpszRegistryKey ? lpszRegistryKey : "";
    m_pszProfileName = m_pszAppName;
}

namespace {
QSettings SettingsOf(const CWinApp& app) {
    return QSettings(QSettings::IniFormat, QSettings::UserScope,
                     QString::fromStdString(app.m_pszRegistryKey),
                     QString::fromStdString(app.m_pszProfileName));
}

QString KeyOf(const char* section, const char* entry) {
    return QString::fromUtf8(section) + '/' + QString::fromUtf8(entry);
}
} // namespace

std::string CWinApp::GetProfileString(const char* section, const char* entry,
                                      const char* lpszDefault) const {
    const QVariant value = SettingsOf(*this).value(KeyOf(section, entry));
    return value.isValid() ? value.toString().toStdString() : (lpszDefault ? lpszDefault : "");
}

BOOL CWinApp::WriteProfileString(const char* section, const char* entry, const char* lpszValue) {
    QSettings settings = SettingsOf(*this);
    if (lpszValue)
        settings.setValue(KeyOf(section, entry), QString::fromUtf8(lpszValue));
    else
        settings.remove(KeyOf(section, entry));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

UINT CWinApp::GetProfileInt(const char* section, const char* entry, int nDefault) const {
    bool ok = false;
    const int value = SettingsOf(*this).value(KeyOf(section, entry)).toInt(&ok);
    return static_cast<UINT>(ok ? value : nDefault);
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* entry, int nValue) {
    QSettings settings = SettingsOf(*this);
    settings.setValue(KeyOf(section, entry), nValue);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

std::string CWinApp::GetProfileFileName() const {
    return SettingsOf(*this).fileName().toStdString();
}

void CWinApp::LoadStdProfileSettings(UINT nMaxMRU) {
    if (nMaxMRU != 0) {
        m_pRecentFileList = std::make_unique<CRecentFileList>(recentFileSection, "File%d",
                                                              static_cast<int>(nMaxMRU));
        m_pRecentFileList->ReadList();
    }
    m_nNumPreviewPages = static_cast<int>(GetProfileInt(settingsSection, "PreviewPages", 0));
}

void CWinApp::AddDocTemplate(CDocTemplate* pTemplate) {
    m_templates.emplace_back(pTemplate);
}

CDocument* CWinApp::OpenDocumentFile(const char* lpszFileName) {
    return m_templates.empty() ? nullptr : m_templates.front()->OpenDocumentFile(lpszFileName);
}

void CWinApp::AddToRecentFileList(const char* lpszPathName) {
    if (m_pRecentFileList)
        m_pRecentFileList->Add(lpszPathName);
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo) {
    for (std::size_t i = 1; i < m_args.size(); ++i) {
        const std::string& arg = m_args[i];
        const BOOL last = i + 1 == m_args.size();
        // Only '-' starts a switch: an absolute file name here starts with '/'.
        if (arg.size() > 1 && arg[0] == '-') {
            rCmdInfo.ParseParam(arg.c_str() + 1, TRUE, last);
        } else if (rCmdInfo.ExpectsPrinterName()) {
            // A printer's name is no path: it goes as it is.
            rCmdInfo.ParseParam(arg.c_str(), FALSE, last);
        } else if (const auto path = AfxSystemPath(arg)) {
            rCmdInfo.ParseParam(path->c_str(), FALSE, last);
        } else {
            AfxMessageBox(AfxBackslashNameMessage(arg).c_str(), MB_ICONERROR);
            rCmdInfo.m_nShellCommand = CCommandLineInfo::FileNothing;
            return;
        }
    }
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& rCmdInfo) {
    m_nStartExitCode = 1;
    switch (rCmdInfo.m_nShellCommand) {
    case CCommandLineInfo::FileNew:
        if (!OnCmdMsg(ID_FILE_NEW, CN_COMMAND, nullptr))
            OnFileNew();
        return m_pMainWnd != nullptr;
    case CCommandLineInfo::FileOpen:
        return OpenDocumentFile(rCmdInfo.m_strFileName.c_str()) != nullptr;
    case CCommandLineInfo::FilePrint:
    case CCommandLineInfo::FilePrintTo:
        // The program ends after printing, whether the page went out or not.
        if (PrintDocumentFile(rCmdInfo))
            m_nStartExitCode = 0;
        return FALSE;
    case CCommandLineInfo::FileNothing:
        return m_pMainWnd != nullptr;
    }
    return FALSE;
}

bool CWinApp::PrintDocumentFile(const CCommandLineInfo& info) {
    if (info.m_strFileName.empty()) {
        AfxMessageBox("没有给出要打印的文件。", MB_ICONERROR);
        return false;
    }
    // Opened out of sight: the main window is never shown.
    if (m_templates.empty() ||
        !m_templates.front()->OpenDocumentFile(info.m_strFileName.c_str(), FALSE))
        return false;
    auto* frame = dynamic_cast<CFrameWnd*>(m_pMainWnd);
    CView* view = frame ? frame->GetActiveView() : nullptr;
    return view != nullptr && AfxPrintViewDirect(*view, info.m_strPrinterName);
}

void CWinApp::OnFileNew() {
    if (!m_templates.empty())
        m_templates.front()->OpenDocumentFile(nullptr);
}

void CWinApp::OnUpdateRecentFileMenu(CCmdUI* pCmdUI) {
    if (!m_pRecentFileList || m_pRecentFileList->GetEntries().empty()) {
        pCmdUI->Enable(FALSE);
        return;
    }
    std::vector<std::string> texts;
    int number = 1;
    for (const std::string& path : m_pRecentFileList->GetEntries())
        texts.push_back("&" + std::to_string(number++) + " " + AfxHostPath(path).value_or(path));
    pCmdUI->ReplaceWithItems(std::move(texts));
}

void CWinApp::OnOpenRecentFile(UINT nID) {
    if (!m_pRecentFileList)
        return;
    const std::size_t index = nID - ID_FILE_MRU_FILE1;
    const auto& entries = m_pRecentFileList->GetEntries();
    if (index >= entries.size())
        return;
    const std::string path = entries[index];
    if (OpenDocumentFile(path.c_str()) == nullptr)
        m_pRecentFileList->Remove(path);
}

void CWinApp::OnAppExit() {
    if (QWidget* window = AfxGetWidget(m_pMainWnd))
        window->close();
}

void CWinApp::OnFileOpen() {
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY | OFN_FILEMUSTEXIST);
    if (dialog.DoModal() == IDOK)
        OpenDocumentFile(dialog.GetPathName().c_str());
}

void CWinApp::OnFilePrintSetup() {
    AfxRunPageSetupDialog(m_pMainWnd);
}

int CWinApp::ExitInstance() {
    if (m_pRecentFileList) {
        m_pRecentFileList->WriteList();
        WriteProfileInt(settingsSection, "PreviewPages", m_nNumPreviewPages);
    }
    m_templates.clear();
    m_pMainWnd = nullptr;
    return CWinThread::ExitInstance();
}

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return 1;
    QApplication application(argc, argv);
    AfxInstallToolkitTranslations();
    app->InitApplication(argc, argv);
    int status = 0;
    if (app->InitInstance())
        status = app->Run();
    else
        status = (app->ExitInstance(), app->m_nStartExitCode);
#ifdef _DEBUG
    if (AfxDumpLiveBlocks() != 0)
        std::fputs("Live blocks at exit: memory was leaked.\n", stderr);
#endif
    return status;
}
