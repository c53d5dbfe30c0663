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

// Looks up a function of module (NULL: none) into slot; 1 when it was found, else slot is NULL.
// Function is the function's own type as the system's header declares it, calling convention
// included, so a slot declared otherwise does not compile: on 32-bit x86 a missing WINAPI is a
// different type, not a crash on the key holder's machine. Use it through BIND_SYSTEM_FUNCTION.
template <typename Function>
int BindSystemFunction(HMODULE module, const char* name, Function** slot)
{
    FARPROC address = module ? GetProcAddress(module, name) : NULL;
    *slot = reinterpret_cast<Function*>(reinterpret_cast<void*>(address));
    return address != NULL;
}

// Binds the function the header declares under that name into slot, which must have its type.
#define BIND_SYSTEM_FUNCTION(module, function, slot) BindSystemFunction<decltype(function)>((module), #function, (slot))
