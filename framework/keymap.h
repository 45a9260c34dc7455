// Key events in the platform's terms: virtual-key codes and the key-flag word.
#pragma once

#include "afxtypes.h"

class QKeyEvent;

// The virtual-key code of a key event; 0 for a key without one.
UINT AfxVirtualKeyOf(const QKeyEvent& event);
// The high word of a key message's lParam: scan code, extended-key, repeat and up bits.
UINT AfxKeyFlagsOf(const QKeyEvent& event);
