// Command targets: per-class tables of (message or command id, handler) rows, searched
// before the base class's table.
#pragma once

#include "cmdui.h"
#include "object.h"

#include <string>
#include <vector>

class CCmdTarget;

using AFX_THUNK = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage; // WM_COMMAND for command and update rows
    UINT nCode;    // CN_COMMAND or CN_UPDATE_COMMAND_UI
    UINT nID;
    UINT nLastID; // the row covers nID to nLastID
    AFX_THUNK pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries; // ends with a row whose pfn is null
};

class CCmdTarget : public CObject {
    DECLARE_DYNAMIC(CCmdTarget)
public:
    // The id of the command whose handler is running, 0 outside one: a handler bound to
    // several ids (print and direct print) tells them apart by it.
    static UINT GetCurrentCommandId();

    // Runs the command or update row for id in this object's tables. A command with an
    // update row gets a CCmdUI in pExtra. Classes that pass commands on override this.
    virtual BOOL OnCmdMsg(UINT nID, UINT nCode, void* pExtra);

    // Whether this object's tables, or those of the objects it passes commands on to,
    // have a command or update row for id.
    virtual bool HasCommandRow(UINT nID) const;

    virtual const AFX_MSGMAP* GetMessageMap() const;
    static const AFX_MSGMAP* GetThisMessageMap();

protected:
    const AFX_MSGMAP_ENTRY* FindEntry(UINT nMessage, UINT nCode, UINT nID) const;
    bool HasOwnCommandRow(UINT nID) const;
};

// Handler thunks, one per handler signature. They restore the handler's class from the
// member pointer, so a table row is type-checked where it is written.
template <typename T> struct AfxMemberClass;
template <typename C, typename R, typename... A> struct AfxMemberClass<R (C::*)(A...)> {
    using type = C;
};

template <auto Fn> LRESULT AfxCommandThunk(CCmdTarget* target, WPARAM, LPARAM) {
    using C = typename AfxMemberClass<decltype(Fn)>::type;
    (static_cast<C*>(target)->*Fn)();
    return 0;
}

template <auto Fn> LRESULT AfxRangeThunk(CCmdTarget* target, WPARAM wParam, LPARAM) {
    using C = typename AfxMemberClass<decltype(Fn)>::type;
    (static_cast<C*>(target)->*Fn)(static_cast<UINT>(wParam));
    return 0;
}

template <auto Fn> LRESULT AfxUpdateThunk(CCmdTarget* target, WPARAM, LPARAM lParam) {
    using C = typename AfxMemberClass<decltype(Fn)>::type;
    (static_cast<C*>(target)->*Fn)(reinterpret_cast<CCmdUI*>(lParam));
    return 0;
}

template <auto Fn> LRESULT AfxKeyThunk(CCmdTarget* target, WPARAM wParam, LPARAM lParam) {
    using C = typename AfxMemberClass<decltype(Fn)>::type;
    const auto bits = static_cast<std::uintptr_t>(lParam);
    (static_cast<C*>(target)->*Fn)(static_cast<UINT>(wParam), LOWORD(bits), HIWORD(bits));
    return 0;
}

template <auto Fn> LRESULT AfxMouseThunk(CCmdTarget* target, WPARAM wParam, LPARAM lParam) {
    using C = typename AfxMemberClass<decltype(Fn)>::type;
    const auto bits = static_cast<std::uintptr_t>(lParam);
    const CPoint point{static_cast<std::int16_t>(LOWORD(bits)),
                       static_cast<std::int16_t>(HIWORD(bits))};
    (static_cast<C*>(target)->*Fn)(static_cast<UINT>(wParam), point);
    return 0;
}

template <auto Fn> LRESULT AfxDropThunk(CCmdTarget* target, WPARAM wParam, LPARAM) {
    using C = typename AfxMemberClass<decltype(Fn)>::type;
    (static_cast<C*>(target)->*Fn)(*reinterpret_cast<const std::vector<std::string>*>(wParam));
    return 0;
}

template <auto Fn> LRESULT AfxCreateThunk(CCmdTarget* target, WPARAM, LPARAM lParam) {
    using C = typename AfxMemberClass<decltype(Fn)>::type;
    return (static_cast<C*>(target)->*Fn)(reinterpret_cast<LPCREATESTRUCT>(lParam));
}

#define DECLARE_MESSAGE_MAP()                                                                      \
public:                                                                                            \
    static const AFX_MSGMAP* GetThisMessageMap();                                                  \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                     \
    const AFX_MSGMAP* theClass::GetMessageMap() const {                                            \
        return GetThisMessageMap();                                                                \
    }                                                                                              \
    const AFX_MSGMAP* theClass::GetThisMessageMap() {                                              \
        using ThisClass = theClass;                                                                \
        using TheBaseClass = baseClass;                                                            \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                                          \
    { 0, 0, 0, 0, nullptr }                                                                        \
    }                                                                                              \
    ;                                                                                              \
    static_assert(sizeof(ThisClass) > 0);                                                          \
    static const AFX_MSGMAP map{&TheBaseClass::GetThisMessageMap, entries};                        \
    return &map;                                                                                   \
    }

#define ON_COMMAND(id, memberFxn) {WM_COMMAND, CN_COMMAND, (id), (id), &AfxCommandThunk<memberFxn>},
#define ON_COMMAND_RANGE(id, idLast, memberFxn)                                                    \
    {WM_COMMAND, CN_COMMAND, (id), (idLast), &AfxRangeThunk<memberFxn>},
#define ON_UPDATE_COMMAND_UI(id, memberFxn)                                                        \
    {WM_COMMAND, CN_UPDATE_COMMAND_UI, (id), (id), &AfxUpdateThunk<memberFxn>},
#define ON_UPDATE_COMMAND_UI_RANGE(id, idLast, memberFxn)                                          \
    {WM_COMMAND, CN_UPDATE_COMMAND_UI, (id), (idLast), &AfxUpdateThunk<memberFxn>},
#define ON_WM_CREATE() {WM_CREATE, 0, 0, 0, &AfxCreateThunk<&ThisClass::OnCreate>},
#define ON_WM_KEYDOWN() {WM_KEYDOWN, 0, 0, 0, &AfxKeyThunk<&ThisClass::OnKeyDown>},
#define ON_WM_LBUTTONDOWN() {WM_LBUTTONDOWN, 0, 0, 0, &AfxMouseThunk<&ThisClass::OnLButtonDown>},
#define ON_WM_LBUTTONUP() {WM_LBUTTONUP, 0, 0, 0, &AfxMouseThunk<&ThisClass::OnLButtonUp>},
#define ON_WM_MOUSEMOVE() {WM_MOUSEMOVE, 0, 0, 0, &AfxMouseThunk<&ThisClass::OnMouseMove>},
#define ON_WM_DROPFILES() {WM_DROPFILES, 0, 0, 0, &AfxDropThunk<&ThisClass::OnDropFiles>},
#define ON_WM_MOUSELEAVE() {WM_MOUSELEAVE, 0, 0, 0, &AfxCommandThunk<&ThisClass::OnMouseLeave>},
