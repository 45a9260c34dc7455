// A check box in a pane: its text, and a handler told each time the user ticks or clears it.
#pragma once

#include "wnd.h"

#include <functional>
#include <string>

class CDockPane;

class CCheckBox : public CWnd {
    DECLARE_DYNAMIC(CCheckBox)
public:
    CCheckBox();
    ~CCheckBox() override;

    BOOL Create(CDockPane* pPane, const std::string& text, bool checked,
                std::function<void(bool)> toggled);
};
