// The document: it carries only the title, the name of the image shown.
#pragma once

#include "afxwin.h"

class CVexlanDoc : public CDocument {
protected:
    CVexlanDoc();
    DECLARE_DYNCREATE(CVexlanDoc)

public:
    ~CVexlanDoc() override;

    BOOL OnNewDocument() override;
    void Serialize(CArchive& ar) override;
    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

    DECLARE_MESSAGE_MAP()
};
