// Uninstaller stand-in: the functions its two files offer each other.
#pragma once

#include <windows.h>

#define UNINSTALL_CAPTION   "卸载 VelmoraCA客户端工具"
#define KIT_MAKER           "Velmora CA"

// kit_removal.cpp
// Removes the kit from dir (the kit's directory): stops its programs, unregisters its controls,
// deletes its files and set-aside copies, the Start-menu folder, the CSP keys and the Run value.
// Returns the number of files that could only be marked for deletion at the next restart.
int RemoveKit(const char* dir);
// 1 when the file's version block names the kit's maker.
int IsKitMadeFile(const char* path);
