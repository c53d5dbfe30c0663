// The window class each program registers to mark itself (named like its single-instance mutex).
#pragma once

#include <windows.h>

// Registers a copy of the system dialog class under name, with this instance and icon; no window of
// it is ever made. Returns 1 on success, 0 when the dialog class or the registration fails.
int RegisterMarkerClass(HINSTANCE instance, int iconId, const char* name);
