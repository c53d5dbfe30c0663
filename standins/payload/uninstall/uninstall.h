// Uninstaller stand-in: the functions its files offer each other.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "texts.h"

#define KIT_MAKER           "Velmora CA"

// What a removal could not do at once: files marked for deletion at the next restart, and files
// that stay because even that mark could not be made.
struct RemovalCount {
    int marked;
    int left;
};

// kit_removal.cpp
// Removes the kit from dir (the kit's directory): stops its programs, unregisters its controls,
// deletes its files and set-aside copies, the Start-menu folder, the CSP keys and the Run value.
// The file keep names (the running uninstaller's own, or NULL) is left for the caller.
void RemoveKit(const char* dir, const char* keep, RemovalCount* count);
// Marks a file for deletion at the next restart, and counts it as marked or, failing, as left.
void MarkForRestart(const char* path, RemovalCount* count);
// 1 when the file's version block names the kit's maker.
int IsKitMadeFile(const char* path);

// private_folder.cpp
// Creates a new folder in Windows' temporary folder under a random name, open to the system and the
// administrators only; 1 with its path, closing backslash included, in path.
int CreatePrivateFolder(char* path, size_t size);
// 1 when folder (closing backslash included) has the form of one that CreatePrivateFolder makes.
int IsPrivateFolder(const char* folder);
// Deletes file and then the folder, each marked for the next restart when it cannot go now.
void RemoveFolderWithFile(const char* folder, const char* file);
