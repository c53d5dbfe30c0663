// RunInstallSequence: the target directory, the payload rows, then driver, certificates and registry.
#include "setup.h"

#include "bounded_text.h"
#include "system_dir.h"

// Fills the paths derived from the target directory; 1 when every one fits.
static int DerivePaths(InstallContext* context)
{
    const struct { char* path; const char* name; } derived[] = {
        { context->driverInstallPath, context->wow64 ? "DrvSetup64.exe" : "VKEYDRV.INF" },
        { context->rootCertPath, "rootca.cer" },
        { context->subCertPath, "subca.cer" },
        { context->cspImagePath, "KeyCsp.dll" },
        { context->trayPath, "KeyTray.exe" },
        { context->managerPath, "KeyManager.exe" },
        { context->uninstallerPath, "KeyUninstall.exe" },
    };
    for (size_t i = 0; i < sizeof derived / sizeof derived[0]; ++i)
        if (!BuildWorkPath(derived[i].path, INSTALL_PATH_SIZE, context->targetDir, derived[i].name))
            return 0;
    return 1;
}

int BuildInstallContext(InstallContext* context, const char* kitDir, int wow64)
{
    ZeroMemory(context, sizeof *context);
    context->wow64 = wow64 ? 1 : 0;
    if (TextCopy(context->targetDir, sizeof context->targetDir, kitDir) && DerivePaths(context))
        return 1;
    ZeroMemory(context, sizeof *context);
    return 0;
}

int FinishInstallSequence(const InstallContext* context)
{
    if (context->wow64)
        ShellLaunch(context->driverInstallPath, "-install", 0);
    else
        InstallTokenDriver(context->driverInstallPath);
    // A missing trust anchor is reported, but only after every other step has had its turn.
    int rootImported = ImportCertificateFile(context->rootCertPath, "Root");
    int subImported = ImportCertificateFile(context->subCertPath, "CA");
    StartTrayClient(context);
    CreateStartMenuShortcuts(context->managerPath, context->uninstallerPath);
    if (!RegisterCspForUser(context->cspImagePath))
        return -1;
    if (!RegisterCspForMachine(context->cspImagePath, context->trayPath))
        return -1;
    return rootImported == 0 && subImported == 0 ? 0 : -1;
}

int RunInstallSequence(HINSTANCE instance)
{
    InstallContext context;
    char kitDir[INSTALL_PATH_SIZE];
    if (!GetKitDirectory(kitDir, sizeof kitDir))
        return -1;
    if (!BuildInstallContext(&context, kitDir, IsRunningUnderWow64()))
        return -1;
    SetCurrentDirectoryA(context.targetDir);
    // One apartment for the whole sequence. The registrations, the tray start and the links each
    // initialise COM and release it again; without this, each release would tear COM down and the
    // next step build it up again.
    HRESULT com = CoInitialize(NULL);
    // A file that could not be written is reported like a failed import: after every other step.
    int failedFiles = DeployPayload(instance, &context);
    int finished = FinishInstallSequence(&context);
    if (SUCCEEDED(com))
        CoUninitialize();
    return failedFiles == 0 ? finished : -1;
}
