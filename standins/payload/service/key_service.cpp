// Stand-in for the kit's Windows service KeyService.exe: runs as the service "KeyService" that
// idles until stopped; "-install" creates and starts it, "-remove" stops and deletes it.
#include <windows.h>

#include <string.h>

#define SERVICE_NAME    "KeyService"
#define DISPLAY_NAME    "Velmora Key Service"

enum { STOP_WAIT_MS = 10000, LOCK_WAIT_MS = 20000 };

static SERVICE_STATUS_HANDLE StatusHandle;
static HANDLE StopEvent;

static void ReportState(DWORD state)
{
    SERVICE_STATUS status;
    ZeroMemory(&status, sizeof status);
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(StatusHandle, &status);
}

static DWORD WINAPI OnControl(DWORD control, DWORD, LPVOID, LPVOID)
{
    if (control == SERVICE_CONTROL_STOP) {
        ReportState(SERVICE_STOP_PENDING);
        SetEvent(StopEvent);
    }
    return NO_ERROR;
}

static void WINAPI ServiceMain(DWORD, LPSTR*)
{
    StatusHandle = RegisterServiceCtrlHandlerExA(SERVICE_NAME, OnControl, NULL);
    if (!StatusHandle)
        return;
    StopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    ReportState(SERVICE_RUNNING);
    WaitForSingleObject(StopEvent, INFINITE);
    ReportState(SERVICE_STOPPED);
}

// The service manager locks its database while it starts a service (a driver after an update,
// say); a change asked for meanwhile is refused, so it is asked again until the lock is gone.
static bool DatabaseLockedYet(DWORD start)
{
    if (GetLastError() != ERROR_SERVICE_DATABASE_LOCKED || GetTickCount() - start > LOCK_WAIT_MS)
        return false;
    Sleep(250);
    return true;
}

// Both switches end with 0 or the system's error code, for whoever started them to read.
static int InstallService(void)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return ERROR_FILENAME_EXCED_RANGE;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
    if (!manager)
        return (int)GetLastError();
    DWORD start = GetTickCount();
    SC_HANDLE service;
    do
        service = CreateServiceA(manager, SERVICE_NAME, DISPLAY_NAME, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path, NULL, NULL, NULL, NULL, NULL);
    while (!service && DatabaseLockedYet(start));
    if (!service)
        service = OpenServiceA(manager, SERVICE_NAME, SERVICE_ALL_ACCESS);
    int result = (int)GetLastError();
    if (service) {
        BOOL started;
        do
            started = StartServiceA(service, 0, NULL) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
        while (!started && DatabaseLockedYet(start));
        result = started ? 0 : (int)GetLastError();
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return result;
}

// Waits until the service reports stopped, so its program no longer holds its file.
static void WaitUntilStopped(SC_HANDLE service)
{
    DWORD start = GetTickCount();
    SERVICE_STATUS status;
    while (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED
           && GetTickCount() - start < STOP_WAIT_MS)
        Sleep(100);
}

static int RemoveService(void)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!manager)
        return (int)GetLastError();
    SC_HANDLE service = OpenServiceA(manager, SERVICE_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    int result = 0;
    if (service) {
        SERVICE_STATUS status;
        if (ControlService(service, SERVICE_CONTROL_STOP, &status))
            WaitUntilStopped(service);
        result = DeleteService(service) ? 0 : (int)GetLastError();
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return result;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    if (strstr(commandLine, "-remove"))
        return RemoveService();
    if (strstr(commandLine, "-install"))
        return InstallService();
    SERVICE_TABLE_ENTRYA services[] = { { (LPSTR)SERVICE_NAME, ServiceMain }, { NULL, NULL } };
    // Started by hand rather than by the service manager: nothing to do.
    StartServiceCtrlDispatcherA(services);
    return 0;
}
