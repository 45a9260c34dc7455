// Key events in the platform's terms: virtual-key codes and the key-flag word.
#pragma once

#include "afxtypes.h"

class QKeyEvent;

// The virtual-key code of a key event; 0 for a key without one.
UINT AfxVirtualKeyOf(const QKeyEvent& event);
// The toolkit key of a virtual-key code; 0 for a code without one.
int AfxQtKeyOf(UINT vk);
// The high word of a key message's lParam: scan code, extended-key, repeat and up bits.
UINT AfxKeyFlagsOf(const QKeyEvent& event);
