// Opens and closes a key in a slot; KeyCmd.dll is loaded only while a key is open.
#include "../manager.h"

int OpenUsbKey(int slot)
{
    if (!BindCommandLibrary())
        return 0;
    int handle = TokenLibrary.QZ_Open(slot);
    if (handle == 0) {
        ReleaseCommandLibrary();
        return 0;
    }
    // A negative handle means no key as well, but leaves the library bound for the next open.
    return handle;
}

void CloseUsbKey(int handle)
{
    if (!KeyCmdModule)
        return;
    if (handle != 0)
        TokenLibrary.QZ_Close(handle);
    ReleaseCommandLibrary();
}

static int OpenForWalk(void*, int slot)
{
    return OpenUsbKey(slot);
}

static void CloseForWalk(void*, int handle)
{
    CloseUsbKey(handle);
}

const KeyWalkHost KeyAccessHost = { NULL, OpenForWalk, CloseForWalk, NULL, NULL, NULL, NULL };
