// What the device watcher announces: one event per change, removals before arrivals, and which device
// paths count as keys of this system.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device_path.h"
#include "key_presence.h"

namespace {

std::string Describe(const PresenceEvent* events, int n)
{
    std::string text;
    for (int i = 0; i < n; ++i)
        text += std::to_string(events[i].slot) + (events[i].change == KEY_ARRIVED ? "+" : "-") +
                std::to_string(events[i].serial) + " ";
    return text;
}

TEST(KeyPresence, GivesOneEventPerChangeRemovalsFirst)
{
    const struct {
        KeyPresence before[KEY_SLOTS];
        KeyPresence after[KEY_SLOTS];
        const char* events; // slot, + arrived or - removed, serial
    } cases[] = {
        { { { 1, 7 }, {}, {}, {} }, { { 1, 7 }, {}, {}, {} }, "" },
        { { {}, {}, {}, {} }, { {}, {}, { 1, 9 }, {} }, "2+9 " },
        { { {}, { 1, 5 }, {}, {} }, { {}, {}, {}, {} }, "1-5 " },
        { { { 1, 5 }, {}, {}, {} }, { { 1, 6 }, {}, {}, {} }, "0-5 0+6 " }, // replaced between two looks
        { { { 1, 1 }, {}, { 1, 3 }, {} }, { {}, { 1, 2 }, { 1, 3 }, { 1, 4 } }, "0-1 1+2 3+4 " },
    };
    for (const auto& c : cases) {
        PresenceEvent events[PRESENCE_EVENTS_MAX];
        int n = PresenceChanges(c.before, c.after, events);
        EXPECT_EQ(Describe(events, n), c.events);
    }
}

TEST(KeyPresence, DevicePathsAreRecognisedByVendorAndProduct)
{
    char path[128];
    ASSERT_EQ(FormatKeyDevicePath(0x00C0FFEE, path, sizeof path), 0);
    EXPECT_STREQ(path, "\\\\?\\USB#VID_5E2B&PID_0001#00C0FFEE#{a5dcbf10-6530-11d2-901f-00c04fb951ed}");
    char small[20];
    EXPECT_EQ(FormatKeyDevicePath(1, small, sizeof small), -1);
    const struct {
        const char* path;
        int isKey;
    } cases[] = {
        { path, 1 },
        { "\\\\?\\usb#vid_5e2b&pid_0001#0#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 1 },
        { "xxVID_5E2B&PID_0001", 1 },
        { "\\\\?\\USB#VID_5E2B&PID_0002#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 0 },
        { "\\\\?\\USB#VID_046D&PID_C52B#1#{a5dcbf10-6530-11d2-901f-00c04fb951ed}", 0 },
        { "VID_5E2B&PID_000", 0 },
        { "VID_5E2B PID_0001", 0 },
        { "", 0 },
        { NULL, 0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsKeyDevicePath(c.path), c.isKey) << (c.path ? c.path : "(null)");
}

} // namespace
