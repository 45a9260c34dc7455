#include "doctemplate.h"

#include "document.h"
#include "framewnd.h"
#include "resourcefile.h"

namespace {
// The class layer's untitled name, in the language of the user interface.
constexpr char untitledName[] = "无标题";
} // namespace

IMPLEMENT_DYNAMIC(CDocTemplate, CCmdTarget)

CDocTemplate::CDocTemplate(UINT nIDResource, const CRuntimeClass* pDocClass,
                           const CRuntimeClass* pFrameClass, const CRuntimeClass* pViewClass)
    : m_nIDResource(nIDResource), m_pDocClass(pDocClass), m_pFrameClass(pFrameClass),
      m_pViewClass(pViewClass), m_strDocStrings(AfxLoadString(nIDResource)) {}

BOOL CDocTemplate::GetDocString(std::string& rString, DocStringIndex index) const {
    std::size_t start = 0;
    for (int field = 0; field < index; ++field) {
        start = m_strDocStrings.find('\n', start);
        if (start == std::string::npos) {
            rString.clear();
            return FALSE;
        }
        ++start;
    }
    rString = m_strDocStrings.substr(start, m_strDocStrings.find('\n', start) - start);
    return !rString.empty();
}

CDocument* CDocTemplate::CreateNewDocument() {
    CObject* object = m_pDocClass ? m_pDocClass->CreateObject() : nullptr;
    auto* document = dynamic_cast<CDocument*>(object);
    if (document == nullptr) {
        delete object;
        return nullptr;
    }
    document->SetDocTemplate(this);
    return document;
}

CFrameWnd* CDocTemplate::CreateNewFrame(CDocument* pDoc) {
    CObject* object = m_pFrameClass ? m_pFrameClass->CreateObject() : nullptr;
    auto* frame = dynamic_cast<CFrameWnd*>(object);
    if (frame == nullptr) {
        delete object;
        return nullptr;
    }
    CCreateContext context;
    context.m_pNewViewClass = m_pViewClass;
    context.m_pCurrentDoc = pDoc;
    context.m_pNewDocTemplate = this;
    if (!frame->LoadFrame(m_nIDResource, &context)) {
        delete frame;
        return nullptr;
    }
    return frame;
}

void CDocTemplate::SetDefaultTitle(CDocument* pDocument) const {
    std::string title;
    if (!GetDocString(title, docName))
        title = untitledName;
    pDocument->SetTitle(title.c_str());
}
