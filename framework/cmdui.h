// What an update row is given: the command's id, and the state it may set.
#pragma once

#include "afxtypes.h"

class CCmdUI {
public:
    explicit CCmdUI(UINT id) : m_nID(id) {}

    void Enable(BOOL on = TRUE) { m_bEnabled = on != FALSE; }
    void SetCheck(int check = 1) { m_nCheck = check; }

    UINT m_nID;
    bool m_bEnabled = true;
    int m_nCheck = -1; // -1: the handler did not say
};
