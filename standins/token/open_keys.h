// The handles KeyCmd.dll hands out: which slot and key each one means and where it stands in the tree.
#pragma once

#include <stdint.h>

#include "file_system.h"
#include "key_model.h"
#include "store_folder.h"

struct OpenKey {
    int inUse;
    unsigned generation;
    int slot;
    uint32_t serial;               // the key the handle was opened on; another key in the slot ends it
    KeyCursor cursor;
    int verified[KEY_APPLICATIONS]; // PIN verified on this handle since the last reset
    int calls;                     // made on this handle, its open included
    FolderStorage folder;
    KeyStorage storage;
    KeyDescription key;            // read afresh by every call
};

// A new handle (> 0) for the inserted key in slot, or 0.
int OpenKeyHandle(int slot);

// 0, or -1 for a handle that is not open.
int CloseKeyHandle(int handle);

// Takes the handle table for one call and reloads the handle's key: the open key, or null (with the
// table released again) when the handle is not open or its key was pulled out or replaced. Each call
// counts against a key told to vanish; EndKeyCall pulls the key out after the last one it answers.
// A call told to fail (key.ini's fail line) is counted and also gets null.
OpenKey* BeginKeyCall(int handle, const char* call);
void EndKeyCall(void);

// What a call answers when BeginKeyCall gave it null: the fault's result and status word for a call
// told to fail, else result and SW_UNKNOWN. status may be null for calls without one.
int RefusedCall(int result, unsigned short* status);

// Application index selected by the handle's cursor, -1 when the cursor is in the master file.
int CurrentApplication(const OpenKey* open);
