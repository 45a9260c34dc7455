// A command that a program adds to its menu at run time, beside those of the resource
// tables: its item's text, the prompt the message pane shows while the item is highlighted,
// and the keys that run it, in portable text ("Ctrl+=").
#pragma once

#include "afxtypes.h"

#include <string>
#include <vector>

struct CMenuCommand {
    UINT id = 0;
    std::string text;
    std::string prompt;
    std::vector<std::string> keys;
};
