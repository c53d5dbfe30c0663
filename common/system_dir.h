// Where the kit lives: the 32-bit system directory, also under WOW64.
#pragma once

#include <stddef.h>

// 1 when this 32-bit process runs on 64-bit Windows; 0 when not, or when that cannot be told.
int IsRunningUnderWow64(void);

// Replaces the last eight characters ("system32") with "syswow64"; a shorter path is left alone.
// Returns 1 when the path was changed.
int ApplySysWow64Rule(char* dir, size_t size);

// The directory the installer writes the kit into; 1 on success, 0 when the system gives none.
int GetKitDirectory(char* dir, size_t size);
