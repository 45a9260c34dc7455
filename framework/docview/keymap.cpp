#include "keymap.h"

#include <QKeyEvent>

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<int, UINT>, 38> namedKeys{{
    {Qt::Key_Backspace, VK_BACK},    {Qt::Key_Tab, VK_TAB},
    {Qt::Key_Backtab, VK_TAB},       {Qt::Key_Return, VK_RETURN},
    {Qt::Key_Enter, VK_RETURN},      {Qt::Key_Shift, VK_SHIFT},
    {Qt::Key_Control, VK_CONTROL},   {Qt::Key_Alt, VK_MENU},
    {Qt::Key_Pause, VK_PAUSE},       {Qt::Key_CapsLock, VK_CAPITAL},
    {Qt::Key_Escape, VK_ESCAPE},     {Qt::Key_Space, VK_SPACE},
    {Qt::Key_PageUp, VK_PRIOR},      {Qt::Key_PageDown, VK_NEXT},
    {Qt::Key_End, VK_END},           {Qt::Key_Home, VK_HOME},
    {Qt::Key_Left, VK_LEFT},         {Qt::Key_Up, VK_UP},
    {Qt::Key_Right, VK_RIGHT},       {Qt::Key_Down, VK_DOWN},
    {Qt::Key_Print, VK_SNAPSHOT},    {Qt::Key_Insert, VK_INSERT},
    {Qt::Key_Delete, VK_DELETE},     {Qt::Key_Meta, VK_LWIN},
    {Qt::Key_NumLock, VK_NUMLOCK},   {Qt::Key_ScrollLock, VK_SCROLL},
    {Qt::Key_Semicolon, VK_OEM_1},   {Qt::Key_Colon, VK_OEM_1},
    {Qt::Key_Equal, VK_OEM_PLUS},    {Qt::Key_Plus, VK_OEM_PLUS},
    {Qt::Key_Comma, VK_OEM_COMMA},   {Qt::Key_Less, VK_OEM_COMMA},
    {Qt::Key_Minus, VK_OEM_MINUS},   {Qt::Key_Underscore, VK_OEM_MINUS},
    {Qt::Key_Period, VK_OEM_PERIOD}, {Qt::Key_Greater, VK_OEM_PERIOD},
    {Qt::Key_Slash, VK_OEM_2},       {Qt::Key_Question, VK_OEM_2},
}};

constexpr std::array<std::pair<int, UINT>, 10> moreSymbols{{
    {Qt::Key_QuoteLeft, VK_OEM_3},
    {Qt::Key_AsciiTilde, VK_OEM_3},
    {Qt::Key_BracketLeft, VK_OEM_4},
    {Qt::Key_BraceLeft, VK_OEM_4},
    {Qt::Key_Backslash, VK_OEM_5},
    {Qt::Key_Bar, VK_OEM_5},
    {Qt::Key_BracketRight, VK_OEM_6},
    {Qt::Key_BraceRight, VK_OEM_6},
    {Qt::Key_Apostrophe, VK_OEM_7},
    {Qt::Key_QuoteDbl, VK_OEM_7},
}};

// Shifted digits on the common layout report the symbol; the key is still the digit's.
constexpr std::array<std::pair<int, UINT>, 10> shiftedDigits{{
    {Qt::Key_ParenRight, '0'},
    {Qt::Key_Exclam, '1'},
    {Qt::Key_At, '2'},
    {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},
    {Qt::Key_Percent, '5'},
    {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},
    {Qt::Key_Asterisk, '8'},
    {Qt::Key_ParenLeft, '9'},
}};

template <std::size_t N> UINT Lookup(const std::array<std::pair<int, UINT>, N>& table, int key) {
    for (const auto& [qtKey, vk] : table)
        if (qtKey == key)
            return vk;
    return 0;
}

UINT KeypadKey(int key) {
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return VK_NUMPAD0 + static_cast<UINT>(key - Qt::Key_0);
    switch (key) {
    case Qt::Key_Asterisk:
        return VK_MULTIPLY;
    case Qt::Key_Plus:
        return VK_ADD;
    case Qt::Key_Minus:
        return VK_SUBTRACT;
    case Qt::Key_Period:
        return VK_DECIMAL;
    case Qt::Key_Slash:
        return VK_DIVIDE;
    default:
        return 0;
    }
}

bool IsExtendedKey(UINT vk, bool keypad) {
    // The navigation block and the right-hand modifiers, not their keypad twins.
    const bool navigation = (vk >= VK_PRIOR && vk <= VK_DOWN) || vk == VK_INSERT || vk == VK_DELETE;
    return (navigation && !keypad) || vk == VK_NUMLOCK || vk == VK_DIVIDE ||
           (vk == VK_RETURN && keypad);
}

} // namespace

UINT AfxVirtualKeyOf(const QKeyEvent& event) {
    const int key = event.key();
    const bool keypad = event.modifiers().testFlag(Qt::KeypadModifier);
    if (keypad)
        if (const UINT vk = KeypadKey(key))
            return vk;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return 'A' + static_cast<UINT>(key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return '0' + static_cast<UINT>(key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<UINT>(key - Qt::Key_F1);
    if (const UINT vk = Lookup(namedKeys, key))
        return vk;
    if (const UINT vk = Lookup(moreSymbols, key))
        return vk;
    return Lookup(shiftedDigits, key);
}

UINT AfxKeyFlagsOf(const QKeyEvent& event) {
    // X11 key codes are PC scan codes offset by 8.
    const quint32 native = event.nativeScanCode();
    UINT flags = native > 8 ? (native - 8) & 0xFF : 0;
    const bool keypad = event.modifiers().testFlag(Qt::KeypadModifier);
    if (IsExtendedKey(AfxVirtualKeyOf(event), keypad))
        flags |= KF_EXTENDED;
    if (event.isAutoRepeat())
        flags |= KF_REPEAT;
    if (event.type() == QEvent::KeyRelease)
        flags |= KF_UP;
    return flags;
}

int AfxQtKeyOf(UINT vk) {
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return static_cast<int>(vk); // the toolkit's letter and digit keys share the codes
    if (vk >= VK_F1 && vk < VK_F1 + 24)
        return Qt::Key_F1 + static_cast<int>(vk - VK_F1);
    for (const auto& [qtKey, code] : namedKeys)
        if (code == vk)
            return qtKey;
    return 0;
}
