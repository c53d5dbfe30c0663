// The target-directory rule and the paths derived from it, set-aside names and their recognition.
// The fuzz targets, replayed in every test run, check every work path and set-aside name for being
// whole or refused and found again by the recogniser, and certificate files of 2048 and 2049 bytes.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "setup.h"
#include "system_dir.h"

namespace {

std::string Aside(const std::string& path, unsigned long tick)
{
    char out[INSTALL_PATH_SIZE];
    return BuildAsideName(out, sizeof out, path.c_str(), tick) ? out : "<refused>";
}

} // namespace

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

TEST(AsideName, TickDigitsReplaceTheLastFourCharactersCountedWhole)
{
    struct Case { const char* path; unsigned long tick; const char* expected; };
    const Case cases[] = {
        { "C:\\windows\\KeyCmd.dll", 7, "C:\\windows\\KeyCmd7dll.OBK" },
        { "C:\\windows\\KeyCmd.dll", 42, "C:\\windows\\KeyCmd42ll.OBK" },
        { "C:\\windows\\KeyCmd.dll", 123, "C:\\windows\\KeyCmd123l.OBK" },
        { "C:\\windows\\KeyCmd.dll", 1234, "C:\\windows\\KeyCmd1234.OBK" },
        { "C:\\windows\\KeyCmd.dll", 4294967295UL, "C:\\windows\\KeyCmd4294967295.OBK" },
        // Row 14's name, whose last four characters are not its extension.
        { "C:\\windows\\KeyUninstall.exe.manifest", 123456789, "C:\\windows\\KeyUninstall.exe.mani123456789.OBK" },
        // Counted in bytes, the digits would land on "文"; counted in characters they land on "钥".
        { "C:\\新钥匙文件", 12, "C:\\新12匙文件.OBK" },
        { "C:\\目录\\KeyCmd.dll", 99999, "C:\\目录\\KeyCmd99999.OBK" },
        // Shorter than four characters: the digits start at the beginning.
        { "ab", 5, "5b.OBK" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Aside(c.path, c.tick), c.expected) << c.path << " at " << c.tick;
}

TEST(AsideName, RefusesWhatWouldPassTheBuffer)
{
    char out[INSTALL_PATH_SIZE];
    // A result of exactly 259 characters fits; the digits "1234" replace ".dll".
    std::string fits = std::string(259 - 4 - 4, 'y') + ".dll";
    EXPECT_EQ(BuildAsideName(out, sizeof out, fits.c_str(), 1234), 1);
    EXPECT_EQ(strlen(out), 259u);
    // One more, or ten digits where four were: refused, with nothing cut left behind.
    for (const std::string& path : { "y" + fits, std::string(250, 'x') + "\\KeyCmd.dll" }) {
        memset(out, 'z', sizeof out);
        EXPECT_EQ(BuildAsideName(out, sizeof out, path.c_str(), 4294967295UL), 0) << path.size() << " bytes";
        EXPECT_EQ(out[0], '\0');
        EXPECT_EQ(out[INSTALL_PATH_SIZE - 1], '\0');
    }
}

TEST(AsideNameRecognition, KnowsTheNamesMadeFromEachPayloadName)
{
    struct Case { const char* file; const char* payload; int expected; };
    const Case cases[] = {
        { "KeyCmd123456789.OBK", "KeyCmd.dll", 1 },
        { "KeyCmd42ll.OBK", "KeyCmd.dll", 1 },
        { "keycmd7dll.obk", "KeyCmd.dll", 1 },
        { "KeyUninstall.exe.mani99.OBK", "KeyUninstall.exe.manifest", 1 },
        { "KeyCspEx55.OBK", "KeyCsp.dll", 0 },
        { "KeyCmd.OBK", "KeyCmd.dll", 0 },
        { "KeyCmd123.BAK", "KeyCmd.dll", 0 },
        { "KeyCmdX123.OBK", "KeyCmd.dll", 0 },
        { "KeyCmd1", "KeyCmd.dll", 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsAsideNameFor(c.file, c.payload), c.expected) << c.file << " / " << c.payload;
}
