// KeyDev.dll: recognising key device paths and listing the readers of inserted keys.
#include <windows.h>

#include <string.h>

#include "bounded_text.h"
#include "device_path.h"
#include "key_presence.h"
#include "store_folder.h"
#include "token_exports.h"

enum { READER_NAME_MAX = 32, OUTSTANDING_LISTS = 8 };

// Lists handed out and not yet destroyed; only these may be freed, so a stray pointer is refused.
static SRWLOCK ListLock = SRWLOCK_INIT;
static char* Outstanding[OUTSTANDING_LISTS];

int KEYAPI QZ_IsQZDevice(const char* devicePath)
{
    return IsKeyDevicePath(devicePath);
}

int KEYAPI QZ_GetReaderList(char** list, int* count)
{
    if (!list || !count)
        return -1;
    *list = NULL;
    *count = 0;
    enum { LIST_SIZE = KEY_SLOTS * READER_NAME_MAX + 1 };
    char* names = (char*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, LIST_SIZE);
    if (!names)
        return -1;
    size_t used = 0;
    int found = 0;
    for (int slot = 0; slot < KEY_SLOTS; ++slot) {
        FolderStorage folder;
        KeyStorage storage;
        if (OpenSlotStorage(slot, &folder, &storage) != 0 || !ReadKeyPresence(&storage).inserted)
            continue;
        char name[READER_NAME_MAX] = "";
        TextAppendFormat(name, sizeof name, "Velmora Virtual Key %d", slot);
        size_t n = strlen(name) + 1;
        memcpy(names + used, name, n);
        used += n;
        found++;
    }
    // The zeroed memory after the last name is the empty name that ends the list.
    AcquireSRWLockExclusive(&ListLock);
    int kept = 0;
    for (int i = 0; i < OUTSTANDING_LISTS && !kept; ++i) {
        if (!Outstanding[i]) {
            Outstanding[i] = names;
            kept = 1;
        }
    }
    ReleaseSRWLockExclusive(&ListLock);
    if (!kept) {
        HeapFree(GetProcessHeap(), 0, names);
        return -1;
    }
    *list = names;
    *count = found;
    return 0;
}

int KEYAPI QZ_DestroyReaderList(char* list)
{
    if (!list)
        return -1;
    int known = 0;
    AcquireSRWLockExclusive(&ListLock);
    for (int i = 0; i < OUTSTANDING_LISTS; ++i) {
        if (Outstanding[i] == list) {
            Outstanding[i] = NULL;
            known = 1;
        }
    }
    ReleaseSRWLockExclusive(&ListLock);
    if (!known)
        return -1;
    HeapFree(GetProcessHeap(), 0, list);
    return 0;
}
