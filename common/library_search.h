// Where the elevated programs take libraries from: the system directory, never the folder they
// were started from, which other programs may write into.
#pragma once

#include <windows.h>

// The first statement of an elevated program's entry point: every later load, ours and those
// system libraries make on our behalf, searches the system directory only.
void NarrowLibrarySearch(void);

// A library that is not among those Windows maps from its own directory only, loaded from the
// system directory; NULL when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* name);
