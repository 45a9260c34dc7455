// A view: the window that shows a document and paints itself with OnDraw.
#pragma once

#include "dc.h"
#include "printinfo.h"
#include "wnd.h"

class CDocument;

class CView : public CWnd {
    DECLARE_DYNAMIC(CView)
    DECLARE_MESSAGE_MAP()
public:
    ~CView() override;

    CDocument* GetDocument() const { return m_pDocument; }

    // Creates the view's window as the client of parent and attaches it to the context's
    // document.
    BOOL Create(CWnd* parent, UINT nID, CCreateContext* pContext);

    // Sets up the surface before OnDraw, for the screen and for each printed page (pInfo).
    virtual void OnPrepareDC(CDC* pDC, CPrintInfo* pInfo = nullptr);
    virtual void OnDraw(CDC* pDC) = 0;
    // Invalidates the whole view, so that OnDraw runs again.
    virtual void OnInitialUpdate();

    // Printing: the job's preparation (the print dialog), then one page through OnDraw.
    virtual BOOL OnPreparePrinting(CPrintInfo* pInfo);
    virtual void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo);
    virtual void OnEndPrinting(CDC* pDC, CPrintInfo* pInfo);
    BOOL DoPreparePrinting(CPrintInfo* pInfo);
    void OnFilePrint();
    void OnNextPaneCmd(UINT nID);
    void OnFilePrintPreview();

    BOOL OnCmdMsg(UINT nID, UINT nCode, void* pExtra) override;
    bool HasCommandRow(UINT nID) const override;
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    void AssertValid() const override;
    void Dump(CDumpContext& dc) const override;

    // Paints the view into the surface's clip, as a paint does: background erased, then
    // OnPrepareDC and OnDraw. pInfo is the print job when the surface is a printer's.
    void PaintSurface(CDC& dc, CPrintInfo* pInfo);

protected:
    CView() = default;

private:
    friend class CDocument;
    CDocument* m_pDocument = nullptr;
};
