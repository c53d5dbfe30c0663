// Stand-in for DrvSetup64.exe: "-install" installs or stages the driver package that lies next to it,
// the way the installer itself does on 32-bit Windows.
#include "setup.h"

#include <string.h>

#include "bounded_text.h"
#include "module_dir.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int)
{
    if (!strstr(commandLine, "-install"))
        return 0;
    char infPath[MAX_PATH];
    if (!GetModuleFolder(NULL, infPath, sizeof infPath) || !TextAppend(infPath, sizeof infPath, "VKEYDRV.INF"))
        return 1;
    return InstallTokenDriver(infPath) == 0 ? 0 : 1;
}
