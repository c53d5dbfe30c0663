// keysim's command line and subcommands against a store in memory: what each command changes, and that
// refused commands change nothing.
#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "certificate_file.h"
#include "file_tree.h"
#include "key_store.h"
#include "keysim_args.h"
#include "keysim_commands.h"
#include "memory_storage.h"

namespace {

std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words{ "keysim" };
    std::istringstream in(line);
    std::string word;
    while (in >> word)
        words.push_back(word);
    return words;
}

int ParseLine(const std::string& line, KeysimCommand* command, std::string* error)
{
    std::vector<std::string> words = Words(line);
    static std::vector<std::string> kept; // the command points into its argv
    kept = words;
    std::vector<char*> argv;
    for (std::string& w : kept)
        argv.push_back(&w[0]);
    char reason[200];
    int result = ParseKeysimArguments((int)argv.size(), argv.data(), command, reason, sizeof reason);
    *error = reason;
    return result;
}

struct GoodLine {
    const char* line;
    KeysimAction action;
    int slot;
    int application;
};

const GoodLine GoodLines[] = {
    { "-h", ACTION_HELP, 0, 0 },
    { "create 2 --pin 1234", ACTION_CREATE, 2, 0 },
    { "delete 3", ACTION_DELETE, 3, 0 },
    { "insert 1", ACTION_INSERT, 1, 0 },
    { "remove 1", ACTION_REMOVE, 1, 0 },
    { "list", ACTION_LIST, 0, 0 },
    { "show 0", ACTION_SHOW, 0, 0 },
    { "put-cert 0 2 1 sig C:\\certs\\a.der", ACTION_PUT_CERT, 0, 1 },
    { "remove-cert 0 1 0 enc", ACTION_REMOVE_CERT, 0, 0 },
    { "set-retries 0 all 3", ACTION_SET_RETRIES, 0, ALL_APPLICATIONS },
    { "set-retries 0 2 0", ACTION_SET_RETRIES, 0, 1 },
    { "reset-retries 1 1", ACTION_RESET_RETRIES, 1, 0 },
    { "lock 0", ACTION_LOCK, 0, ALL_APPLICATIONS },
    { "lock 0 2", ACTION_LOCK, 0, 1 },
    { "set-pin 0 1 987654", ACTION_SET_PIN, 0, 0 },
    { "corrupt 0 length AD01/DF11/EF01 65535", ACTION_CORRUPT_LENGTH, 0, 0 },
    { "corrupt 0 length MF/EF01 0", ACTION_CORRUPT_LENGTH, 0, 0 },
    { "corrupt 0 garbage 1 0 enc 3000", ACTION_CORRUPT_GARBAGE, 0, 0 },
    { "corrupt 0 unterminated-label", ACTION_CORRUPT_LABEL, 0, 0 },
    { "restore 0", ACTION_RESTORE, 0, 0 },
    { "restore 0 AD02\\EF01", ACTION_RESTORE, 0, 0 },
    { "vanish 3 1", ACTION_VANISH, 3, 0 },
};

class KeysimGoodLine : public ::testing::TestWithParam<GoodLine> {};

TEST_P(KeysimGoodLine, Parses)
{
    KeysimCommand command;
    std::string error;
    ASSERT_EQ(ParseLine(GetParam().line, &command, &error), ARGS_OK) << error;
    EXPECT_EQ(command.action, GetParam().action);
    EXPECT_EQ(command.slot, GetParam().slot);
    EXPECT_EQ(command.application, GetParam().application);
}

INSTANTIATE_TEST_SUITE_P(KeysimArgs, KeysimGoodLine, ::testing::ValuesIn(GoodLines));

TEST(KeysimArgs, CreateTakesEveryOption)
{
    KeysimCommand c;
    std::string error;
    ASSERT_EQ(ParseLine("--store D:\\s create 0 --label 张三 --pin 1 --pin2 2 --serial 00c0ffee --apps 2 --retries 15 "
                        "--removed",
                        &c, &error),
              ARGS_OK)
        << error;
    EXPECT_STREQ(c.store, "D:\\s");
    EXPECT_STREQ(c.label, "张三");
    EXPECT_STREQ(c.pin, "1");
    EXPECT_STREQ(c.secondPin, "2");
    EXPECT_EQ(c.serial, 0x00C0FFEEu);
    EXPECT_EQ(c.hasSerial, 1);
    EXPECT_EQ(c.applications, 2);
    EXPECT_EQ(c.retries, 15);
    EXPECT_EQ(c.removed, 1);
}

struct BadLine {
    std::string line;
    const char* reason;
};

const BadLine BadLines[] = {
    { "", "no command given" },
    { "frobnicate", "unknown command 'frobnicate'" },
    { "--store", "--store needs a folder" },
    { "show", "SLOT is missing" },
    { "show 4", "SLOT must be 0..3" },
    { "show -1", "SLOT must be 0..3" },
    { "show 0 extra", "unexpected argument 'extra'" },
    { "create 0", "create needs --pin" },
    { "create 0 --pin", "no value after '--pin'" },
    { "create 0 --pin 12 34", "unknown option of create: '34'" },
    { "create 0 --pin " + std::string(32, '1'), "a PIN must be 1..31" },
    { "create 0 --pin 1234 --serial 1234567", "the serial must be 8 hexadecimal digits" },
    { "create 0 --pin 1234 --serial 1234567G", "the serial must be 8 hexadecimal digits" },
    { "create 0 --pin 1234 --apps 3", "--apps must be 1 or 2" },
    { "create 0 --pin 1234 --retries 0", "--retries must be 1..15" },
    { "create 0 --pin 1234 --retries 16", "--retries must be 1..15" },
    { "create 0 --pin 1234 --pin2 5 --apps 1", "--pin2 needs --apps 2" },
    { "create 0 --pin 1234 --label " + std::string(64, 'L'), "the label must be GBK text" },
    { "put-cert 0 3 0 enc a.der", "APP must be 1 or 2" },
    { "put-cert 0 1 2 enc a.der", "CONTAINER must be 0 or 1" },
    { "put-cert 0 1 0 auth a.der", "KIND must be enc or sig" },
    { "put-cert 0 1 0 enc", "FILE is missing" },
    { "remove-cert 0 all 0 enc", "APP must be 1 or 2" },
    { "set-retries 0 1", "N is missing" },
    { "set-retries 0 1 16", "N must be 0..15" },
    { "lock 0 3", "APP must be 1, 2 or all" },
    { "set-pin 0 1", "PIN is missing" },
    { "corrupt 0", "corrupt needs length" },
    { "corrupt 0 truncate", "corrupt knows length, garbage and unterminated-label" },
    { "corrupt 0 length AD03/EF01 5", "not a file of a key: 'AD03/EF01'" },
    { "corrupt 0 length AD01/DF21/EF01 5", "not a file of a key" },
    { "corrupt 0 length AD01/DF11/EF03 5", "not a file of a key" },
    { "corrupt 0 length AD01/DF11/EF01/EF01 5", "not a file of a key" },
    { "corrupt 0 length AD01/EF01 65536", "N must be 0..65535" },
    { "corrupt 0 garbage 1 0 enc 0", "N must be 1..3000" },
    { "restore 0 EF02", "not a file of a key" },
    { "vanish 0", "CALLS is missing" },
    { "vanish 0 0", "CALLS must be 1..1000000" },
    { "vanish 0 1000001", "CALLS must be 1..1000000" },
    { "vanish 0 99999999", "CALLS must be 1..1000000" },
    { "vanish 0 -3", "CALLS must be 1..1000000" },
    { "vanish 0 3x", "CALLS must be 1..1000000" },
    { "vanish 4 3", "SLOT must be 0..3" },
    { "vanish 0 3 4", "unexpected argument '4'" },
};

class KeysimBadLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(KeysimBadLine, IsAUsageErrorWithItsReason)
{
    KeysimCommand command;
    std::string error;
    EXPECT_EQ(ParseLine(GetParam().line, &command, &error), ARGS_USAGE_ERROR) << GetParam().line;
    EXPECT_NE(error.find(GetParam().reason), std::string::npos) << "error was: " << error;
}

INSTANTIATE_TEST_SUITE_P(KeysimArgs, KeysimBadLine, ::testing::ValuesIn(BadLines));

// A store of four in-memory slots and files the user could name.
class Keysim : public ::testing::Test {
protected:
    std::unique_ptr<MemoryStorage> slots[KEY_SLOTS];
    std::map<std::string, Bytes> userFiles;
    std::string out;
    std::string err;
    KeysimHost host;

    void SetUp() override
    {
        for (auto& slot : slots)
            slot.reset(new MemoryStorage);
        host = { this, SlotStorage, DeleteSlot, ReadFile, RandomSerial, Print, PrintError };
    }

    static void SlotStorage(void* context, int slot, KeyStorage* storage)
    {
        *storage = ((Keysim*)context)->slots[slot]->storage;
    }
    static int DeleteSlot(void* context, int slot)
    {
        ((Keysim*)context)->slots[slot]->files.clear();
        return 0;
    }
    static long ReadFile(void* context, const char* path, unsigned char* buffer, size_t size)
    {
        auto& files = ((Keysim*)context)->userFiles;
        auto found = files.find(path);
        if (found == files.end())
            return STORED_ABSENT;
        if (found->second.size() > size)
            return STORED_TOO_LARGE;
        memcpy(buffer, found->second.data(), found->second.size());
        return (long)found->second.size();
    }
    static uint32_t RandomSerial(void*) { return 0x0BADCAFE; }
    static void Print(void* context, const char* text) { ((Keysim*)context)->out += text; }
    static void PrintError(void* context, const char* text) { ((Keysim*)context)->err += text; }

    int Run(const std::string& line)
    {
        out.clear();
        err.clear();
        KeysimCommand command;
        std::string error;
        if (ParseLine(line, &command, &error) != ARGS_OK) {
            err = error;
            return KEYSIM_USAGE;
        }
        return RunKeysimCommand(&command, &host);
    }

    KeyDescription Key(int slot)
    {
        KeyDescription key;
        char error[200];
        EXPECT_EQ(LoadKeyDescription(&slots[slot]->storage, &key, error, sizeof error), KEY_LOADED) << error;
        return key;
    }

    std::map<std::string, Bytes> Snapshot(int slot) { return slots[slot]->files; }
};

TEST_F(Keysim, CreateWritesADescriptionThatShowTells)
{
    ASSERT_EQ(Run("create 1 --label 张三的Key --pin 123456 --pin2 654321 --serial 1A2B3C4D --retries 10"), KEYSIM_DONE)
        << err;
    KeyDescription key = Key(1);
    EXPECT_EQ(key.serial, 0x1A2B3C4Du);
    EXPECT_STREQ(key.label, "张三的Key");
    EXPECT_EQ(key.inserted, 1);
    EXPECT_EQ(key.apps[1].present, 1);
    EXPECT_EQ(std::string((const char*)key.apps[1].pin, 6), "654321");
    EXPECT_EQ(key.apps[0].retriesLeft, 10);

    ASSERT_EQ(Run("show 1"), KEYSIM_DONE);
    EXPECT_NE(out.find("slot 1: inserted"), std::string::npos) << out;
    EXPECT_NE(out.find("1A2B3C4D"), std::string::npos);
    EXPECT_NE(out.find("张三的Key"), std::string::npos);
    EXPECT_NE(out.find("application 2 (AD02): 10 of 10 retries left, PIN 654321"), std::string::npos) << out;
}

TEST_F(Keysim, CreateDefaultsAndRefusesAnOccupiedSlot)
{
    ASSERT_EQ(Run("create 0 --pin 1234 --apps 1 --removed"), KEYSIM_DONE) << err;
    KeyDescription key = Key(0);
    EXPECT_EQ(key.serial, 0x0BADCAFEu);
    EXPECT_EQ(key.inserted, 0);
    EXPECT_EQ(key.apps[0].maxRetries, KEY_DEFAULT_RETRIES);
    EXPECT_EQ(key.apps[1].present, 0);
    auto before = Snapshot(0);
    EXPECT_EQ(Run("create 0 --pin 9999"), KEYSIM_FAILED);
    EXPECT_NE(err.find("already holds a key"), std::string::npos);
    EXPECT_EQ(Snapshot(0), before);
}

TEST_F(Keysim, CreateClearsLeftoversOfALostKey)
{
    slots[2]->files["files\\AD01\\DF11\\EF01.der"] = FakeCertificate(200, 1);
    ASSERT_EQ(Run("create 2 --pin 1234"), KEYSIM_DONE);
    EXPECT_FALSE(slots[2]->Has("files\\AD01\\DF11\\EF01.der"));
}

TEST_F(Keysim, InsertAndRemoveOnlyFlipTheFlag)
{
    ASSERT_EQ(Run("create 0 --pin 1234"), KEYSIM_DONE);
    ASSERT_EQ(Run("remove 0"), KEYSIM_DONE);
    EXPECT_EQ(Key(0).inserted, 0);
    ASSERT_EQ(Run("remove 0"), KEYSIM_DONE);
    EXPECT_NE(out.find("already removed"), std::string::npos);
    ASSERT_EQ(Run("insert 0"), KEYSIM_DONE);
    EXPECT_EQ(Key(0).inserted, 1);
    EXPECT_EQ(Run("insert 3"), KEYSIM_FAILED);
    EXPECT_NE(err.find("slot 3 holds no key"), std::string::npos);
}

TEST_F(Keysim, VanishNeedsAnInsertedKeyAndInsertOrRemoveCancelsIt)
{
    EXPECT_EQ(Run("vanish 0 5"), KEYSIM_FAILED);
    EXPECT_NE(err.find("slot 0 holds no key"), std::string::npos) << err;
    ASSERT_EQ(Run("create 0 --pin 1234 --removed"), KEYSIM_DONE);
    auto before = Snapshot(0);
    EXPECT_EQ(Run("vanish 0 5"), KEYSIM_FAILED);
    EXPECT_NE(err.find("the key in slot 0 is removed"), std::string::npos) << err;
    EXPECT_EQ(Snapshot(0), before);

    ASSERT_EQ(Run("insert 0"), KEYSIM_DONE);
    ASSERT_EQ(Run("vanish 0 1000000"), KEYSIM_DONE) << err;
    EXPECT_EQ(Key(0).vanishAfterCalls, 1000000);
    ASSERT_EQ(Run("show 0"), KEYSIM_DONE);
    EXPECT_NE(out.find("slot 0: inserted, vanishes after 1000000 more calls\n"), std::string::npos) << out;
    ASSERT_EQ(Run("insert 0"), KEYSIM_DONE);
    EXPECT_EQ(out, "slot 0: already inserted, no longer vanishes\n");
    EXPECT_EQ(Key(0).vanishAfterCalls, 0);

    ASSERT_EQ(Run("vanish 0 2"), KEYSIM_DONE);
    ASSERT_EQ(Run("remove 0"), KEYSIM_DONE);
    EXPECT_EQ(Key(0).vanishAfterCalls, 0) << "a key pulled out by hand must not vanish again once plugged in";
    EXPECT_EQ(Key(0).inserted, 0);
}

std::string Base64(const Bytes& bytes)
{
    static const char table[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        unsigned v = bytes[i] << 16 | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                     (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        text += table[v >> 18 & 63];
        text += table[v >> 12 & 63];
        text += i + 1 < bytes.size() ? table[v >> 6 & 63] : '=';
        text += i + 2 < bytes.size() ? table[v & 63] : '=';
        if (i % 48 == 45)
            text += "\r\n";
    }
    return text;
}

TEST_F(Keysim, PutCertificateTakesDerAndPem)
{
    ASSERT_EQ(Run("create 0 --pin 1234"), KEYSIM_DONE);
    Bytes der = FakeCertificate(1000, 3);
    userFiles["a.der"] = der;
    std::string pem = "-----BEGIN CERTIFICATE-----\n" + Base64(FakeCertificate(1001, 4)) + "\n-----END CERTIFICATE-----\n";
    userFiles["b.pem"] = Bytes(pem.begin(), pem.end());
    ASSERT_EQ(Run("put-cert 0 1 0 enc a.der"), KEYSIM_DONE) << err;
    ASSERT_EQ(Run("put-cert 0 2 1 sig b.pem"), KEYSIM_DONE) << err;
    EXPECT_EQ(slots[0]->files["files\\AD01\\DF11\\EF01.der"], der);
    EXPECT_EQ(slots[0]->files["files\\AD02\\DF22\\EF02.der"], FakeCertificate(1001, 4));
    ASSERT_EQ(Run("show 0"), KEYSIM_DONE);
    EXPECT_NE(out.find("container 0 (DF11) VLM-0BADCAFE-DF11: enc 1000 bytes sig -"), std::string::npos) << out;
    EXPECT_NE(out.find("container 1 (DF22) VLM-0BADCAFE-DF22: enc - sig 1001 bytes"), std::string::npos) << out;

    ASSERT_EQ(Run("remove-cert 0 1 0 enc"), KEYSIM_DONE);
    EXPECT_FALSE(slots[0]->Has("files\\AD01\\DF11\\EF01.der"));
    ASSERT_EQ(Run("remove-cert 0 1 0 enc"), KEYSIM_DONE);
    EXPECT_NE(out.find("was already empty"), std::string::npos);
}

struct RefusedCertificate {
    const char* name;
    Bytes file;
    const char* reason;
};

std::vector<RefusedCertificate> RefusedCertificates()
{
    Bytes trailing = FakeCertificate(500, 1);
    trailing.push_back(0);
    Bytes truncated = FakeCertificate(500, 1);
    truncated.pop_back();
    std::string badPem = "-----BEGIN CERTIFICATE-----\nMII*\n-----END CERTIFICATE-----\n";
    return {
        { "too_large", FakeCertificate(3001, 1), "larger than 3000 bytes" },
        { "trailing_bytes", trailing, "no DER or PEM certificate" },
        { "truncated", truncated, "no DER or PEM certificate" },
        { "text", Bytes{ 'h', 'e', 'l', 'l', 'o' }, "no DER or PEM certificate" },
        { "bad_pem", Bytes(badPem.begin(), badPem.end()), "no DER or PEM certificate" },
        { "empty", Bytes(), "no DER or PEM certificate" },
    };
}

TEST_F(Keysim, PutCertificateRefusesWhatIsNoCertificateAndChangesNothing)
{
    ASSERT_EQ(Run("create 0 --pin 1234 --apps 1"), KEYSIM_DONE);
    auto before = Snapshot(0);
    for (const RefusedCertificate& r : RefusedCertificates()) {
        userFiles["x"] = r.file;
        EXPECT_EQ(Run("put-cert 0 1 0 enc x"), KEYSIM_FAILED) << r.name;
        EXPECT_NE(err.find(r.reason), std::string::npos) << r.name << ": " << err;
    }
    EXPECT_EQ(Run("put-cert 0 1 0 enc missing.der"), KEYSIM_FAILED);
    EXPECT_NE(err.find("cannot read"), std::string::npos);
    userFiles["ok"] = FakeCertificate(300, 1);
    EXPECT_EQ(Run("put-cert 0 2 0 enc ok"), KEYSIM_FAILED);
    EXPECT_NE(err.find("application 2 does not exist"), std::string::npos);
    EXPECT_EQ(Snapshot(0), before);
}

TEST_F(Keysim, CountersAndLocks)
{
    ASSERT_EQ(Run("create 0 --pin 1234 --retries 8"), KEYSIM_DONE);
    ASSERT_EQ(Run("set-retries 0 2 3"), KEYSIM_DONE);
    EXPECT_EQ(Key(0).apps[1].retriesLeft, 3);
    EXPECT_EQ(Key(0).apps[0].retriesLeft, 8);
    ASSERT_EQ(Run("lock 0 1"), KEYSIM_DONE);
    KeyDescription key = Key(0);
    EXPECT_TRUE(IsApplicationLocked(&key.apps[0]));
    EXPECT_FALSE(IsApplicationLocked(&key.apps[1]));
    ASSERT_EQ(Run("reset-retries 0 all"), KEYSIM_DONE);
    key = Key(0);
    EXPECT_EQ(key.apps[0].retriesLeft, 8);
    EXPECT_FALSE(IsApplicationLocked(&key.apps[0]));
    ASSERT_EQ(Run("lock 0"), KEYSIM_DONE);
    key = Key(0);
    EXPECT_TRUE(IsApplicationLocked(&key.apps[0]));
    EXPECT_TRUE(IsApplicationLocked(&key.apps[1]));
    ASSERT_EQ(Run("set-pin 0 2 24680"), KEYSIM_DONE);
    key = Key(0);
    EXPECT_FALSE(IsApplicationLocked(&key.apps[1]));
    EXPECT_EQ(std::string((const char*)key.apps[1].pin, (size_t)key.apps[1].pinLength), "24680");

    auto before = Snapshot(0);
    EXPECT_EQ(Run("set-retries 0 all 9"), KEYSIM_FAILED);
    EXPECT_NE(err.find("at most 8 retries"), std::string::npos);
    EXPECT_EQ(Snapshot(0), before);
}

TEST_F(Keysim, CounterCommandsNeedThePresentApplication)
{
    ASSERT_EQ(Run("create 0 --pin 1234 --apps 1"), KEYSIM_DONE);
    auto before = Snapshot(0);
    EXPECT_EQ(Run("set-retries 0 2 1"), KEYSIM_FAILED);
    EXPECT_EQ(Run("set-pin 0 2 1111"), KEYSIM_FAILED);
    EXPECT_EQ(Snapshot(0), before);
    EXPECT_EQ(Run("lock 0 all"), KEYSIM_DONE) << "all means every present application";
}

TEST_F(Keysim, CorruptLengthKeepsTheBytesAndChangesThePrefix)
{
    ASSERT_EQ(Run("create 0 --pin 1234"), KEYSIM_DONE);
    userFiles["a.der"] = FakeCertificate(700, 1);
    ASSERT_EQ(Run("put-cert 0 1 0 sig a.der"), KEYSIM_DONE);
    ASSERT_EQ(Run("corrupt 0 length AD01/DF11/EF02 4000"), KEYSIM_DONE) << err;
    const Bytes& raw = slots[0]->files["files\\AD01\\DF11\\EF02.raw"];
    ASSERT_EQ(raw.size(), 702u);
    EXPECT_EQ(raw[0] << 8 | raw[1], 4000);
    EXPECT_TRUE(std::equal(raw.begin() + 2, raw.end(), FakeCertificate(700, 1).begin()));

    ASSERT_EQ(Run("corrupt 0 length EF01 65535"), KEYSIM_DONE);
    EXPECT_EQ(slots[0]->files["files\\EF01.raw"].size(), 342u);
    ASSERT_EQ(Run("show 0"), KEYSIM_DONE);
    EXPECT_NE(out.find("raw image (corrupt on purpose): files\\EF01.raw"), std::string::npos) << out;

    ASSERT_EQ(Run("restore 0 MF/EF01"), KEYSIM_DONE);
    EXPECT_FALSE(slots[0]->Has("files\\EF01.raw"));
    EXPECT_TRUE(slots[0]->Has("files\\AD01\\DF11\\EF02.raw"));
    ASSERT_EQ(Run("restore 0"), KEYSIM_DONE);
    EXPECT_FALSE(slots[0]->Has("files\\AD01\\DF11\\EF02.raw"));
}

TEST_F(Keysim, CorruptLengthNeedsAnExistingFile)
{
    ASSERT_EQ(Run("create 0 --pin 1234 --apps 1"), KEYSIM_DONE);
    auto before = Snapshot(0);
    EXPECT_EQ(Run("corrupt 0 length AD01/DF11/EF01 5"), KEYSIM_FAILED);
    EXPECT_NE(err.find("does not exist on this key"), std::string::npos);
    EXPECT_EQ(Run("corrupt 0 length AD02/EF01 5"), KEYSIM_FAILED);
    EXPECT_EQ(Snapshot(0), before);
}

TEST_F(Keysim, GarbageCertificateIsNoDer)
{
    ASSERT_EQ(Run("create 0 --pin 1234"), KEYSIM_DONE);
    ASSERT_EQ(Run("corrupt 0 garbage 2 1 enc 100"), KEYSIM_DONE);
    const Bytes& garbage = slots[0]->files["files\\AD02\\DF22\\EF01.der"];
    ASSERT_EQ(garbage.size(), 100u);
    size_t length = 0;
    EXPECT_EQ(CertificateFromFile(garbage.data(), garbage.size(), Bytes(100).data(), 100, &length), CERT_FILE_BAD_PEM);
    EXPECT_NE(garbage[0], 0x30);
}

TEST_F(Keysim, UnterminatedLabelFillsTheWholeField)
{
    ASSERT_EQ(Run("create 0 --pin 1234 --label 测试"), KEYSIM_DONE);
    ASSERT_EQ(Run("corrupt 0 unterminated-label"), KEYSIM_DONE);
    const Bytes& raw = slots[0]->files["files\\EF01.raw"];
    ASSERT_EQ(raw.size(), 342u);
    EXPECT_EQ(raw[0] << 8 | raw[1], 340);
    EXPECT_EQ(memchr(raw.data() + 2, 0, 64), nullptr);
    EXPECT_EQ(memcmp(raw.data() + 2, "测试", 4), 0);
    EXPECT_EQ(raw[2 + 68], 1) << "the application flags stay as they were";
}

TEST_F(Keysim, DeleteAndList)
{
    ASSERT_EQ(Run("create 0 --pin 1234 --label 张三"), KEYSIM_DONE);
    ASSERT_EQ(Run("create 2 --pin 1234 --apps 1 --removed --serial 00000002"), KEYSIM_DONE);
    slots[3]->PutText(KEY_INI_PATH, "[key]\nserial=1\n");
    ASSERT_EQ(Run("list"), KEYSIM_DONE);
    EXPECT_NE(out.find("slot 0: inserted 0BADCAFE 2 apps  张三\n"), std::string::npos) << out;
    EXPECT_NE(out.find("slot 1: empty\n"), std::string::npos) << out;
    EXPECT_NE(out.find("slot 2: removed  00000002 1 app   Velmora USB Key\n"), std::string::npos) << out;
    EXPECT_NE(out.find("slot 3: key.ini: line 2: serial is not 8 hexadecimal digits"), std::string::npos) << out;
    EXPECT_EQ(Run("show 3"), KEYSIM_FAILED);
    EXPECT_EQ(Run("show 1"), KEYSIM_FAILED);
    ASSERT_EQ(Run("delete 3"), KEYSIM_DONE) << "an unreadable key can still be deleted";
    EXPECT_TRUE(slots[3]->files.empty());
}

TEST_F(Keysim, UsageErrorRunsNothing)
{
    ASSERT_EQ(Run("create 0 --pin 1234"), KEYSIM_DONE);
    auto before = Snapshot(0);
    EXPECT_EQ(Run("set-retries 0 1"), KEYSIM_USAGE);
    EXPECT_EQ(Run("delete 0 now"), KEYSIM_USAGE);
    EXPECT_EQ(Snapshot(0), before);
}

TEST(CertificateFile, DerLengthsMustBeMinimalAndComplete)
{
    struct Case {
        Bytes bytes;
        size_t length;
    } cases[] = {
        { { 0x30, 0x03, 1, 2, 3 }, 5 },
        { { 0x30, 0x03, 1, 2 }, 0 },
        { { 0x30, 0x81, 0x05, 1, 2, 3, 4, 5 }, 0 },   // long form for a short length
        { { 0x30, 0x82, 0x00, 0x80 }, 0 },            // leading zero length byte
        { { 0x30, 0x80 }, 0 },                        // indefinite length
        { { 0x30, 0x85, 1, 1, 1, 1, 1 }, 0 },          // five length bytes
        { { 0x30 }, 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(DerElementLength(c.bytes.data(), c.bytes.size()), c.length);
}

} // namespace
