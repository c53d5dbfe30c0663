// Work paths, set-aside names and their recognition, and the certificate size limit.
#include <gtest/gtest.h>

#include <string>

#include "install_paths.h"

namespace {

const std::string Dir = "C:\\windows\\system32\\";

std::string Aside(const std::string& path, unsigned long tick)
{
    char out[INSTALL_PATH_SIZE];
    if (!BuildAsideName(out, sizeof out, path.c_str(), tick))
        return "<refused>";
    return out;
}

} // namespace

TEST(AsideName, TickDigitsReplaceTheLastFourCharacters)
{
    struct Case { const char* name; unsigned long tick; const char* expected; };
    const Case cases[] = {
        { "KeyCmd.dll", 7, "KeyCmd7dll.OBK" },
        { "KeyCmd.dll", 42, "KeyCmd42ll.OBK" },
        { "KeyCmd.dll", 123, "KeyCmd123l.OBK" },
        { "KeyCmd.dll", 1234, "KeyCmd1234.OBK" },
        { "KeyCmd.dll", 123456789, "KeyCmd123456789.OBK" },
        { "KeyCmd.dll", 4294967295UL, "KeyCmd4294967295.OBK" },
        { "KeyUninstall.exe.manifest", 123456789, "KeyUninstall.exe.mani123456789.OBK" },
        { "SealView.ocx", 0, "SealView0ocx.OBK" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(Aside(Dir + c.name, c.tick), Dir + c.expected) << c.name << " at " << c.tick;
}

TEST(AsideName, CountsDoubleByteCharactersWhole)
{
    // Counted in bytes, the digits would land on "文"; counted in characters they land on "钥".
    EXPECT_EQ(Aside("C:\\新钥匙文件", 12), "C:\\新12匙文件.OBK");
    EXPECT_EQ(Aside("C:\\目录\\KeyCmd.dll", 99999), "C:\\目录\\KeyCmd99999.OBK");
    // Shorter than four characters: the digits start at the beginning.
    EXPECT_EQ(Aside("ab", 5), "5b.OBK");
}

TEST(AsideName, RefusesWhatWouldPassTheBuffer)
{
    // 250 + "KeyCmd" + 10 digits + ".OBK" needs 271 bytes.
    std::string longPath = std::string(250, 'x') + "\\KeyCmd.dll";
    char out[INSTALL_PATH_SIZE];
    memset(out, 'z', sizeof out);
    EXPECT_EQ(BuildAsideName(out, sizeof out, longPath.c_str(), 4294967295UL), 0);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[INSTALL_PATH_SIZE - 1], '\0');

    // The boundary: a result of exactly 259 characters fits, 260 does not.
    std::string fits = std::string(259 - 4 - 4, 'y') + ".dll";   // digits "1234" replace ".dll"
    EXPECT_EQ(BuildAsideName(out, sizeof out, fits.c_str(), 1234), 1);
    EXPECT_EQ(strlen(out), 259u);
    std::string tooLong = "y" + fits;
    EXPECT_EQ(BuildAsideName(out, sizeof out, tooLong.c_str(), 1234), 0);
}

TEST(WorkPath, JoinsDirectoryAndNameOrRefuses)
{
    char out[INSTALL_PATH_SIZE];
    ASSERT_EQ(BuildWorkPath(out, sizeof out, "C:\\windows\\syswow64", "KeyTray.exe"), 1);
    EXPECT_STREQ(out, "C:\\windows\\syswow64\\KeyTray.exe");

    std::string dir(259 - 1 - 10, 'd');
    EXPECT_EQ(BuildWorkPath(out, sizeof out, dir.c_str(), "KeyCsp.dll"), 1);
    EXPECT_EQ(strlen(out), 259u);
    memset(out, 'z', sizeof out);
    EXPECT_EQ(BuildWorkPath(out, sizeof out, (dir + "d").c_str(), "KeyCsp.dll"), 0);
    EXPECT_EQ(out[0], '\0') << "a refused path must not leave a cut one behind";
}

TEST(AsideNameRecognition, KnowsTheNamesMadeFromEachPayloadName)
{
    struct Case { const char* file; const char* payload; int expected; };
    const Case cases[] = {
        { "KeyCmd123456789.OBK", "KeyCmd.dll", 1 },
        { "KeyCmd42ll.OBK", "KeyCmd.dll", 1 },
        { "keycmd7dll.obk", "KeyCmd.dll", 1 },
        { "KeyUninstall.exe.mani99.OBK", "KeyUninstall.exe.manifest", 1 },
        { "KeyCspEx55.OBK", "KeyCspEx.dll", 1 },
        { "KeyCspEx55.OBK", "KeyCsp.dll", 0 },
        { "KeyUninstall.exe.mani99.OBK", "KeyUninstall.exe", 0 },
        { "KeyCmd.OBK", "KeyCmd.dll", 0 },
        { "KeyCmd123.BAK", "KeyCmd.dll", 0 },
        { "KeyCmdX123.OBK", "KeyCmd.dll", 0 },
        { "Other123.OBK", "KeyCmd.dll", 0 },
        { "KeyCmd1", "KeyCmd.dll", 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsAsideNameFor(c.file, c.payload), c.expected) << c.file << " / " << c.payload;
    // What the builder makes, the recogniser knows.
    char made[INSTALL_PATH_SIZE];
    ASSERT_EQ(BuildAsideName(made, sizeof made, "DevEnum.dll", 31), 1);
    EXPECT_EQ(IsAsideNameFor(made, "DevEnum.dll"), 1);
}

TEST(CertificateLength, FitsTheBufferOrIsRefused)
{
    struct Case { long length; int expected; };
    const Case cases[] = { { -1, 0 }, { 0, 1 }, { 826, 1 }, { 2048, 1 }, { 2049, 0 }, { 1L << 30, 0 } };
    for (const Case& c : cases)
        EXPECT_EQ(CertificateLengthFits(c.length), c.expected) << c.length;
}
