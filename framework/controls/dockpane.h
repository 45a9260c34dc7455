// A panel docked at the right of a frame: the user may float it, dock it at another side or
// close it. The controls made in it stand top to bottom in the order they were made.
#pragma once

#include "controlbar.h"

#include <memory>
#include <string>

class CDockPane : public CControlBar {
    DECLARE_DYNAMIC(CDockPane)
public:
    CDockPane();
    ~CDockPane() override;

    // Hidden until shown; title is its caption.
    BOOL Create(CFrameWnd* pFrame, const std::string& title, UINT nID);
    // A pane created on pFrame, or null when there is no frame or it cannot be created.
    static std::unique_ptr<CDockPane> Make(CFrameWnd* pFrame, const std::string& title, UINT nID);
    void Show(bool show);
    bool IsShown() const;

    // Puts a control made for this pane below those before it.
    void Place(CWnd& control);
};
