#include "vexlandoc.h"

IMPLEMENT_DYNCREATE(CVexlanDoc, CDocument)

BEGIN_MESSAGE_MAP(CVexlanDoc, CDocument)
END_MESSAGE_MAP()

CVexlanDoc::CVexlanDoc() = default;

CVexlanDoc::~CVexlanDoc() = default;

BOOL CVexlanDoc::OnNewDocument() {
    return CDocument::OnNewDocument() ? TRUE : FALSE;
}

// The image state lives in the view: the document stores and loads no byte.
void CVexlanDoc::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
    } else {
    }
}

void CVexlanDoc::AssertValid() const {
    CDocument::AssertValid();
}

void CVexlanDoc::Dump(CDumpContext& dc) const {
    CDocument::Dump(dc);
}
