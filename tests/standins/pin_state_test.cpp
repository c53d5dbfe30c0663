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

class Pins : public ::testing::Test {
protected:
    MemoryStorage memory;
    KeyDescription key = SampleKey();

    void SetUp() override { StoreKey(memory, key); }

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

struct Attempt {
    const char* pin;
    int answer;
    int storedLeft;
};

struct PinScript {
    const char* name;
    std::vector<Attempt> attempts; // on application 1, PIN "1234", 6 retries
};

const PinScript Scripts[] = {
    { "right_pin", { { "1234", 0, 6 } } },
    { "wrong_then_right_resets", { { "0000", 5, 5 }, { "1111", 4, 4 }, { "1234", 0, 6 }, { "9", 5, 5 } } },
    { "down_to_the_lock",
      { { "1", 5, 5 }, { "2", 4, 4 }, { "3", 3, 3 }, { "4", 2, 2 }, { "5", 1, 1 }, { "6", -1, 0 } } },
    { "locked_refuses_the_right_pin",
      { { "1", 5, 5 }, { "2", 4, 4 }, { "3", 3, 3 }, { "4", 2, 2 }, { "5", 1, 1 }, { "6", -1, 0 }, { "1234", -1, 0 } } },
    { "prefix_of_the_pin_is_wrong", { { "123", 5, 5 }, { "12345", 4, 4 } } },
    { "longest_pin_is_only_wrong", { { "1234567890123456789012345678901", 5, 5 } } },
};

class PinAnswers : public Pins, public ::testing::WithParamInterface<PinScript> {};

TEST_P(PinAnswers, FollowTheCounterAndPersistIt)
{
    int n = 0;
    for (const Attempt& a : GetParam().attempts) {
        EXPECT_EQ(Verify(0, a.pin), a.answer) << "attempt " << n << " with " << a.pin;
        EXPECT_EQ(Stored(0).retriesLeft, a.storedLeft) << "attempt " << n;
        ++n;
    }
    EXPECT_EQ(Stored(1).retriesLeft, 6) << "application 2 must not be touched";
}

INSTANTIATE_TEST_SUITE_P(Pins, PinAnswers, ::testing::ValuesIn(Scripts),
                         [](const ::testing::TestParamInfo<PinScript>& info) { return std::string(info.param.name); });

TEST_F(Pins, ApplicationsCountIndependently)
{
    EXPECT_EQ(Verify(0, "5678"), 5) << "application 2's PIN is not application 1's";
    EXPECT_EQ(Verify(1, "5678"), 0);
    for (int i = 0; i < 6; ++i)
        Verify(1, "x");
    EXPECT_EQ(Verify(1, "5678"), PIN_LOCKED);
    EXPECT_EQ(Verify(0, "1234"), 0);
    EXPECT_EQ(Stored(0).retriesLeft, 6);
    EXPECT_TRUE(IsApplicationLocked(&key.apps[1]));
}

TEST_F(Pins, LockedInKeyIniIsHonouredWhateverTheCounter)
{
    key.apps[0].locked = 1;
    EXPECT_EQ(Verify(0, "1234"), PIN_LOCKED);
    key.apps[0].locked = 0;
    key.apps[0].retriesLeft = 0;
    EXPECT_EQ(Verify(0, "1234"), PIN_LOCKED);
}

TEST_F(Pins, BadArgumentsCountNothing)
{
    EXPECT_EQ(VerifyApplicationPin(&memory.storage, &key, 0, NULL, 4), PIN_BAD_ARGUMENT);
    EXPECT_EQ(Verify(0, ""), PIN_BAD_ARGUMENT);
    EXPECT_EQ(Verify(0, std::string(32, '1')), PIN_BAD_ARGUMENT);
    EXPECT_EQ(Verify(-1, "1234"), PIN_NO_APPLICATION) << "the master file has no PIN";
    EXPECT_EQ(Verify(2, "1234"), PIN_NO_APPLICATION);
    key.apps[1].present = 0;
    EXPECT_EQ(Verify(1, "5678"), PIN_NO_APPLICATION);
    EXPECT_EQ(Stored(0).retriesLeft, 6);
}

TEST_F(Pins, NoAnswerWhenTheCounterCannotBeStored)
{
    memory.failSaves = true;
    EXPECT_EQ(Verify(0, "0000"), PIN_STORE_FAILED);
    EXPECT_EQ(key.apps[0].retriesLeft, 6) << "the description must match what is stored";
    memory.failSaves = false;
    EXPECT_EQ(Verify(0, "0000"), 5);
    memory.failSaves = true;
    EXPECT_EQ(Verify(0, "1234"), PIN_STORE_FAILED) << "the reset must be stored before 0 is answered";
    EXPECT_EQ(key.apps[0].retriesLeft, 5);
}

TEST_F(Pins, RightPinOnAFullCounterWritesNothing)
{
    int before = memory.saves;
    EXPECT_EQ(Verify(0, "1234"), 0);
    EXPECT_EQ(memory.saves, before);
}

std::string ChangeData(const std::string& oldPin, const std::string& newPin)
{
    return oldPin + '\xFF' + newPin;
}

struct ChangeParse {
    const char* name;
    std::string data;
    int result;
    int oldLength;
    int newLength;
};

const ChangeParse ChangeParses[] = {
    { "well_formed", ChangeData("1234", "654321"), PIN_OK, 4, 6 },
    { "shortest", ChangeData("1", "2"), PIN_OK, 1, 1 },
    { "longest", ChangeData(std::string(31, 'a'), std::string(31, 'b')), PIN_OK, 31, 31 },
    { "no_separator", "1234654321", PIN_MALFORMED_CHANGE, 0, 0 },
    { "empty_old", ChangeData("", "1234"), PIN_MALFORMED_CHANGE, 0, 0 },
    { "empty_new", ChangeData("1234", ""), PIN_MALFORMED_CHANGE, 0, 0 },
    { "two_separators", ChangeData("12", "34") + "\xFF" "56", PIN_MALFORMED_CHANGE, 0, 0 },
    { "old_too_long", ChangeData(std::string(32, 'a'), "1"), PIN_MALFORMED_CHANGE, 0, 0 },
    { "new_too_long", ChangeData("1", std::string(32, 'b')), PIN_MALFORMED_CHANGE, 0, 0 },
    { "only_separator", "\xFF", PIN_MALFORMED_CHANGE, 0, 0 },
};

class ChangeDataFormat : public ::testing::TestWithParam<ChangeParse> {};

TEST_P(ChangeDataFormat, SplitsOrRefuses)
{
    const ChangeParse& c = GetParam();
    PinChange change;
    EXPECT_EQ(ParsePinChange((const unsigned char*)c.data.data(), (int)c.data.size(), &change), c.result);
    EXPECT_EQ(change.oldLength, c.oldLength);
    EXPECT_EQ(change.newLength, c.newLength);
}

INSTANTIATE_TEST_SUITE_P(Pins, ChangeDataFormat, ::testing::ValuesIn(ChangeParses),
                         [](const ::testing::TestParamInfo<ChangeParse>& info) { return std::string(info.param.name); });

TEST(ChangeDataLength, MismatchedLengthsAreMalformed)
{
    const std::string data = ChangeData("1234", "5678");
    PinChange change;
    const unsigned char* bytes = (const unsigned char*)data.data();
    EXPECT_EQ(ParsePinChange(bytes, 5, &change), PIN_MALFORMED_CHANGE) << "cut right after the separator";
    EXPECT_EQ(ParsePinChange(bytes, 4, &change), PIN_MALFORMED_CHANGE) << "cut before the separator";
    EXPECT_EQ(ParsePinChange(bytes, -1, &change), PIN_MALFORMED_CHANGE);
    EXPECT_EQ(ParsePinChange(bytes, 64, &change), PIN_MALFORMED_CHANGE);
    EXPECT_EQ(ParsePinChange(NULL, 9, &change), PIN_MALFORMED_CHANGE);
    EXPECT_EQ(ParsePinChange(bytes, 7, &change), PIN_OK) << "a shorter new PIN is still well-formed";
    EXPECT_EQ(change.newLength, 2);
}

TEST_F(Pins, ChangeReplacesThePinOfOneApplication)
{
    EXPECT_EQ(Change(0, ChangeData("1234", "87654321")), PIN_OK);
    EXPECT_EQ(Verify(0, "1234"), 5);
    EXPECT_EQ(Verify(0, "87654321"), 0);
    EXPECT_EQ(Verify(1, "5678"), 0);
    KeyApplication stored = Stored(0);
    EXPECT_EQ(std::string((const char*)stored.pin, (size_t)stored.pinLength), "87654321");
}

TEST_F(Pins, ChangeWithTheWrongOldPinCountsDown)
{
    EXPECT_EQ(Change(0, ChangeData("9999", "1111")), 5);
    EXPECT_EQ(Stored(0).retriesLeft, 5);
    EXPECT_EQ(Change(0, ChangeData("1234", "1111")), PIN_OK);
    EXPECT_EQ(Stored(0).retriesLeft, 6);
}

TEST_F(Pins, ChangeOnALockedApplicationIsRefused)
{
    key.apps[0].retriesLeft = 1;
    EXPECT_EQ(Change(0, ChangeData("0000", "1111")), PIN_LOCKED);
    EXPECT_EQ(Change(0, ChangeData("1234", "1111")), PIN_LOCKED);
    EXPECT_EQ(Verify(0, "1234"), PIN_LOCKED);
}

TEST_F(Pins, MalformedChangeIsRefusedBeforeCounting)
{
    EXPECT_EQ(Change(0, "1234"), PIN_MALFORMED_CHANGE);
    EXPECT_EQ(Change(-1, "1234"), PIN_MALFORMED_CHANGE);
    EXPECT_EQ(Stored(0).retriesLeft, 6);
    EXPECT_EQ(Change(-1, ChangeData("1234", "1")), PIN_NO_APPLICATION);
}

} // namespace
