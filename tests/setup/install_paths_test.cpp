// The target-directory rule and the paths derived from it. Work paths, set-aside names and their
// recognition, and certificate files of 2048 and 2049 bytes are checked by the install_paths and
// cert_file fuzz replays.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "setup.h"
#include "system_dir.h"

TEST(InstallContext, DerivesEveryPathFromTheTargetDirectory)
{
    struct Case { const char* systemDir; int wow64; const char* target; const char* driver; };
    const Case cases[] = {
        { "C:\\windows\\system32", 0, "C:\\windows\\system32", "VKEYDRV.INF" },
        { "C:\\windows\\system32", 1, "C:\\windows\\syswow64", "DrvSetup64.exe" },
        { "D:\\WINNT\\SYSTEM32", 1, "D:\\WINNT\\syswow64", "DrvSetup64.exe" },
        { "C:\\系统\\system32", 1, "C:\\系统\\syswow64", "DrvSetup64.exe" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.systemDir) + (c.wow64 ? " on 64-bit Windows" : ""));
        // What GetKitDirectory makes of the system directory it is told.
        char kitDir[INSTALL_PATH_SIZE];
        snprintf(kitDir, sizeof kitDir, "%s", c.systemDir);
        EXPECT_EQ(c.wow64 ? ApplySysWow64Rule(kitDir, sizeof kitDir) : 0, c.wow64);
        InstallContext context;
        ASSERT_EQ(BuildInstallContext(&context, kitDir, c.wow64), 1);
        const std::string dir = std::string(c.target) + "\\";
        EXPECT_EQ(context.targetDir, std::string(c.target));
        EXPECT_EQ(context.wow64, c.wow64);
        EXPECT_EQ(context.driverInstallPath, dir + c.driver);
        EXPECT_EQ(context.rootCertPath, dir + "rootca.cer");
        EXPECT_EQ(context.subCertPath, dir + "subca.cer");
        EXPECT_EQ(context.cspImagePath, dir + "KeyCsp.dll");
        EXPECT_EQ(context.trayPath, dir + "KeyTray.exe");
        EXPECT_EQ(context.managerPath, dir + "KeyManager.exe");
        EXPECT_EQ(context.uninstallerPath, dir + "KeyUninstall.exe");
        EXPECT_EQ(context.workPath[0], '\0');
    }
}

TEST(InstallContext, RefusesADirectoryTooLongForItsPathsBeforeAnythingIsWritten)
{
    // "\KeyUninstall.exe" needs 17 more bytes and the terminating zero.
    std::string fits(INSTALL_PATH_SIZE - 1 - 17, 'd');
    InstallContext context;
    EXPECT_EQ(BuildInstallContext(&context, fits.c_str(), 0), 1);
    EXPECT_EQ(BuildInstallContext(&context, (fits + "d").c_str(), 0), 0);
    EXPECT_EQ(context.targetDir[0], '\0');
    EXPECT_EQ(context.trayPath[0], '\0');
}
