// Binds the token libraries by name into TokenLibrary and releases them again.
#include "../manager.h"

LibraryLoader TokenLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };

HMODULE KeyDevModule;
HMODULE KeyNumModule;
HMODULE KeyCmdModule;

// Looks up every name of the list in the module; 1 when all were found. On failure the list's
// entries are cleared again, so nothing half-bound stays behind.
static int LookUpEntries(HMODULE module, const TokenEntryName* entries, int count)
{
    for (int i = 0; i < count; ++i) {
        FARPROC address = TokenLoader.lookup(module, entries[i].name);
        if (!address) {
            ClearTokenEntries(entries, count);
            return 0;
        }
        *entries[i].slot = (void*)address;
    }
    return 1;
}

static void ReleaseModule(HMODULE* module, const TokenEntryName* entries, int count)
{
    if (*module)
        TokenLoader.release(*module);
    *module = NULL;
    ClearTokenEntries(entries, count);
}

int BindDeviceLibraries(void)
{
    if (!KeyDevModule) {
        KeyDevModule = TokenLoader.load("KeyDev.dll");
        if (!KeyDevModule || !LookUpEntries(KeyDevModule, KeyDevEntries, KEYDEV_ENTRY_COUNT)) {
            ReleaseModule(&KeyNumModule, KeyNumEntries, KEYNUM_ENTRY_COUNT);
            ReleaseModule(&KeyDevModule, KeyDevEntries, KEYDEV_ENTRY_COUNT);
            return 0;
        }
    }
    if (!KeyNumModule) {
        KeyNumModule = TokenLoader.load("KeyNum.dll");
        if (!KeyNumModule || !LookUpEntries(KeyNumModule, KeyNumEntries, KEYNUM_ENTRY_COUNT)) {
            ReleaseModule(&KeyNumModule, KeyNumEntries, KEYNUM_ENTRY_COUNT);
            ReleaseModule(&KeyDevModule, KeyDevEntries, KEYDEV_ENTRY_COUNT);
            return 0;
        }
    }
    return 1;
}

void ReleaseDeviceLibrary(void)
{
    if (!KeyDevModule)
        return;
    if (TokenLibrary.QZ_UnregisterCardNotification)
        TokenLibrary.QZ_UnregisterCardNotification();
    ReleaseModule(&KeyDevModule, KeyDevEntries, KEYDEV_ENTRY_COUNT);
}

int BindCommandLibrary(void)
{
    if (KeyCmdModule)
        return 1;
    KeyCmdModule = TokenLoader.load("KeyCmd.dll");
    if (!KeyCmdModule)
        return 0;
    if (!LookUpEntries(KeyCmdModule, KeyCmdEntries, KEYCMD_ENTRY_COUNT)) {
        ReleaseModule(&KeyCmdModule, KeyCmdEntries, KEYCMD_ENTRY_COUNT);
        return 0;
    }
    return 1;
}

void ReleaseCommandLibrary(void)
{
    ReleaseModule(&KeyCmdModule, KeyCmdEntries, KEYCMD_ENTRY_COUNT);
}
