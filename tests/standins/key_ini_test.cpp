// key.ini as untrusted input: complete descriptions parse, round trips keep every field, and each kind of
// damage gives a clear reason instead of a half-read key. Random damage is the virtual_key fuzz target's.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "file_tree.h"
#include "key_ini.h"
#include "key_store.h"
#include "memory_storage.h"

namespace {

const char ValidText[] =
    "; a comment\n"
    "[key]\n"
    "serial = 00C0FFEE\n"
    "label=张三的Key\n"
    "inserted=no\n"
    "\n"
    "[application1]\r\n"
    "present=yes\r\n"
    "pin=123456\r\n"
    "max_retries=10\r\n"
    "retries_left=3\r\n"
    "locked=no\r\n"
    "container0=Signing\n"
    "[application2]\n"
    "present=no\n";

int Parse(const std::string& text, KeyDescription* key, std::string* error)
{
    char reason[200] = "";
    int result = ParseKeyIni(text.data(), text.size(), key, reason, sizeof reason);
    *error = reason;
    return result;
}

// Formats key and parses the text back into an identical description; the text is returned.
std::string RoundTrip(const KeyDescription& key)
{
    char text[KEY_INI_MAX];
    int n = FormatKeyIni(&key, text, sizeof text);
    EXPECT_GT(n, 0);
    KeyDescription back;
    std::string error;
    EXPECT_EQ(Parse(std::string(text, n > 0 ? (size_t)n : 0), &back, &error), 0) << error;
    EXPECT_EQ(memcmp(&back, &key, sizeof key), 0) << text;
    return text;
}

TEST(KeyIni, ReadsEveryField)
{
    KeyDescription key;
    std::string error;
    ASSERT_EQ(Parse(ValidText, &key, &error), 0) << error;
    EXPECT_EQ(key.serial, 0x00C0FFEEu);
    EXPECT_STREQ(key.label, "张三的Key");
    EXPECT_EQ(key.inserted, 0);
    EXPECT_EQ(key.vanishAfterCalls, 0) << "absent: the key never vanishes";
    EXPECT_EQ(key.apps[0].present, 1);
    EXPECT_EQ(std::string((const char*)key.apps[0].pin, (size_t)key.apps[0].pinLength), "123456");
    EXPECT_EQ(key.apps[0].maxRetries, 10);
    EXPECT_EQ(key.apps[0].retriesLeft, 3);
    EXPECT_EQ(key.apps[0].locked, 0);
    EXPECT_STREQ(key.apps[0].containerNames[0], "Signing");
    EXPECT_STREQ(key.apps[0].containerNames[1], "VLM-00C0FFEE-DF12"); // the default
    EXPECT_EQ(key.apps[1].present, 0);
}

TEST(KeyIni, RoundTripKeepsEveryFieldAndNonPrintablePins)
{
    KeyDescription key = SampleKey();
    key.apps[0].retriesLeft = 0;
    key.apps[0].locked = 1;
    const unsigned char oddPin[] = { 0x01, 0x20, 'a', 0xFE };
    memcpy(key.apps[1].pin, oddPin, sizeof oddPin);
    key.apps[1].pinLength = sizeof oddPin;
    key.apps[1].retriesLeft = 2;
    std::string text = RoundTrip(key);
    EXPECT_NE(text.find("pin_hex=012061FE"), std::string::npos);
    EXPECT_NE(text.find("in clear"), std::string::npos) << "key.ini must say its PINs are stored in clear";
    char small[100];
    EXPECT_EQ(FormatKeyIni(&key, small, sizeof small), -1);
}

TEST(KeyIni, VanishCounterIsWrittenOnlyWhenSetAndReadsBack)
{
    KeyDescription key = SampleKey();
    EXPECT_EQ(RoundTrip(key).find("vanish"), std::string::npos)
        << "key.ini of a key not told to vanish stays as it was";
    key.vanishAfterCalls = KEY_VANISH_CALLS_MAX;
    std::string text = RoundTrip(key);
    EXPECT_NE(text.find("\nvanish_after_calls=1000000\n"), std::string::npos) << text;
    key.vanishAfterCalls = 1;
    EXPECT_NE(RoundTrip(key).find("\nvanish_after_calls=1\n"), std::string::npos);
}

TEST(KeyIni, EachDamageIsRejectedWithItsReason)
{
    const struct {
        std::string from; // text in ValidText to replace
        std::string to;
        std::string reason; // expected in the error
    } damages[] = {
        { "serial = 00C0FFEE", "serial=C0FFEE", "line 3: serial is not 8 hexadecimal digits" },
        { "serial = 00C0FFEE\n", "", "[key] has no serial" },
        { "[key]\n", "", "line 2: name outside a section" },
        { "inserted=no", "insert=no", "line 5: unknown name 'insert'" },
        // The quote stops at 40 bytes without splitting the character that straddles them.
        { "inserted=no", std::string(39, 'n') + "张=no", "name '" + std::string(39, 'n') + "'" },
        { "inserted=no", "vanish_after_calls=3\nvanish_after_calls=3", "line 6: given twice" },
        { "inserted=no", "inserted=1", "inserted must be yes or no" },
        { "[application2]", "[application3]", "unknown section" },
        { "[application2]", "[application1]", "section given twice" },
        { "[application2]", "[application2", "section without ']'" },
        { "present=no\n", "present no\n", "expected name=value" },
        { "retries_left=3", "retries_left=11", "more retries left than max_retries" },
        { "max_retries=10", "max_retries=0", "max_retries must be 1 to 15" },
        { "max_retries=10", "max_retries=16", "max_retries must be 1 to 15" },
        { "retries_left=3", "retries_left=-1", "retries_left must be 0 to 15" },
        { "pin=123456\r\n", "", "needs pin, max_retries and retries_left" },
        { "pin=123456", "pin=" + std::string(32, '7'), "PIN must be 1 to 31 bytes" },
        { "pin=123456", "pin_hex=123", "PIN must be 1 to 31 bytes" },
        { "pin=123456", "pin_hex=12ZZ", "PIN must be 1 to 31 bytes" },
        { "label=张三的Key", "label=" + std::string(64, 'L'), "label is longer than 63 bytes" },
        { "label=张三的Key", "label=ab\xD5", "not GBK text" },
        { "label=张三的Key", "label=a\x01" "b", "not GBK text" },
        { "container0=Signing", "container0=Sign ing", "container name must be" },
        { "inserted=no", "inserted=no\nvanish_after_calls=0", "vanish_after_calls must be 1 to 1000000" },
        { "inserted=no", "inserted=no\nvanish_after_calls=1000001", "vanish_after_calls must be 1" },
        { "inserted=no", "inserted=no\nvanish_after_calls=00000012", "vanish_after_calls must" },
        { "inserted=no", "inserted=no\nvanish_after_calls=12x", "vanish_after_calls must be 1" },
        { "inserted=no", "inserted=no\nvanish_after_calls=", "vanish_after_calls must be 1" },
        { "; a comment", "; " + std::string(600, 'c'), "line 1: line longer than 512 bytes" },
        { "present=no\n", "present=no\n" + std::string(1, '\0') + "x", "NUL" },
        { "present=no\n", "present=no\n" + std::string(KEY_INI_MAX, ';'), "" },
    };
    for (const auto& d : damages) {
        std::string text = ValidText;
        size_t at = text.find(d.from);
        ASSERT_NE(at, std::string::npos) << d.from;
        text.replace(at, d.from.size(), d.to);
        SCOPED_TRACE("'" + d.from + "' -> '" + d.to.substr(0, 40) + "'");
        KeyDescription key;
        std::string error;
        EXPECT_EQ(Parse(text, &key, &error), -1);
        EXPECT_FALSE(error.empty());
        EXPECT_NE(error.find(d.reason), std::string::npos) << "error was: " << error;
    }
}

// The store tells an empty slot from a damaged one with a reason, and neither is an inserted key.
TEST(KeyStore, MissingUnreadableInvalidAndRemovedKeysAreToldApart)
{
    MemoryStorage memory;
    KeyDescription key;
    char error[200];
    EXPECT_EQ(LoadKeyDescription(&memory.storage, &key, error, sizeof error), KEY_MISSING);
    EXPECT_FALSE(IsKeyInserted(&memory.storage, &key));

    memory.PutText(KEY_INI_PATH, "[key]\nserial=xyz\n");
    EXPECT_EQ(LoadKeyDescription(&memory.storage, &key, error, sizeof error), KEY_INVALID);
    EXPECT_NE(strstr(error, "key.ini: line 2: serial"), nullptr) << error;
    EXPECT_FALSE(IsKeyInserted(&memory.storage, &key));

    memory.files[KEY_INI_PATH] = Bytes(KEY_INI_MAX + 1, ';');
    EXPECT_EQ(LoadKeyDescription(&memory.storage, &key, error, sizeof error), KEY_INVALID);
    EXPECT_NE(error[0], '\0');

    KeyDescription sample = SampleKey();
    sample.inserted = 0;
    ASSERT_EQ(SaveKeyDescription(&memory.storage, &sample), 0);
    EXPECT_FALSE(IsKeyInserted(&memory.storage, &key)) << "a removed key";
    memory.failLoads = true;
    EXPECT_EQ(LoadKeyDescription(&memory.storage, &key, error, sizeof error), KEY_INVALID);
    EXPECT_NE(strstr(error, "cannot be read"), nullptr) << error;
}

} // namespace
