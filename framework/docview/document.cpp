#include "document.h"

#include "filedialog.h"
#include "framewnd.h"
#include "messagebox.h"
#include "pathmap.h"
#include "systemerror.h"
#include "view.h"
#include "winapp.h"

#include <algorithm>
#include <cerrno>
#include <memory>

IMPLEMENT_DYNAMIC(CDocument, CCmdTarget)

BEGIN_MESSAGE_MAP(CDocument, CCmdTarget)
ON_COMMAND(ID_FILE_SAVE, &CDocument::OnFileSave)
ON_COMMAND(ID_FILE_SAVE_AS, &CDocument::OnFileSaveAs)
END_MESSAGE_MAP()

namespace {
void ReportDocumentFailure(const char* what, const char* lpszPathName) {
    const std::string reason = AfxSystemErrorPhrase(errno);
    AfxMessageBox((std::string("无法") + what + "文档 " + AfxPathForMessage(lpszPathName) + "：" +
                   reason + "。")
                      .c_str(),
                  MB_ICONERROR);
}
} // namespace

CDocument::~CDocument() {
    for (CView* view : m_views)
        view->m_pDocument = nullptr;
}

void CDocument::SetTitle(const char* lpszTitle) {
    m_strTitle = lpszTitle ? lpszTitle : "";
    UpdateFrameCounts();
}

void CDocument::SetPathName(const char* lpszPathName, BOOL bAddToMRU) {
    m_strPathName = lpszPathName ? lpszPathName : "";
    const auto separator = m_strPathName.find_last_of("\\:");
    SetTitle(m_strPathName.substr(separator == std::string::npos ? 0 : separator + 1).c_str());
    if (bAddToMRU && AfxGetApp())
        AfxGetApp()->AddToRecentFileList(m_strPathName.c_str());
}

BOOL CDocument::OnNewDocument() {
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnOpenDocument(const char* lpszPathName) {
    CFilePtr file(AfxOpenFile(lpszPathName, "rb"));
    if (!file) {
        ReportDocumentFailure("打开", lpszPathName);
        return FALSE;
    }
    DeleteContents();
    CArchive archive(file.get(), CArchive::load);
    Serialize(archive);
    SetModifiedFlag(FALSE);
    return TRUE;
}

BOOL CDocument::OnSaveDocument(const char* lpszPathName) {
    CFilePtr file(AfxOpenFile(lpszPathName, "wb"));
    if (!file) {
        ReportDocumentFailure("保存", lpszPathName);
        return FALSE;
    }
    CArchive archive(file.get(), CArchive::store);
    Serialize(archive);
    if (std::fclose(file.release()) != 0) {
        ReportDocumentFailure("写入", lpszPathName);
        return FALSE;
    }
    SetModifiedFlag(FALSE);
    return TRUE;
}

void CDocument::OnFileSave() {
    if (m_strPathName.empty())
        OnFileSaveAs();
    else
        OnSaveDocument(m_strPathName.c_str());
}

void CDocument::OnFileSaveAs() {
    // No filter or extension of the document's own: the dialog offers all files.
    CFileDialog dialog(FALSE, nullptr, m_strTitle.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       "所有文件 (*.*)|*.*||");
    if (dialog.DoModal() != IDOK)
        return;
    const std::string path = dialog.GetPathName();
    if (OnSaveDocument(path.c_str()))
        SetPathName(path.c_str());
}

void CDocument::DeleteContents() {}

void CDocument::Serialize(CArchive&) {}

void CDocument::AddView(CView* pView) {
    m_views.push_back(pView);
    pView->m_pDocument = this;
}

void CDocument::RemoveView(CView* pView) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), pView), m_views.end());
    pView->m_pDocument = nullptr;
}

void CDocument::UpdateFrameCounts() {
    for (CView* view : m_views)
        if (CFrameWnd* frame = view->GetParentFrame())
            frame->OnUpdateFrameTitle(TRUE);
}

void CDocument::AssertValid() const {
    CCmdTarget::AssertValid();
}

void CDocument::Dump(CDumpContext& dc) const {
    CCmdTarget::Dump(dc);
    dc << "m_strTitle = " << m_strTitle.c_str() << "\nm_strPathName = " << m_strPathName.c_str()
       << "\n";
}
