// How the key's code reaches the files of one slot folder: the libraries and keysim use a folder on
// disk, the tests keep the files in memory. Portable: no windows.h.
#pragma once

#include <stddef.h>

enum {
    STORED_ABSENT = -1,            // no such file
    STORED_TOO_LARGE = -2,         // larger than the caller's buffer
    STORED_ERROR = -3              // there but unreadable
};

// Paths are relative to the slot folder, their parts separated by '\\'.
struct KeyStorage {
    void* context;
    // Reads the whole file into buffer (size may be 0 to ask only whether it exists): its length, or
    // one of the STORED_ values.
    long (*load)(void* context, const char* path, unsigned char* buffer, size_t size);
    // Replaces the file as a whole, creating folders on the way; a reader sees the old bytes or the
    // new ones, never a mix. 0 on success.
    int (*save)(void* context, const char* path, const unsigned char* data, size_t size);
    // Deletes the file; 0 when it is gone afterwards, also when it was never there.
    int (*erase)(void* context, const char* path);
};

// 1 when the file exists (readable or not), 0 when absent.
int StoredFileExists(const KeyStorage* storage, const char* path);
