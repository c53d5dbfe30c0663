// The target-directory rule and the paths the install sequence derives from it.
#include <gtest/gtest.h>

#include <string>

#include "setup.h"

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
        InstallContext context;
        ASSERT_EQ(BuildInstallContext(&context, c.systemDir, c.wow64), 1) << c.systemDir;
        std::string dir = c.target;
        EXPECT_EQ(context.targetDir, dir);
        EXPECT_EQ(context.wow64, c.wow64);
        EXPECT_EQ(context.driverInstallPath, dir + "\\" + c.driver);
        EXPECT_EQ(context.rootCertPath, dir + "\\rootca.cer");
        EXPECT_EQ(context.subCertPath, dir + "\\subca.cer");
        EXPECT_EQ(context.cspImagePath, dir + "\\KeyCsp.dll");
        EXPECT_EQ(context.trayPath, dir + "\\KeyTray.exe");
        EXPECT_EQ(context.managerPath, dir + "\\KeyManager.exe");
        EXPECT_EQ(context.uninstallerPath, dir + "\\KeyUninstall.exe");
        EXPECT_EQ(context.workPath[0], '\0');
    }
}

TEST(InstallContext, RefusesADirectoryTooLongForItsPaths)
{
    // "\KeyUninstall.exe" needs 17 more bytes and the terminating zero.
    std::string fits(INSTALL_PATH_SIZE - 1 - 17, 'd');
    InstallContext context;
    EXPECT_EQ(BuildInstallContext(&context, fits.c_str(), 0), 1);
    EXPECT_EQ(BuildInstallContext(&context, (fits + "d").c_str(), 0), 0);
    EXPECT_EQ(context.targetDir[0], '\0');
    EXPECT_EQ(context.trayPath[0], '\0');
}
