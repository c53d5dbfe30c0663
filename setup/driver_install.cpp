// Installing the token's USB driver on 32-bit Windows, or staging it when no token is plugged in.
#include "setup.h"

#include <newdev.h>
#include <setupapi.h>

#define TOKEN_HARDWARE_ID "USB\\VID_5E2B&PID_0001"

DriverApi TokenDriverApi = { UpdateDriverForPlugAndPlayDevicesA, SetupCopyOEMInfA };

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
