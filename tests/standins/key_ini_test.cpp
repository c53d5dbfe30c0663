// key.ini as untrusted input: complete descriptions parse, round trips keep every field, and each kind of
// damage gives a clear reason instead of a half-read key.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
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

KeyDescription Parse(const std::string& text, int* result, std::string* error)
{
    KeyDescription key;
    char reason[200];
    *result = ParseKeyIni(text.data(), text.size(), &key, reason, sizeof reason);
    *error = reason;
    return key;
}

TEST(KeyIni, ReadsEveryField)
{
    int result;
    std::string error;
    KeyDescription key = Parse(ValidText, &result, &error);
    ASSERT_EQ(result, 0) << error;
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
    char text[KEY_INI_MAX];
    int n = FormatKeyIni(&key, text, sizeof text);
    ASSERT_GT(n, 0);
    EXPECT_NE(strstr(text, "pin_hex=012061FE"), nullptr);
    EXPECT_NE(strstr(text, "in clear"), nullptr) << "key.ini must say its PINs are stored in clear";

    KeyDescription back;
    char error[200];
    ASSERT_EQ(ParseKeyIni(text, (size_t)n, &back, error, sizeof error), 0) << error;
    EXPECT_EQ(memcmp(&back, &key, sizeof key), 0);
}

TEST(KeyIni, VanishCounterIsWrittenOnlyWhenSetAndReadsBack)
{
    KeyDescription key = SampleKey();
    char text[KEY_INI_MAX];
    ASSERT_GT(FormatKeyIni(&key, text, sizeof text), 0);
    EXPECT_EQ(strstr(text, "vanish"), nullptr) << "key.ini of a key not told to vanish stays as it was";
    key.vanishAfterCalls = KEY_VANISH_CALLS_MAX;
    int n = FormatKeyIni(&key, text, sizeof text);
    ASSERT_GT(n, 0);
    EXPECT_NE(strstr(text, "\nvanish_after_calls=1000000\n"), nullptr) << text;
    KeyDescription back;
    char error[200];
    ASSERT_EQ(ParseKeyIni(text, (size_t)n, &back, error, sizeof error), 0) << error;
    EXPECT_EQ(memcmp(&back, &key, sizeof key), 0);
}

TEST(KeyIni, FormatRefusesABufferTooSmall)
{
    KeyDescription key = SampleKey();
    char text[100];
    EXPECT_EQ(FormatKeyIni(&key, text, sizeof text), -1);
}

struct Damage {
    const char* name;
    std::string from;              // text in ValidText to replace
    std::string to;
    const char* reason;            // expected in the error
};

std::string Damaged(const Damage& d)
{
    std::string text = ValidText;
    size_t at = text.find(d.from);
    if (at == std::string::npos)
        return "(test error: '" + d.from + "' not in the text)";
    return text.replace(at, d.from.size(), d.to);
}

const Damage Damages[] = {
    { "serial_too_short", "serial = 00C0FFEE", "serial=C0FFEE", "line 3: serial is not 8 hexadecimal digits" },
    { "serial_not_hex", "serial = 00C0FFEE", "serial=00C0FFEG", "serial is not 8 hexadecimal digits" },
    { "serial_missing", "serial = 00C0FFEE\n", "", "[key] has no serial" },
    { "no_key_section", "[key]\n", "", "line 2: name outside a section" },
    { "unknown_name", "inserted=no", "insert=no", "line 5: unknown name 'insert'" },
    { "given_twice", "inserted=no", "inserted=no\ninserted=yes", "given twice" },
    { "bad_yes_no", "inserted=no", "inserted=1", "inserted must be yes or no" },
    { "unknown_section", "[application2]", "[application3]", "unknown section" },
    { "section_twice", "[application2]", "[application1]", "section given twice" },
    { "unclosed_section", "[application2]", "[application2", "section without ']'" },
    { "no_equals", "present=no\n", "present no\n", "expected name=value" },
    { "retries_too_many", "retries_left=3", "retries_left=11", "more retries left than max_retries" },
    { "max_zero", "max_retries=10", "max_retries=0", "max_retries must be 1 to 15" },
    { "max_too_big", "max_retries=10", "max_retries=16", "max_retries must be 1 to 15" },
    { "retries_negative", "retries_left=3", "retries_left=-1", "retries_left must be 0 to 15" },
    { "pin_missing", "pin=123456\r\n", "", "needs pin, max_retries and retries_left" },
    { "pin_too_long", "pin=123456", "pin=" + std::string(32, '7'), "PIN must be 1 to 31 bytes" },
    { "pin_empty", "pin=123456", "pin=", "PIN must be 1 to 31 bytes" },
    { "pin_hex_odd", "pin=123456", "pin_hex=123", "PIN must be 1 to 31 bytes" },
    { "pin_hex_not_hex", "pin=123456", "pin_hex=12ZZ", "PIN must be 1 to 31 bytes" },
    { "label_too_long", "label=张三的Key", "label=" + std::string(64, 'L'), "label is longer than 63 bytes" },
    { "label_cut_gbk", "label=张三的Key", "label=ab\xD5", "not GBK text" },
    { "label_control", "label=张三的Key", "label=a\x01" "b", "not GBK text" },
    { "container_name_space", "container0=Signing", "container0=Sign ing", "container name must be" },
    { "vanish_zero", "inserted=no", "inserted=no\nvanish_after_calls=0", "vanish_after_calls must be 1 to 1000000" },
    { "vanish_negative", "inserted=no", "inserted=no\nvanish_after_calls=-5", "vanish_after_calls must be 1" },
    { "vanish_too_big", "inserted=no", "inserted=no\nvanish_after_calls=1000001", "vanish_after_calls must be 1" },
    { "vanish_eight_digits", "inserted=no", "inserted=no\nvanish_after_calls=00000012", "vanish_after_calls must" },
    { "vanish_not_a_number", "inserted=no", "inserted=no\nvanish_after_calls=12x", "vanish_after_calls must be 1" },
    { "vanish_empty", "inserted=no", "inserted=no\nvanish_after_calls=", "vanish_after_calls must be 1" },
    { "vanish_twice", "inserted=no", "vanish_after_calls=3\nvanish_after_calls=3", "line 6: given twice" },
    { "line_too_long", "; a comment", "; " + std::string(600, 'c'), "line 1: line longer than 512 bytes" },
};

class DamagedKeyIni : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedKeyIni, IsRejectedWithItsReason)
{
    int result;
    std::string error;
    Parse(Damaged(GetParam()), &result, &error);
    EXPECT_EQ(result, -1);
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << "error was: " << error;
}

INSTANTIATE_TEST_SUITE_P(KeyIni, DamagedKeyIni, ::testing::ValuesIn(Damages),
                         [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(KeyIni, RejectsNulBytesAndOversizedText)
{
    int result;
    std::string error;
    std::string withNul = std::string(ValidText) + std::string(1, '\0') + "x";
    Parse(withNul, &result, &error);
    EXPECT_EQ(result, -1);
    EXPECT_NE(error.find("NUL"), std::string::npos);
    Parse(std::string(ValidText) + std::string(KEY_INI_MAX, ';'), &result, &error);
    EXPECT_EQ(result, -1);
}

// Random damage anywhere in a valid file: parsing ends with a description or a reason, never a crash,
// and a description that parses is complete (every present application has a sane counter).
TEST(KeyIni, SurvivesRandomDamage)
{
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::string text = ValidText;
        int edits = 1 + (int)(random() % 4);
        for (int e = 0; e < edits; ++e) {
            size_t at = random() % text.size();
            switch (random() % 3) {
            case 0: text[at] = (char)(random() % 256); break;
            case 1: text.erase(at, 1 + random() % 8); break;
            default: text.insert(at, 1, (char)(random() % 256)); break;
            }
            if (text.empty())
                text = "[";
        }
        KeyDescription key;
        char error[64];
        if (ParseKeyIni(text.data(), text.size(), &key, error, sizeof error) == 0) {
            for (const KeyApplication& app : key.apps) {
                if (!app.present)
                    continue;
                ASSERT_GE(app.pinLength, KEY_PIN_MIN);
                ASSERT_LE(app.retriesLeft, app.maxRetries);
            }
        } else {
            ASSERT_NE(error[0], '\0');
        }
    }
}

TEST(KeyStore, MissingUnreadableAndInvalidFilesAreToldApart)
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

    memory.failLoads = true;
    EXPECT_EQ(LoadKeyDescription(&memory.storage, &key, error, sizeof error), KEY_INVALID);
    EXPECT_NE(strstr(error, "cannot be read"), nullptr);
}

TEST(KeyStore, SavedKeyLoadsBackAndRemovedKeyIsNotInserted)
{
    MemoryStorage memory;
    KeyDescription key = SampleKey();
    ASSERT_EQ(SaveKeyDescription(&memory.storage, &key), 0);
    KeyDescription back;
    EXPECT_TRUE(IsKeyInserted(&memory.storage, &back));
    EXPECT_EQ(back.serial, key.serial);
    key.inserted = 0;
    ASSERT_EQ(SaveKeyDescription(&memory.storage, &key), 0);
    EXPECT_FALSE(IsKeyInserted(&memory.storage, &back));
}

} // namespace
