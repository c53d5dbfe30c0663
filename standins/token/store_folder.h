// The virtual key store on disk: where it is, and a KeyStorage over a slot's folder with atomic writes.
#pragma once

#include <stddef.h>

#include "key_storage.h"

#define KEY_STORE_VARIABLE "KEYSIM_STORE"
#define KEY_STORE_DEFAULT_NAME "VelmoraKeySim"

enum { STORE_PATH_MAX = 260 };

// %KEYSIM_STORE% when set, else the all-users application data folder + "\VelmoraKeySim". 0 on success.
int GetKeyStoreFolder(char* folder, size_t size);

// store + "\slotN"; 0 on success.
int GetSlotFolder(const char* store, int slot, char* folder, size_t size);

// Storage over a folder (copied); with an empty or too long path every load, save and erase fails.
struct FolderStorage {
    char folder[STORE_PATH_MAX];
};
void OpenFolderStorage(FolderStorage* folder, const char* path, KeyStorage* storage);

// Storage of slot's folder in the current store; 0 on success.
int OpenSlotStorage(int slot, FolderStorage* folder, KeyStorage* storage);

// Deletes folder with everything below it; 0 when it is gone (also when it never existed).
int DeleteFolderTree(const char* folder);

// Reads a whole file by its Windows path: length, or a STORED_ value.
long ReadWholeFile(const char* path, unsigned char* buffer, size_t size);
