// A frame: the top-level window that hosts a view and routes commands to it.
#pragma once

#include "view.h"
#include "wnd.h"

#include <memory>
#include <string>

class CFrameWnd : public CWnd {
    DECLARE_DYNAMIC(CFrameWnd)
    DECLARE_MESSAGE_MAP()
public:
    ~CFrameWnd() override;

    // Creates the window from resource nIDResource (its document string gives the
    // caption's application part) and, through the context, its view.
    virtual BOOL LoadFrame(UINT nIDResource, CCreateContext* pContext = nullptr);
    BOOL PreCreateWindow(CREATESTRUCT& cs) override;
    int OnCreate(LPCREATESTRUCT lpCreateStruct);

    CView* GetActiveView() const { return m_pView.get(); }
    CDocument* GetActiveDocument() const;
    void InitialUpdateFrame(CDocument* pDoc, BOOL bMakeVisible);
    virtual void OnUpdateFrameTitle(BOOL bAddToTitle);
    const std::string& GetTitle() const { return m_strTitle; }

    // Sends command nID along the routing path: view, document, frame, application.
    // Returns whether a class handled it.
    BOOL SendCommand(UINT nID);
    BOOL OnCmdMsg(UINT nID, UINT nCode, void* pExtra) override;
    bool HasCommandRow(UINT nID) const override;

protected:
    CFrameWnd() = default;

private:
    BOOL CreateView(CCreateContext* pContext);

    std::string m_strTitle;
    std::unique_ptr<CView> m_pView;
};
