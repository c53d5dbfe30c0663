// Installing the token's USB driver on 32-bit Windows, or staging it when no token is plugged in.
#include "setup.h"

#include <newdev.h>
#include <setupapi.h>

#include "library_search.h"

#define TOKEN_HARDWARE_ID "USB\\VID_5E2B&PID_0001"

// newdev is bound from the system directory when first needed, never imported: an imported one
// would be looked for first beside the installer, in whatever folder it was started from. Not
// found, it fails like the call itself.
static BOOL WINAPI UpdateDriverFromSystem(HWND owner, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL reboot)
{
    static BOOL(WINAPI* update)(HWND owner, LPCSTR hardwareId, LPCSTR infPath, DWORD flags, PBOOL reboot);
    static int bound = -1;
    if (bound < 0)
        bound = BIND_SYSTEM_FUNCTION(LoadSystemLibrary("newdev.dll"), UpdateDriverForPlugAndPlayDevicesA, &update);
    if (!bound) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return update(owner, hardwareId, infPath, flags, reboot);
}

DriverApi TokenDriverApi = { UpdateDriverFromSystem, SetupCopyOEMInfA };

int InstallTokenDriver(const char* infPath)
{
    // Forced: the token's own driver wins even over one the platform ranks higher.
    if (TokenDriverApi.updateDriver(GetDesktopWindow(), TOKEN_HARDWARE_ID, infPath, INSTALLFLAG_FORCE, NULL))
        return 0;
    if (GetLastError() != ERROR_NO_SUCH_DEVINST)
        return -1;
    // No token present: put the package where the platform finds it when one is plugged in.
    char destination[256];
    DWORD requiredSize = 0;
    if (!TokenDriverApi.copyOemInf(infPath, NULL, SPOST_PATH, 0, destination, sizeof destination,
                                   &requiredSize, NULL))
        return -1;
    return 0;
}
