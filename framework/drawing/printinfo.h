// One print or preview job, as the view's printing hooks see it.
#pragma once

#include "afxtypes.h"

struct CPrintInfo {
    BOOL m_bPreview = FALSE;
    BOOL m_bDirect = FALSE;
    UINT m_nCurPage = 1;
    UINT m_nMinPage = 1;
    CRect m_rectDraw;
};
