// A frame: the top-level window that hosts a view and its bars, builds its menu and keys from
// resources, and routes commands to the view, the document, itself and the application.
#pragma once

#include "menucommand.h"
#include "view.h"
#include "wnd.h"

#include <memory>
#include <string>
#include <vector>

class CControlBar;
struct CFrameUi;

class CFrameWnd : public CWnd {
    DECLARE_DYNAMIC(CFrameWnd)
    DECLARE_MESSAGE_MAP()
public:
    ~CFrameWnd() override;

    // Creates the window from resource nIDResource: its document string gives the caption's
    // application part, and its menu, accelerator table and icon are used when present.
    // The context's view class becomes the client view.
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
    // The command-update rule: enabled exactly when a class on the routing path has a row for
    // the id; an update row may then change the state.
    CCmdUI QueryCommandUI(UINT nID);

    // Docking: the sides the frame accepts bars on, and docking a bar on its own side.
    void EnableDocking(DWORD dwDockStyle);
    void DockControlBar(CControlBar* pBar, UINT nDockBarID = 0, const CRect* lpRect = nullptr);
    void ShowControlBar(CControlBar* pBar, BOOL bShow, BOOL bDelay);
    CControlBar* GetControlBar(UINT nID) const;
    void AddControlBar(CControlBar* pBar);
    void RemoveControlBar(CControlBar* pBar);

    // Adds commands at the end of the popup that path names by the texts of its items, from
    // the menu bar down ({"查看(&V)", "缩放(&Z)"}), or in it before the item of command
    // beforeId; a popup of the path that is missing is added at the end of its parent. A
    // command of id ID_SEPARATOR is a separator. The commands follow the command-update rule
    // like those of the resource tables, and so do their keys.
    void AppendMenuCommands(const std::vector<std::string>& path,
                            const std::vector<CMenuCommand>& commands, UINT beforeId = 0);

    // Keys that send command nID from anywhere in the window, without a menu item, in portable
    // text ("Esc"); they follow the command-update rule, and a disabled one leaves its key to
    // the widget that has the focus.
    void AddCommandKeys(UINT nID, const std::vector<std::string>& keys);

    // The message pane: a command's prompt while it is pointed at, the idle text otherwise,
    // or a text of the program's.
    void ShowPrompt(UINT nID);
    void ShowIdlePrompt();
    void SetMessageText(const std::string& text);
    // A text shown in place of the idle text until it is set empty again, for a state that
    // lasts, such as work going on in the background.
    void SetIdleText(const std::string& text);
    const std::string& GetIdleText() const { return m_idleText; }

    // Shows items, after a separator, below the menu item of command afterId, in place of
    // those shown there before; no items removes them and their separator.
    void SetAddedMenuItems(UINT afterId, const std::vector<CMenuCommand>& items);
    // Brings the bars and the keys up to date; runs while the program is idle.
    void OnIdleUpdateCmdUI();

    void OnBarCheck(UINT nID);
    void OnUpdateControlBarMenu(CCmdUI* pCmdUI);

protected:
    CFrameWnd();

private:
    BOOL CreateView(CCreateContext* pContext);

    std::string m_strTitle;
    std::string m_idleText;
    std::unique_ptr<CView> m_pView;
    std::vector<CControlBar*> m_controlBars;
    DWORD m_dwDockStyle = 0;
    std::unique_ptr<CFrameUi> m_pUi;
};
