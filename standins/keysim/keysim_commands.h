// What each keysim subcommand does to the store, through a host that owns the files and the console.
// Portable: no windows.h, so the tests run every subcommand against a store in memory.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "key_storage.h"
#include "keysim_args.h"

enum { KEYSIM_DONE = 0, KEYSIM_USAGE = 1, KEYSIM_FAILED = 2 };

struct KeysimHost {
    void* context;
    // The storage of the slot's folder (the folder need not exist yet).
    void (*slotStorage)(void* context, int slot, KeyStorage* storage);
    // Deletes the slot's folder and everything in it; 0 when it is gone.
    int (*deleteSlot)(void* context, int slot);
    // Reads a file the user named: its length, or a STORED_ value.
    long (*readFile)(void* context, const char* path, unsigned char* buffer, size_t size);
    uint32_t (*randomSerial)(void* context);
    void (*print)(void* context, const char* text);
    void (*printError)(void* context, const char* text);
};

// Runs a parsed command: KEYSIM_DONE or KEYSIM_FAILED (with the reason printed as an error).
int RunKeysimCommand(const KeysimCommand* command, const KeysimHost* host);

// The text of "show" for one slot; 0, or -1 when the slot holds no readable key (text then says why).
int DescribeSlot(const KeyStorage* storage, int slot, char* text, size_t size);
