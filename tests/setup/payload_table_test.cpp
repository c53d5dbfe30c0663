// PayloadTable row by row, which rows each platform writes, and the payload the installer carries.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "setup.h"
#include "setup_harness.h"
#include "win_harness.h"

namespace {

struct ExpectedRow {
    const char* type;
    int id;
    const char* name;
    PayloadCondition condition;
    ExistingFileHandling handling;
    const char* stopParameters;
    DWORD pauses[3];
};

const PayloadCondition X64 = PAYLOAD_64BIT_ONLY, X86 = PAYLOAD_32BIT_ONLY, ALL = PAYLOAD_ALWAYS;
const ExistingFileHandling DEL = EXISTING_DELETE, ASIDE = EXISTING_SET_ASIDE,
                           STOP = EXISTING_STOP_THEN_SET_ASIDE, REREG = EXISTING_REREGISTER;

// The table as the installer's description gives it, written out independently of the code.
const ExpectedRow Expected[PAYLOAD_ROW_COUNT] = {
    { "DEV64", 196, "VKEYDRV.INF", X64, DEL, NULL, { 500 } },
    { "DEV64", 197, "VKEYDRV.sys", X64, DEL, NULL, { 500 } },
    { "DEV64", 198, "vkeydrv.cat", X64, DEL, NULL, { 500 } },
    { "DEV64", 199, "DrvSetup64.exe", X64, DEL, NULL, { 500 } },
    { "DLL", 133, "VKEYDRV.INF", X86, DEL, NULL, { 500 } },
    { "DLL", 101, "VKEYDRV.sys", X86, DEL, NULL, { 500 } },
    { "DLL", 146, "vkeydrv.cat", X86, DEL, NULL, { 500 } },
    { "DLL", 215, "rootca.cer", ALL, DEL, NULL, { 500 } },
    { "DLL", 216, "subca.cer", ALL, DEL, NULL, { 500 } },
    { "EXE", 142, "KeyTray.exe", ALL, STOP, "-u", { 500, 500 } },
    { "EXE", 143, "KeyManager.exe", ALL, STOP, "-u", { 500, 500 } },
    { "EXE", 144, "KeyService.exe", ALL, STOP, "-remove", { 500, 500 } },
    { "EXE", 145, "KeyUninstall.exe", ALL, ASIDE, NULL, { 500 } },
    { "DLL", 209, "KeyUninstall.exe.manifest", ALL, ASIDE, NULL, { 500 } },
    { "DLL", 205, "KeyCsp.dll", ALL, ASIDE, NULL, { 500 } },
    { "DLL", 206, "KeyCspEx.dll", ALL, ASIDE, NULL, { 500 } },
    { "DLL", 207, "KeyCmd.dll", ALL, ASIDE, NULL, { 500 } },
    { "DLL", 208, "KeyDev.dll", ALL, ASIDE, NULL, { 500 } },
    { "DLL", 218, "SignCtl.dll", ALL, REREG, NULL, { 200, 500, 300 } },
    { "SKF", 212, "KeyApp.dll", ALL, ASIDE, NULL, { 500 } },
    { "SKF", 213, "KeyCos.dll", ALL, ASIDE, NULL, { 500 } },
    { "SKF", 214, "KeyIfd.dll", ALL, ASIDE, NULL, { 500 } },
    { "SKF", 217, "KeyNum.dll", ALL, ASIDE, NULL, { 500 } },
    { "PKCS", 220, "p11token.dll", ALL, ASIDE, NULL, { 500 } },
    { "PKCS", 221, "SealView.ocx", ALL, REREG, NULL, { 200, 500, 300 } },
    { "PKCS", 222, "SealMaker.ocx", ALL, REREG, NULL, { 200, 500, 300 } },
    { "PKCS", 223, "BrowserSign.dll", ALL, REREG, NULL, { 200, 500, 300 } },
    { "PKCS", 224, "WebCrypt.dll", ALL, REREG, NULL, { 200, 500, 300 } },
    { "PKCS", 227, "KeyApi.dll", ALL, REREG, NULL, { 200, 500, 300 } },
    { "DLL", 232, "CardExt.dll", ALL, ASIDE, NULL, { 300 } },
    { "DLL", 233, "DevLowApi.dll", ALL, ASIDE, NULL, { 300 } },
    { "DLL", 234, "DevCos.dll", ALL, ASIDE, NULL, { 300 } },
    { "DLL", 235, "DevEnum.dll", ALL, ASIDE, NULL, { 300 } },
    { "DLL", 236, "DevIfd.dll", ALL, ASIDE, NULL, { 300 } },
};

std::string Staged(int row, const char* name)
{
    return BuildFile("setup/payload-resources/" + std::to_string(row) + "-" + name);
}

} // namespace

TEST(PayloadTable, EveryRowAsDescribed)
{
    for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i) {
        const PayloadRow& row = PayloadTable[i];
        const ExpectedRow& want = Expected[i];
        SCOPED_TRACE("row " + std::to_string(i + 1));
        EXPECT_EQ(row.row, i + 1);
        EXPECT_STREQ(row.type, want.type);
        EXPECT_EQ(row.id, want.id);
        EXPECT_STREQ(row.name, want.name);
        EXPECT_EQ(row.condition, want.condition);
        EXPECT_EQ(row.handling, want.handling);
        if (want.stopParameters) {
            EXPECT_STREQ(row.stopParameters, want.stopParameters);
        }
        for (int p = 0; p < 3; ++p)
            EXPECT_EQ(row.pauses[p], want.pauses[p]) << "pause " << p;
    }
}

TEST(PayloadTable, EachPlatformWritesItsOwnDriverPackage)
{
    struct Case { int wow64; std::set<int> skipped; };
    const Case cases[] = { { 1, { 5, 6, 7 } }, { 0, { 1, 2, 3, 4 } } };
    for (const Case& c : cases) {
        std::set<std::string> names;
        for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i) {
            bool applies = PayloadRowApplies(&PayloadTable[i], c.wow64) != 0;
            EXPECT_EQ(applies, c.skipped.count(i + 1) == 0) << "row " << i + 1 << " wow64 " << c.wow64;
            if (applies) {
                EXPECT_TRUE(names.insert(PayloadTable[i].name).second) << "written twice: " << PayloadTable[i].name;
            }
        }
    }
}

TEST(PayloadResources, TheInstallerCarriesEveryRowByteForByte)
{
    HMODULE setup = LoadSetupResources();
    ASSERT_NE(setup, (HMODULE)NULL) << "build setup/KeySetup.exe first";
    for (int i = 0; i < PAYLOAD_ROW_COUNT; ++i) {
        const PayloadRow& row = PayloadTable[i];
        std::vector<unsigned char> carried = ResourceBytes(setup, row.type, row.id);
        std::vector<unsigned char> source = ReadBytes(Staged(row.row, row.name));
        ASSERT_FALSE(source.empty()) << "no payload file staged for row " << row.row;
        EXPECT_TRUE(carried == source) << "row " << row.row << " " << row.name << ": " << carried.size()
                                       << " bytes carried, " << source.size() << " in the payload";
    }
    // The manager the build just made is the one the installer carries.
    EXPECT_TRUE(ResourceBytes(setup, "EXE", 143) == ReadBytes(BuildFile("manager/KeyManager.exe")));
}

TEST(PayloadResources, IconVersionAndManifestOfTheInstaller)
{
    HMODULE setup = LoadSetupResources();
    ASSERT_NE(setup, (HMODULE)NULL);
    EXPECT_NE(FindResourceA(setup, MAKEINTRESOURCEA(119), RT_GROUP_ICON), (HRSRC)NULL);

    std::vector<unsigned char> manifest = ResourceBytes(setup, (const char*)RT_MANIFEST, 1);
    std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos);
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);

    std::string setupPath = BuildFile("setup/KeySetup.exe");
    DWORD size = GetFileVersionInfoSizeA(setupPath.c_str(), NULL);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(setupPath.c_str(), 0, size, block.data()));
    char* version = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\080404b0\\FileVersion", (void**)&version, &length));
    EXPECT_STREQ(version, "1, 0, 0, 11");
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\080404b0\\ProductVersion", (void**)&version, &length));
    EXPECT_STREQ(version, "1, 0, 0, 11");
}
