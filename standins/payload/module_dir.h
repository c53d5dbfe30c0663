// The folder a stand-in program or library lies in, where its companions lie too.
#pragma once

#include <windows.h>

// Writes the folder of module (NULL: the program) with a trailing backslash; 1, or 0 when it does not fit.
int GetModuleFolder(HMODULE module, char* folder, size_t size);
