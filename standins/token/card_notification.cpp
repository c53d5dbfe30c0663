// KeyDev.dll's device notifications: the system's USB interface notifications for the window, plus a
// watcher thread that turns insertions and removals in the key store into WM_DEVICECHANGE.
#include <windows.h>
#include <dbt.h>

#include <stddef.h>
#include <string.h>

#include "bounded_text.h"
#include "device_path.h"
#include "key_presence.h"
#include "store_folder.h"
#include "token_exports.h"

enum {
    POLL_MS = 250,                 // a look at the store even when no change was signalled
    SETTLE_MS = 40,                // lets a burst of file events end before the store is read
    SEND_TIMEOUT_MS = 5000,        // a hung window delays the watcher at most this long per message
    STOP_TIMEOUT_MS = 15000
};

static const GUID UsbDeviceInterface = { 0xA5DCBF10, 0x6530, 0x11D2, { 0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED } };

// Owned by the watcher thread, which frees it when it ends.
struct Watcher {
    HWND window;
    HANDLE stop;
    HMODULE module;
    char store[STORE_PATH_MAX];
    KeyPresence seen[KEY_SLOTS];
};

// The current registration; touched only under the lock, never waited on while holding it.
struct Registration {
    HANDLE thread;
    HANDLE stop;
    HDEVNOTIFY deviceNotification;
};
static SRWLOCK RegistrationLock = SRWLOCK_INIT;
static Registration Current;

static void LookAtStore(const Watcher* watcher, KeyPresence presence[KEY_SLOTS])
{
    for (int slot = 0; slot < KEY_SLOTS; ++slot) {
        char folder[STORE_PATH_MAX];
        presence[slot].inserted = 0;
        presence[slot].serial = 0;
        if (GetSlotFolder(watcher->store, slot, folder, sizeof folder) != 0)
            continue;
        FolderStorage files;
        KeyStorage storage;
        OpenFolderStorage(&files, folder, &storage);
        presence[slot] = ReadKeyPresence(&storage);
    }
}

static int Stopping(const Watcher* watcher)
{
    return WaitForSingleObject(watcher->stop, 0) == WAIT_OBJECT_0;
}

// Sends one arrival or removal. The stop flag is checked first, so once unregistering has begun no new
// message starts; one already on its way is delivered by the unregistering thread's wait.
static void Announce(const Watcher* watcher, const PresenceEvent* event)
{
    union {
        DEV_BROADCAST_DEVICEINTERFACE_A record;
        char bytes[sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + 160];
    } buffer;
    ZeroMemory(&buffer, sizeof buffer);
    char* name = buffer.record.dbcc_name;
    size_t room = sizeof buffer - offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
    if (FormatKeyDevicePath(event->serial, name, room) != 0)
        return;
    buffer.record.dbcc_size = (DWORD)(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + strlen(name) + 1);
    buffer.record.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    buffer.record.dbcc_classguid = UsbDeviceInterface;
    WPARAM kind = event->change == KEY_ARRIVED ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
    if (Stopping(watcher))
        return;
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(watcher->window, WM_DEVICECHANGE, kind, (LPARAM)&buffer.record, SMTO_NORMAL,
                        SEND_TIMEOUT_MS, &answer);
}

static void Rescan(Watcher* watcher)
{
    KeyPresence now[KEY_SLOTS];
    LookAtStore(watcher, now);
    PresenceEvent events[PRESENCE_EVENTS_MAX];
    int count = PresenceChanges(watcher->seen, now, events);
    memcpy(watcher->seen, now, sizeof now);
    for (int i = 0; i < count && !Stopping(watcher); ++i)
        Announce(watcher, &events[i]);
}

static HANDLE WatchFolder(const char* store)
{
    return FindFirstChangeNotificationA(store, TRUE,
                                        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                            FILE_NOTIFY_CHANGE_LAST_WRITE | FILE_NOTIFY_CHANGE_SIZE);
}

static DWORD WINAPI WatchStore(void* parameter)
{
    Watcher* watcher = (Watcher*)parameter;
    // The store may not exist yet; the poll keeps trying to watch it.
    HANDLE change = WatchFolder(watcher->store);
    for (;;) {
        HANDLE waits[2] = { watcher->stop, change };
        DWORD count = change != INVALID_HANDLE_VALUE ? 2 : 1;
        DWORD woken = WaitForMultipleObjects(count, waits, FALSE, POLL_MS);
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken == WAIT_OBJECT_0 + 1) {
            if (!FindNextChangeNotification(change)) {
                FindCloseChangeNotification(change);
                change = INVALID_HANDLE_VALUE;
            }
            if (WaitForSingleObject(watcher->stop, SETTLE_MS) == WAIT_OBJECT_0)
                break;
        } else if (change == INVALID_HANDLE_VALUE) {
            change = WatchFolder(watcher->store);
        }
        Rescan(watcher);
        if (Stopping(watcher))
            break;
    }
    if (change != INVALID_HANDLE_VALUE)
        FindCloseChangeNotification(change);
    HMODULE module = watcher->module;
    HeapFree(GetProcessHeap(), 0, watcher);
    // The thread holds its own reference to this library, so it can never run on unloaded code.
    FreeLibraryAndExitThread(module, 0);
    return 0;
}

// Waits for the watcher to end while delivering the messages sent to this thread; 1 when it ended.
static int WaitDeliveringSentMessages(HANDLE thread, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return 0;
        DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, timeoutMs - elapsed, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0)
            return 1;
        if (woken != WAIT_OBJECT_0 + 1)
            return 0;
        MSG message;
        // Peeking handles pending sent messages; posted ones stay queued for the caller's own loop.
        PeekMessageA(&message, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

int KEYAPI QZ_UnregisterCardNotification(void)
{
    AcquireSRWLockExclusive(&RegistrationLock);
    Registration ending = Current;
    ZeroMemory(&Current, sizeof Current);
    ReleaseSRWLockExclusive(&RegistrationLock);
    if (ending.deviceNotification)
        UnregisterDeviceNotification(ending.deviceNotification);
    if (!ending.thread)
        return 0;
    SetEvent(ending.stop);
    // A watcher stuck beyond the timeout keeps its event, its memory and its library reference.
    if (WaitDeliveringSentMessages(ending.thread, STOP_TIMEOUT_MS))
        CloseHandle(ending.stop);
    CloseHandle(ending.thread);
    return 0;
}

int KEYAPI QZ_RegisterCardNotification(void* window, int flags)
{
    (void)flags;
    HWND target = (HWND)window;
    if (!target || !IsWindow(target))
        return -1;
    QZ_UnregisterCardNotification();

    Watcher* watcher = (Watcher*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(Watcher));
    if (!watcher)
        return -1;
    watcher->window = target;
    if (GetKeyStoreFolder(watcher->store, sizeof watcher->store) != 0) {
        HeapFree(GetProcessHeap(), 0, watcher);
        return -1;
    }
    // Keys already inserted were found by the caller's own listing: only changes from here are news.
    LookAtStore(watcher, watcher->seen);
    watcher->stop = CreateEventA(NULL, TRUE, FALSE, NULL);
    BOOL referenced = GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                         (LPCSTR)(void*)&QZ_RegisterCardNotification, &watcher->module);
    if (!watcher->stop || !referenced) {
        if (watcher->stop)
            CloseHandle(watcher->stop);
        if (referenced)
            FreeLibrary(watcher->module);
        HeapFree(GetProcessHeap(), 0, watcher);
        return -1;
    }
    Registration registration;
    ZeroMemory(&registration, sizeof registration);
    registration.stop = watcher->stop;
    registration.thread = CreateThread(NULL, 0, WatchStore, watcher, 0, NULL);
    if (!registration.thread) {
        CloseHandle(watcher->stop);
        FreeLibrary(watcher->module);
        HeapFree(GetProcessHeap(), 0, watcher);
        return -1;
    }

    DEV_BROADCAST_DEVICEINTERFACE_A filter;
    ZeroMemory(&filter, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = UsbDeviceInterface;
    // Without the system's notifications (some hosts have none) the store is still watched.
    registration.deviceNotification = RegisterDeviceNotificationA(target, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);

    AcquireSRWLockExclusive(&RegistrationLock);
    Current = registration;
    ReleaseSRWLockExclusive(&RegistrationLock);
    return 0;
}
