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

// A function of such a library and the pointer it is kept in (any function pointer type).
struct SystemFunction {
    const char* name;
    void* slot;
};

// Loads the library from the system directory and fills every slot (NULL for a name not found);
// 1 when all were found.
int BindSystemFunctions(const char* library, const SystemFunction* functions, int count);
