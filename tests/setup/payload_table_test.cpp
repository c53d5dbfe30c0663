// The payload rows and the payload the installer carries. The table and the resource script are both
// generated from one list (setup/CMakeLists.txt), which stages every file as "<row>-<name>": each row
// must find its resource holding the staged file's bytes.
#include <gtest/gtest.h>

#include <string>

#include "setup_harness.h"
#include "win_harness.h"

TEST(PayloadTable, EachConditionAppliesOnItsWindowsOnly)
{
    const struct {
        PayloadCondition condition;
        bool on64, on32;
    } cases[] = { { PAYLOAD_64BIT_ONLY, true, false }, { PAYLOAD_32BIT_ONLY, false, true }, { PAYLOAD_ALWAYS, true, true } };
    for (const auto& c : cases) {
        PayloadRow row = {};
        row.condition = c.condition;
        EXPECT_EQ(PayloadRowApplies(&row, 1) != 0, c.on64) << "condition " << c.condition << " on 64-bit Windows";
        EXPECT_EQ(PayloadRowApplies(&row, 0) != 0, c.on32) << "condition " << c.condition << " on 32-bit Windows";
    }
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
