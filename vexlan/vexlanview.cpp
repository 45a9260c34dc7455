#include "vexlanview.h"

#include "vexlandoc.h"

IMPLEMENT_DYNCREATE(CVexlanView, CView)

BEGIN_MESSAGE_MAP(CVexlanView, CView)
END_MESSAGE_MAP()

CVexlanView::CVexlanView() = default;

CVexlanView::~CVexlanView() = default;

CVexlanDoc* CVexlanView::GetDocument() const {
    ASSERT(CView::GetDocument()->IsKindOf(RUNTIME_CLASS(CVexlanDoc)));
    return static_cast<CVexlanDoc*>(CView::GetDocument());
}

void CVexlanView::OnDraw(CDC*) {
    [[maybe_unused]] CVexlanDoc* pDoc = GetDocument();
    ASSERT_VALID(pDoc);
}

BOOL CVexlanView::PreCreateWindow(CREATESTRUCT& cs) {
    return CView::PreCreateWindow(cs);
}

void CVexlanView::AssertValid() const {
    CView::AssertValid();
}

void CVexlanView::Dump(CDumpContext& dc) const {
    CView::Dump(dc);
}
