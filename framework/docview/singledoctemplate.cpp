#include "singledoctemplate.h"

#include "document.h"
#include "framewnd.h"
#include "winapp.h"

IMPLEMENT_DYNAMIC(CSingleDocTemplate, CDocTemplate)

CSingleDocTemplate::CSingleDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                                       const CRuntimeClass* pFrameClass,
                                       const CRuntimeClass* pViewClass)
    : CDocTemplate(nIDResource, pDocClass, pFrameClass, pViewClass) {}

CSingleDocTemplate::~CSingleDocTemplate() {
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == m_pFrame.get())
        app->m_pMainWnd = nullptr;
    // The frame's view refers to the document: the frame goes first.
    m_pFrame.reset();
    m_pOnlyDoc.reset();
}

bool CSingleDocTemplate::CreateDocumentAndFrame() {
    if (!m_pOnlyDoc) {
        m_pOnlyDoc.reset(CreateNewDocument());
        if (!m_pOnlyDoc)
            return false;
    }
    if (!m_pFrame) {
        m_pFrame.reset(CreateNewFrame(m_pOnlyDoc.get()));
        if (!m_pFrame) {
            m_pOnlyDoc.reset();
            return false;
        }
    }
    return true;
}

CDocument* CSingleDocTemplate::OpenDocumentFile(const char* lpszPathName, BOOL bMakeVisible) {
    const bool created = !m_pFrame;
    if (!CreateDocumentAndFrame())
        return nullptr;
    CDocument* document = m_pOnlyDoc.get();
    if (lpszPathName == nullptr) {
        SetDefaultTitle(document);
        if (!document->OnNewDocument()) {
            if (created)
                m_pFrame.reset();
            return nullptr;
        }
    } else if (!document->OnOpenDocument(lpszPathName)) {
        if (created)
            m_pFrame.reset();
        return nullptr;
    } else {
        document->SetPathName(lpszPathName);
    }
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == nullptr)
        app->m_pMainWnd = m_pFrame.get();
    m_pFrame->InitialUpdateFrame(document, bMakeVisible);
    return document;
}
