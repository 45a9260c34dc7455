// The modal message box: the text, an OK button, the application's name as its caption.
#pragma once

#include "afxtypes.h"

#include <functional>
#include <string>

int AfxMessageBox(const char* lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);

// Tests of a program's logic may answer message boxes without showing them. The handler
// gets the text and type and returns the button; an empty handler restores the real box.
using CMessageBoxHandler = std::function<int(const std::string& text, UINT nType)>;
void AfxSetMessageBoxHandler(CMessageBoxHandler handler);
