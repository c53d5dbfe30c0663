// The key manager's main window opened in-process for tests, and closed again as a new process would
// find everything: no window, no posted quit, no library bound.
#pragma once

#include <windows.h>

// Creates dialog 101 modeless over whatever TokenLoader is installed (it binds and refreshes once).
HWND OpenTestMainWindow(void);
// Destroys it (when not NULL), drops posted messages and unbinds KeyDev.dll and KeyNum.dll.
void CloseTestMainWindow(HWND window);
