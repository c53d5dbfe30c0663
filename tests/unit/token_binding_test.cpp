// Binding the token libraries: all or nothing (KeyCmd.dll only while a key is open: every test's tear-down).
#include "manager_window.h"

namespace {

typedef ManagerTest TokenBindingTest;

TEST_F(TokenBindingTest, AMissingLibraryOrNameLeavesItsStepUnbound)
{
    Provision("create 0 --label k --pin 1234");
    std::vector<std::pair<std::string, bool>> failures = { { "KeyDev.dll", false }, { "KeyNum.dll", false },
                                                           { "KeyCmd.dll", true } };
    for (const TokenEntryName& e : KeyDevEntries)
        failures.push_back({ e.name, false });
    for (const TokenEntryName& e : KeyNumEntries)
        failures.push_back({ e.name, false });
    for (const TokenEntryName& e : KeyCmdEntries)
        failures.push_back({ e.name, true });
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.first);
        Close();
        Binding.missingLibraries = { failure.first };
        Binding.missingNames = { failure.first };
        Open();
        int bound = 0;
        for (const TokenEntryName& e : KeyDevEntries)
            bound += *e.slot != NULL;
        for (const TokenEntryName& e : KeyNumEntries)
            bound += *e.slot != NULL;
        EXPECT_EQ(bound, failure.second ? KEYDEV_ENTRY_COUNT + KEYNUM_ENTRY_COUNT : 0);
        EXPECT_EQ(KeyDevModule == NULL, !failure.second);
        EXPECT_EQ(Texts(), failure.second ? std::vector<std::string>({ TEXT_NO_KEY }) : std::vector<std::string>());
        EXPECT_EQ(DeviceChange(DBT_DEVICEARRIVAL), TRUE);
        EXPECT_EQ(Root() == NULL, !failure.second) << "without the device libraries keys are ignored";
        for (const TokenEntryName& e : KeyCmdEntries)
            EXPECT_EQ(*e.slot, (void*)NULL) << e.name;
    }
}

} // namespace
