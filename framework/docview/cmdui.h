// What an update row is given: the command's id, and the state it may set.
#pragma once

#include "afxtypes.h"

#include <optional>
#include <string>
#include <vector>

class CCmdUI {
public:
    explicit CCmdUI(UINT id) : m_nID(id) {}

    void Enable(BOOL on = TRUE) { m_bEnabled = on != FALSE; }
    void SetCheck(int check = 1) { m_nCheck = check; }

    // A menu item may stand for a list: the item is replaced by one item per text, with
    // ids from m_nID upwards.
    void ReplaceWithItems(std::vector<std::string> texts) { m_replacement = std::move(texts); }

    UINT m_nID;
    bool m_bEnabled = true;
    int m_nCheck = -1; // -1: the handler did not say
    std::optional<std::vector<std::string>> m_replacement;
};
