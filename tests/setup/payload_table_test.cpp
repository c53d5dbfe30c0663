// The payload rows and the payload the installer carries. Each row's type, id and name are checked
// against the build's own list (setup/CMakeLists.txt), which stages every file as "<row>-<name>"
// and names it in the resource script: a row that named another resource or file would not match.
#include <gtest/gtest.h>

#include <string>

#include "setup_harness.h"
#include "win_harness.h"

namespace {

const PayloadCondition X64 = PAYLOAD_64BIT_ONLY, X86 = PAYLOAD_32BIT_ONLY, ALL = PAYLOAD_ALWAYS;
const ExistingFileHandling DEL = EXISTING_DELETE, ASIDE = EXISTING_SET_ASIDE,
                           STOP = EXISTING_STOP_THEN_SET_ASIDE, REREG = EXISTING_REREGISTER;

// The installer's description of the rows, span by span, written out independently of the code.
const struct {
    int first, last;
    const char* type;
    PayloadCondition condition;
    ExistingFileHandling handling;
    std::vector<DWORD> pauses;
} Spans[] = {
    { 1, 4, "DEV64", X64, DEL, { 500 } },  { 5, 7, "DLL", X86, DEL, { 500 } },
    { 8, 9, "DLL", ALL, DEL, { 500 } },    { 10, 12, "EXE", ALL, STOP, { 500, 500 } },
    { 13, 13, "EXE", ALL, ASIDE, { 500 } }, { 14, 18, "DLL", ALL, ASIDE, { 500 } },
    { 19, 19, "DLL", ALL, REREG, { 200, 500, 300 } }, { 20, 23, "SKF", ALL, ASIDE, { 500 } },
    { 24, 24, "PKCS", ALL, ASIDE, { 500 } }, { 25, 29, "PKCS", ALL, REREG, { 200, 500, 300 } },
    { 30, 34, "DLL", ALL, ASIDE, { 300 } },
};

} // namespace

TEST(PayloadTable, EveryRowAsDescribedAndWrittenOnItsPlatformOnly)
{
    int checked = 0;
    for (const auto& span : Spans) {
        for (int n = span.first; n <= span.last; ++n, ++checked) {
            const PayloadRow& row = PayloadTable[n - 1];
            SCOPED_TRACE("row " + std::to_string(n) + " " + row.name);
            EXPECT_EQ(row.row, n);
            EXPECT_STREQ(row.type, span.type);
            EXPECT_EQ(row.condition, span.condition);
            EXPECT_EQ(row.handling, span.handling);
            std::vector<DWORD> pauses = span.pauses;
            pauses.resize(3, 0);
            EXPECT_EQ(std::vector<DWORD>(row.pauses, row.pauses + 3), pauses);
            EXPECT_EQ(PayloadRowApplies(&row, 1) != 0, span.condition != X86) << "on 64-bit Windows";
            EXPECT_EQ(PayloadRowApplies(&row, 0) != 0, span.condition != X64) << "on 32-bit Windows";
        }
    }
    EXPECT_EQ(checked, PAYLOAD_ROW_COUNT);
    // The old copy of each program is told to end the running one.
    EXPECT_STREQ(PayloadTable[9].stopParameters, "-u");
    EXPECT_STREQ(PayloadTable[10].stopParameters, "-u");
    EXPECT_STREQ(PayloadTable[11].stopParameters, "-remove");
}

TEST(PayloadResources, TheInstallerCarriesEveryRowByteForByte)
{
    HMODULE setup = LoadSetupResources();
    ASSERT_NE(setup, (HMODULE)NULL) << "build setup/KeySetup.exe first";
    for (const PayloadRow& row : PayloadTable) {
        std::vector<unsigned char> carried = ResourceBytes(setup, row.type, row.id);
        std::vector<unsigned char> source =
            ReadBytes(BuildFile("setup/payload-resources/" + std::to_string(row.row) + "-" + row.name));
        ASSERT_FALSE(source.empty()) << "no payload file staged for row " << row.row << " " << row.name;
        EXPECT_TRUE(carried == source) << "row " << row.row << " " << row.name << " (" << row.type << " " << row.id
                                       << "): " << carried.size() << " bytes carried, " << source.size()
                                       << " in the payload";
    }
    // The manager the build just made is the one the installer carries.
    EXPECT_TRUE(ResourceBytes(setup, "EXE", 143) == ReadBytes(BuildFile("manager/KeyManager.exe")));
}

TEST(SetupResources, TheManifestAsksForElevationAndCommonControls6)
{
    std::vector<unsigned char> manifest = ResourceBytes(LoadSetupResources(), (const char*)RT_MANIFEST, 1);
    std::string text(manifest.begin(), manifest.end());
    EXPECT_NE(text.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos) << text;
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos) << text;
}
