// What the device watcher announces: one event per change, removals before arrivals, and which device
// paths count as keys of this system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_path.h"
#include "file_tree.h"
#include "key_presence.h"
#include "key_store.h"
#include "memory_storage.h"

// Found by argument lookup, so they live beside PresenceEvent in the global namespace.
static bool operator==(const PresenceEvent& a, const PresenceEvent& b)
{
    return a.slot == b.slot && a.change == b.change && a.serial == b.serial;
}

static void PrintTo(const PresenceEvent& e, std::ostream* os)
{
    *os << "{slot " << e.slot << (e.change == KEY_ARRIVED ? " arrived " : " removed ") << std::hex << e.serial << "}";
}

namespace {

struct PresenceCase {
    const char* name;
    KeyPresence before[KEY_SLOTS];
    KeyPresence after[KEY_SLOTS];
    std::vector<PresenceEvent> events;
};

const PresenceCase PresenceCases[] = {
    { "nothing_changed", { { 1, 7 }, {}, {}, {} }, { { 1, 7 }, {}, {}, {} }, {} },
    { "one_arrival", { {}, {}, {}, {} }, { {}, {}, { 1, 9 }, {} }, { { 2, KEY_ARRIVED, 9 } } },
    { "one_removal", { {}, { 1, 5 }, {}, {} }, { {}, {}, {}, {} }, { { 1, KEY_REMOVED, 5 } } },
    { "replaced_between_looks", { { 1, 5 }, {}, {}, {} }, { { 1, 6 }, {}, {}, {} },
      { { 0, KEY_REMOVED, 5 }, { 0, KEY_ARRIVED, 6 } } },
    { "several_slots", { { 1, 1 }, {}, { 1, 3 }, {} }, { {}, { 1, 2 }, { 1, 3 }, { 1, 4 } },
      { { 0, KEY_REMOVED, 1 }, { 1, KEY_ARRIVED, 2 }, { 3, KEY_ARRIVED, 4 } } },
};

class PresenceChange : public ::testing::TestWithParam<PresenceCase> {};

TEST_P(PresenceChange, GivesOneEventPerChange)
{
    PresenceEvent events[PRESENCE_EVENTS_MAX];
    int n = PresenceChanges(GetParam().before, GetParam().after, events);
    EXPECT_EQ(std::vector<PresenceEvent>(events, events + n), GetParam().events);
}

INSTANTIATE_TEST_SUITE_P(KeyPresence, PresenceChange, ::testing::ValuesIn(PresenceCases),
                         [](const ::testing::TestParamInfo<PresenceCase>& info) { return std::string(info.param.name); });

TEST(KeyPresence, OnlyInsertedReadableKeysArePresent)
{
    MemoryStorage memory;
    EXPECT_EQ(ReadKeyPresence(&memory.storage).inserted, 0);
    KeyDescription key = SampleKey();
    StoreKey(memory, key);
    KeyPresence present = ReadKeyPresence(&memory.storage);
    EXPECT_EQ(present.inserted, 1);
    EXPECT_EQ(present.serial, 0x1A2B3C4Du);
    key.inserted = 0;
    StoreKey(memory, key);
    EXPECT_EQ(ReadKeyPresence(&memory.storage).inserted, 0);
    memory.PutText(KEY_INI_PATH, "garbage");
    EXPECT_EQ(ReadKeyPresence(&memory.storage).inserted, 0);
}

struct PathCase {
    const char* path;
    int isKey;
};

const PathCase PathCases[] = {
    { "\\\\?\\USB#VID_5E2B&PID_0001#1A2B3C4D#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 1 },
    { "\\\\?\\usb#vid_5e2b&pid_0001#0#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 1 },
    { "VID_5E2B&PID_0001", 1 },
    { "xxVID_5E2B&PID_0001", 1 },
    { "\\\\?\\USB#VID_5E2B&PID_0002#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 0 },
    { "\\\\?\\USB#VID_046D&PID_C52B#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 0 },
    { "VID_5E2B&PID_000", 0 },
    { "VID_5E2B PID_0001", 0 },
    { "", 0 },
};

class DevicePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(DevicePath, IsRecognisedByItsVendorAndProduct)
{
    EXPECT_EQ(IsKeyDevicePath(GetParam().path), GetParam().isKey) << GetParam().path;
}

INSTANTIATE_TEST_SUITE_P(KeyPresence, DevicePath, ::testing::ValuesIn(PathCases));

TEST(KeyPresence, AnnouncedPathNamesTheKeyAndIsRecognised)
{
    char path[128];
    ASSERT_EQ(FormatKeyDevicePath(0x00C0FFEE, path, sizeof path), 0);
    EXPECT_STREQ(path, "\\\\?\\USB#VID_5E2B&PID_0001#00C0FFEE#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    EXPECT_EQ(IsKeyDevicePath(path), 1);
    EXPECT_EQ(IsKeyDevicePath(NULL), 0);
    EXPECT_EQ(FormatKeyDevicePath(1, path, 20), -1);
}

} // namespace
