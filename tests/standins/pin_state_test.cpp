// PIN answers per application: counting down to the lock, resets on the right PIN, counters written
// before answering, and the change data format.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "key_store.h"
#include "memory_storage.h"
#include "pin_state.h"

namespace {

std::string ChangeData(const std::string& oldPin, const std::string& newPin)
{
    return oldPin + '\xFF' + newPin;
}

// The sample key (PINs "1234" and "5678", 6 retries) in a store.
class Pins : public ::testing::Test {
protected:
    MemoryStorage memory;
    KeyDescription key = SampleKey();

    void SetUp() override { SaveKeyDescription(&memory.storage, &key); }

    int Verify(int app, const std::string& pin)
    {
        return VerifyApplicationPin(&memory.storage, &key, app, (const unsigned char*)pin.data(), (int)pin.size());
    }

    int Change(int app, const std::string& data)
    {
        return ChangeApplicationPin(&memory.storage, &key, app, (const unsigned char*)data.data(), (int)data.size());
    }

    // What another process would read from the store now.
    KeyApplication Stored(int app)
    {
        KeyDescription stored;
        char error[100];
        EXPECT_EQ(LoadKeyDescription(&memory.storage, &stored, error, sizeof error), KEY_LOADED) << error;
        return stored.apps[app];
    }
};

TEST_F(Pins, AnswersFollowTheStoredCounterDownToTheLock)
{
    // PIN on application 1, and the answer: 0 right, n retries left, or locked.
    const std::vector<std::pair<std::string, int>> attempts = {
        { "1234", 0 }, { "0000", 5 }, { "1111", 4 }, { "1234", 0 }, // the right PIN resets the counter
        { "123", 5 },  { "12345", 4 }, { std::string(31, '1'), 3 }, { "1234", 0 },
        { "1", 5 },    { "2", 4 },     { "3", 3 },  { "4", 2 },  { "5", 1 },  { "6", PIN_LOCKED },
        { "1234", PIN_LOCKED }, // locked for the right PIN too
    };
    for (size_t i = 0; i < attempts.size(); ++i) {
        const auto& a = attempts[i];
        EXPECT_EQ(Verify(0, a.first), a.second) << "attempt " << i << ": " << a.first;
        EXPECT_EQ(Stored(0).retriesLeft, a.second == PIN_LOCKED ? 0 : a.second == 0 ? 6 : a.second) << i;
    }
    EXPECT_TRUE(Stored(0).locked);
    EXPECT_EQ(Stored(1).retriesLeft, 6) << "application 2 counts on its own";
    EXPECT_EQ(Verify(0, "5678"), PIN_LOCKED);
    EXPECT_EQ(Verify(1, "1234"), 5) << "application 1's PIN is not application 2's";
    EXPECT_EQ(Verify(1, "5678"), 0);

    // locked=yes in key.ini is honoured whatever the counter, and so is a counter at 0.
    key.apps[1].locked = 1;
    EXPECT_EQ(Verify(1, "5678"), PIN_LOCKED);
    key.apps[1].locked = 0;
    key.apps[1].retriesLeft = 0;
    EXPECT_EQ(Verify(1, "5678"), PIN_LOCKED);
}

TEST_F(Pins, BadArgumentsAndFailedWritesDecideNothing)
{
    EXPECT_EQ(VerifyApplicationPin(&memory.storage, &key, 0, NULL, 4), PIN_BAD_ARGUMENT);
    EXPECT_EQ(Verify(0, ""), PIN_BAD_ARGUMENT);
    EXPECT_EQ(Verify(0, std::string(32, '1')), PIN_BAD_ARGUMENT);
    EXPECT_EQ(Verify(-1, "1234"), PIN_NO_APPLICATION) << "the master file has no PIN";
    EXPECT_EQ(Verify(2, "1234"), PIN_NO_APPLICATION);
    EXPECT_EQ(Stored(0).retriesLeft, 6);

    memory.failSaves = true;
    EXPECT_EQ(Verify(0, "0000"), PIN_STORE_FAILED);
    EXPECT_EQ(key.apps[0].retriesLeft, 6) << "the description must match what is stored";
    memory.failSaves = false;
    EXPECT_EQ(Verify(0, "0000"), 5);
    memory.failSaves = true;
    EXPECT_EQ(Verify(0, "1234"), PIN_STORE_FAILED) << "the reset must be stored before 0 is answered";
    EXPECT_EQ(key.apps[0].retriesLeft, 5);
    EXPECT_EQ(Change(0, ChangeData("1234", "99")), PIN_STORE_FAILED);
    memory.failSaves = false;
    EXPECT_EQ(Verify(0, "99"), 4) << "a change that was not stored did not happen";
    key.apps[1].present = 0;
    EXPECT_EQ(Verify(1, "5678"), PIN_NO_APPLICATION);
}

TEST(ChangeData, SplitsAtTheOneSeparatorOrIsMalformed)
{
    const std::string data = ChangeData("1234", "5678");
    const struct {
        std::string data;
        int length;
        int oldLength; // both 0: malformed
        int newLength;
    } cases[] = {
        { data, 9, 4, 4 },
        { data, 7, 4, 2 }, // a shorter new PIN is still well-formed
        { ChangeData("1", "2"), 3, 1, 1 },
        { ChangeData(std::string(31, 'a'), std::string(31, 'b')), 63, 31, 31 },
        { data, 5, 0, 0 }, // cut right after the separator
        { data, 4, 0, 0 }, // cut before it
        { data, -1, 0, 0 },
        { "1234654321", 10, 0, 0 },
        { ChangeData("", "1234"), 5, 0, 0 },
        { ChangeData("12", "34") + "\xFF" "56", 8, 0, 0 },
        { ChangeData(std::string(32, 'a'), "1"), 34, 0, 0 },
        { ChangeData("1", std::string(32, 'b')), 34, 0, 0 },
        { "\xFF", 1, 0, 0 },
    };
    for (const auto& c : cases) {
        PinChange change;
        int result = ParsePinChange((const unsigned char*)c.data.data(), c.length, &change);
        EXPECT_EQ(result, c.oldLength ? PIN_OK : PIN_MALFORMED_CHANGE) << c.data.substr(0, 12) << ", " << c.length;
        EXPECT_EQ(change.oldLength, c.oldLength) << c.data.substr(0, 12) << ", " << c.length;
        EXPECT_EQ(change.newLength, c.newLength) << c.data.substr(0, 12) << ", " << c.length;
    }
    PinChange change;
    EXPECT_EQ(ParsePinChange(NULL, 9, &change), PIN_MALFORMED_CHANGE);
}

TEST_F(Pins, ChangeNeedsTheOldPinAndReplacesOnlyItsApplication)
{
    EXPECT_EQ(Change(0, "1234"), PIN_MALFORMED_CHANGE);
    EXPECT_EQ(Change(-1, "1234"), PIN_MALFORMED_CHANGE) << "malformed data is refused before anything else";
    EXPECT_EQ(Change(-1, ChangeData("1234", "1")), PIN_NO_APPLICATION);
    EXPECT_EQ(Change(0, ChangeData("9999", "1111")), 5);
    EXPECT_EQ(Stored(0).retriesLeft, 5);
    EXPECT_EQ(Change(0, ChangeData("1234", "87654321")), PIN_OK);
    KeyApplication stored = Stored(0);
    EXPECT_EQ(stored.retriesLeft, 6);
    EXPECT_EQ(std::string((const char*)stored.pin, (size_t)stored.pinLength), "87654321");
    EXPECT_EQ(Verify(0, "1234"), 5);
    EXPECT_EQ(Verify(0, "87654321"), 0);
    EXPECT_EQ(Verify(1, "5678"), 0);

    key.apps[0].retriesLeft = 1;
    EXPECT_EQ(Change(0, ChangeData("0000", "1111")), PIN_LOCKED);
    EXPECT_EQ(Change(0, ChangeData("87654321", "1111")), PIN_LOCKED);
    EXPECT_EQ(Verify(0, "87654321"), PIN_LOCKED);
}

} // namespace
