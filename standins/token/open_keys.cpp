// The handle table of KeyCmd.dll. One lock serialises every call, so two threads never interleave
// their reads and writes of the same key.ini.
#include <windows.h>

#include <string.h>

#include "key_store.h"
#include "open_keys.h"

enum { HANDLE_SLOTS = 16, INDEX_BITS = 8, GENERATION_MAX = 0x7FFFFF };

static SRWLOCK TableLock = SRWLOCK_INIT;
static OpenKey Table[HANDLE_SLOTS];
static unsigned NextGeneration = 1;
// The handle whose call holds the table and whether that call is the last its key answers.
static OpenKey* Calling;
static int CallingVanishes;
// The answer of the last call told to fail, until RefusedCall gives it. The manager makes its token
// calls from one thread, which is all a test's fault needs.
static int FaultPending;
static int FaultResult;
static unsigned short FaultStatus;

// Handle = generation above the table index + 1, so a closed handle is not mistaken for a reused one.
static int HandleOf(int index, unsigned generation)
{
    return (int)(generation << INDEX_BITS | (unsigned)(index + 1));
}

static OpenKey* Find(int handle)
{
    if (handle <= 0)
        return NULL;
    int index = (handle & ((1 << INDEX_BITS) - 1)) - 1;
    unsigned generation = (unsigned)handle >> INDEX_BITS;
    if (index < 0 || index >= HANDLE_SLOTS)
        return NULL;
    OpenKey* open = &Table[index];
    return open->inUse && open->generation == generation ? open : NULL;
}

int OpenKeyHandle(int slot)
{
    if (slot < 0 || slot >= KEY_SLOTS)
        return 0;
    AcquireSRWLockExclusive(&TableLock);
    int handle = 0;
    for (int i = 0; i < HANDLE_SLOTS; ++i) {
        OpenKey* open = &Table[i];
        if (open->inUse)
            continue;
        memset(open, 0, sizeof *open);
        if (OpenSlotStorage(slot, &open->folder, &open->storage) != 0 || !IsKeyInserted(&open->storage, &open->key))
            break;
        if (CountKeyCall(&open->storage, &open->key, "QZ_Open", open->calls = 1) & CALL_FAILS) {
            handle = open->key.failResult;
            memset(open, 0, sizeof *open);
            break;
        }
        open->inUse = 1;
        open->slot = slot;
        open->serial = open->key.serial;
        open->generation = NextGeneration;
        NextGeneration = NextGeneration >= GENERATION_MAX ? 1 : NextGeneration + 1;
        ResetCursor(&open->cursor);
        handle = HandleOf(i, open->generation);
        break;
    }
    ReleaseSRWLockExclusive(&TableLock);
    return handle;
}

int CloseKeyHandle(int handle)
{
    AcquireSRWLockExclusive(&TableLock);
    OpenKey* open = Find(handle);
    if (open)
        memset(open, 0, sizeof *open);
    ReleaseSRWLockExclusive(&TableLock);
    return open ? 0 : -1;
}

OpenKey* BeginKeyCall(int handle, const char* call)
{
    AcquireSRWLockExclusive(&TableLock);
    OpenKey* open = Find(handle);
    if (open && IsKeyInserted(&open->storage, &open->key) && open->key.serial == open->serial) {
        // The last call is answered with the key as loaded; it is pulled out once the call is done,
        // so a call that saves key.ini itself (a PIN counter) cannot put it back.
        Calling = open;
        int outcome = CountKeyCall(&open->storage, &open->key, call, ++open->calls);
        CallingVanishes = outcome & CALL_VANISHES;
        if (!(outcome & CALL_FAILS))
            return open;
        FaultPending = 1;
        FaultResult = open->key.failResult;
        FaultStatus = (unsigned short)open->key.failStatus;
        EndKeyCall();
        return NULL;
    }
    ReleaseSRWLockExclusive(&TableLock);
    return NULL;
}

void EndKeyCall(void)
{
    if (CallingVanishes)
        MarkKeyVanished(&Calling->storage, Calling->serial);
    Calling = NULL;
    CallingVanishes = 0;
    ReleaseSRWLockExclusive(&TableLock);
}

int RefusedCall(int result, unsigned short* status)
{
    unsigned short word = SW_UNKNOWN;
    if (FaultPending) {
        result = FaultResult;
        word = FaultStatus;
        FaultPending = 0;
    }
    if (status)
        *status = word;
    return result;
}

int CurrentApplication(const OpenKey* open)
{
    return ApplicationOf(&open->cursor.directory);
}
