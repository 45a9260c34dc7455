// The view: it holds the image workspace and paints it.
#pragma once

#include "afxwin.h"

class CVexlanDoc;

class CVexlanView : public CView {
protected:
    CVexlanView();
    DECLARE_DYNCREATE(CVexlanView)

public:
    ~CVexlanView() override;

    CVexlanDoc* GetDocument() const;

    void OnDraw(CDC* pDC) override;
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

    DECLARE_MESSAGE_MAP()
};
