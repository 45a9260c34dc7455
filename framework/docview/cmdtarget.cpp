#include "cmdtarget.h"

#include <utility>

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const {
    return GetThisMessageMap();
}

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap() {
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map{nullptr, entries};
    return &map;
}

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT nMessage, UINT nCode, UINT nID) const {
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr)
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != nullptr; ++entry)
            if (entry->nMessage == nMessage && entry->nCode == nCode && entry->nID <= nID &&
                nID <= entry->nLastID)
                return entry;
    return nullptr;
}

namespace {
// One user-interface thread; a handler that sends another command sees its own id again after.
UINT g_currentCommandId = 0;
} // namespace

UINT CCmdTarget::GetCurrentCommandId() {
    return g_currentCommandId;
}

BOOL CCmdTarget::OnCmdMsg(UINT nID, UINT nCode, void* pExtra) {
    const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_COMMAND, nCode, nID);
    if (entry == nullptr)
        return FALSE;
    const UINT outer = std::exchange(g_currentCommandId, nCode == CN_COMMAND ? nID : 0);
    entry->pfn(this, nID, reinterpret_cast<LPARAM>(pExtra));
    g_currentCommandId = outer;
    return TRUE;
}

bool CCmdTarget::HasOwnCommandRow(UINT nID) const {
    return FindEntry(WM_COMMAND, CN_COMMAND, nID) != nullptr ||
           FindEntry(WM_COMMAND, CN_UPDATE_COMMAND_UI, nID) != nullptr;
}

bool CCmdTarget::HasCommandRow(UINT nID) const {
    return HasOwnCommandRow(nID);
}
