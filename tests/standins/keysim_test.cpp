// keysim's command line and subcommands against a store in memory: what each command changes, and that
// refused commands change nothing.
#include <gtest/gtest.h>

#include <string.h>

#include <map>
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

int ParseLine(const std::string& line, KeysimCommand* command, std::string* error)
{
    static std::vector<std::string> words; // the command points into its argv
    words.assign(1, "keysim");
    std::istringstream in(line);
    for (std::string word; in >> word;)
        words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(&w[0]);
    char reason[200] = "";
    int result = ParseKeysimArguments((int)argv.size(), argv.data(), command, reason, sizeof reason);
    *error = reason;
    return result;
}

// Only keysim's entry acts on --store; every other good line runs in the tests below.
TEST(KeysimArgs, StoreIsTakenBeforeTheCommand)
{
    KeysimCommand c;
    std::string error;
    ASSERT_EQ(ParseLine("--store D:\\s show 3", &c, &error), ARGS_OK) << error;
    EXPECT_STREQ(c.store, "D:\\s");
    EXPECT_EQ(c.slot, 3);
}

// A store of four in-memory slots and files the user could name.
class Keysim : public ::testing::Test {
protected:
    MemoryStorage slots[KEY_SLOTS];
    MemoryStorage user;
    std::string out;
    std::string err;
    KeysimHost host = {
        this,
        [](void* self, int slot, KeyStorage* storage) { *storage = ((Keysim*)self)->slots[slot].storage; },
        [](void* self, int slot) { return ((Keysim*)self)->slots[slot].files.clear(), 0; },
        [](void* self, const char* path, unsigned char* buffer, size_t size) {
            KeyStorage& files = ((Keysim*)self)->user.storage;
            return files.load(files.context, path, buffer, size);
        },
        [](void*) { return (uint32_t)0x0BADCAFE; },
        [](void* self, const char* text) { ((Keysim*)self)->out += text; },
        [](void* self, const char* text) { ((Keysim*)self)->err += text; },
    };

    int Run(const std::string& line)
    {
        out.clear();
        err.clear();
        KeysimCommand command;
        std::string error;
        if (ParseLine(line, &command, &error) == ARGS_OK)
            return RunKeysimCommand(&command, &host);
        err = error; // as keysim's entry prints it
        return KEYSIM_USAGE;
    }

    KeyDescription Key(int slot)
    {
        KeyDescription key;
        char error[200];
        EXPECT_EQ(LoadKeyDescription(&slots[slot].storage, &key, error, sizeof error), KEY_LOADED) << error;
        return key;
    }

    std::map<std::string, Bytes> Snapshot(int slot) { return slots[slot].files; }
};

Bytes Of(const std::string& text) { return Bytes(text.begin(), text.end()); }

// "show" reads everything back from the store, so its text tells what each command stored.
TEST_F(Keysim, CommandsStoreWhatShowTells)
{
    user.files["a.der"] = FakeCertificate(1000, 3);
    // A SEQUENCE of the nine bytes 1..9, with a line break and padding.
    user.files["b.pem"] = Of("-----BEGIN CERTIFICATE-----\nMAkBAgME\r\nBQYHCAk=\n-----END CERTIFICATE-----\n");
    const char* const lines[] = {
        "create 0 --label 张三的Key --pin 123456 --pin2 654321 --serial 1a2b3c4d --retries 8",
        "put-cert 0 1 0 enc a.der",
        "put-cert 0 2 1 sig b.pem",
        "lock 0",
        "reset-retries 0 2",
        "set-pin 0 2 24680",
        "set-retries 0 2 3",
        "corrupt 0 length AD01/DF11/EF01 4000",
        "corrupt 0 unterminated-label",
        "vanish 0 7",
        "show 0",
    };
    for (const char* line : lines)
        ASSERT_EQ(Run(line), KEYSIM_DONE) << line << ": " << err;
    EXPECT_EQ(out, "slot 0: inserted, vanishes after 7 more calls\n"
                   "  serial   1A2B3C4D\n"
                   "  label    张三的Key\n"
                   "  application 1 (AD01): 0 of 8 retries left, LOCKED, PIN 123456\n"
                   "    container 0 (DF11) VLM-1A2B3C4D-DF11: enc 4000 bytes sig -\n"
                   "    container 1 (DF12) VLM-1A2B3C4D-DF12: enc - sig -\n"
                   "  application 2 (AD02): 3 of 8 retries left, PIN 24680\n"
                   "    container 0 (DF21) VLM-1A2B3C4D-DF21: enc - sig -\n"
                   "    container 1 (DF22) VLM-1A2B3C4D-DF22: enc - sig 11 bytes\n"
                   "  raw image (corrupt on purpose): files\\EF01.raw\n"
                   "  raw image (corrupt on purpose): files\\AD01\\DF11\\EF01.raw\n");
    EXPECT_EQ(slots[0].files["files\\AD02\\DF22\\EF02.der"], (Bytes{ 0x30, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9 }));

    // The corrupt images keep what they do not corrupt.
    const Bytes& raw = slots[0].files["files\\AD01\\DF11\\EF01.raw"];
    ASSERT_EQ(raw.size(), 1002u);
    EXPECT_EQ(raw[0] << 8 | raw[1], 4000);
    EXPECT_TRUE(std::equal(raw.begin() + 2, raw.end(), FakeCertificate(1000, 3).begin()));
    const Bytes& info = slots[0].files["files\\EF01.raw"];
    ASSERT_EQ(info.size(), 342u);
    EXPECT_EQ(info[0] << 8 | info[1], 340);
    EXPECT_EQ(memchr(info.data() + 2, 0, 64), nullptr) << "the label field holds no NUL";
    EXPECT_EQ(memcmp(info.data() + 2, "张三的Key", strlen("张三的Key")), 0);
    EXPECT_EQ(info[2 + 68] & info[2 + 68 + 136], 1) << "the application flags stay as they were";
    ASSERT_EQ(Run("corrupt 0 garbage 1 1 enc 100"), KEYSIM_DONE);
    const Bytes& garbage = slots[0].files["files\\AD01\\DF12\\EF01.der"];
    ASSERT_EQ(garbage.size(), 100u);
    size_t length = 0;
    EXPECT_EQ(CertificateFromFile(garbage.data(), garbage.size(), Bytes(100).data(), 100, &length), CERT_FILE_BAD_PEM);

    ASSERT_EQ(Run("restore 0 MF\\EF01"), KEYSIM_DONE);
    EXPECT_FALSE(slots[0].Has("files\\EF01.raw"));
    EXPECT_TRUE(slots[0].Has("files\\AD01\\DF11\\EF01.raw"));
    ASSERT_EQ(Run("restore 0"), KEYSIM_DONE);
    EXPECT_FALSE(slots[0].Has("files\\AD01\\DF11\\EF01.raw"));
    ASSERT_EQ(Run("remove-cert 0 1 0 enc"), KEYSIM_DONE);
    EXPECT_FALSE(slots[0].Has("files\\AD01\\DF11\\EF01.der"));
    ASSERT_EQ(Run("remove-cert 0 1 0 enc"), KEYSIM_DONE);
    EXPECT_NE(out.find("was already empty"), std::string::npos);
}

// What create leaves out takes its default, and what cannot be done changes nothing.
TEST_F(Keysim, DefaultsAndRefusals)
{
    slots[0].files["files\\AD01\\DF11\\EF01.der"] = FakeCertificate(200, 1);
    ASSERT_EQ(Run("create 0 --pin 1234 --apps 1 --removed"), KEYSIM_DONE) << err;
    EXPECT_FALSE(slots[0].Has("files\\AD01\\DF11\\EF01.der")) << "leftovers of a lost key are cleared";
    ASSERT_EQ(Run("show 0"), KEYSIM_DONE);
    EXPECT_EQ(out.substr(0, out.find("    container")), "slot 0: removed\n"
                                                       "  serial   0BADCAFE\n"
                                                       "  label    Velmora USB Key\n"
                                                       "  application 1 (AD01): 6 of 6 retries left, PIN 1234\n");
    EXPECT_NE(out.find("  application 2 (AD02): absent\n"), std::string::npos) << out;
    const auto removed = Snapshot(0);
    user.files["ok"] = FakeCertificate(300, 1);
    user.files["big"] = FakeCertificate(3001, 1);
    user.files["trailing"] = FakeCertificate(500, 1);
    user.files["trailing"].push_back(0);
    user.files["truncated"] = FakeCertificate(500, 1);
    user.files["truncated"].pop_back();
    user.files["text"] = Of("hello");
    user.files["pem"] = Of("-----BEGIN CERTIFICATE-----\nMII*\n-----END CERTIFICATE-----\n");
    user.files["empty"] = Bytes();
    // DER lengths must be minimal and definite.
    user.files["long-form-short-length"] = Bytes{ 0x30, 0x81, 0x05, 1, 2, 3, 4, 5 };
    user.files["leading-zero-length-byte"] = Bytes{ 0x30, 0x82, 0x00, 0x80 };
    user.files["indefinite-length"] = Bytes{ 0x30, 0x80, 0, 0 };
    user.files["five-length-bytes"] = Bytes{ 0x30, 0x85, 1, 1, 1, 1, 1 };
    // Refused by the parser (a usage error) or by the command: either way the store stays as it was.
    const struct {
        std::string line;
        const char* reason;
        int result = KEYSIM_FAILED;
    } refused[] = {
        { "create 0 --pin 9999", "already holds a key" },
        { "insert 3", "slot 3 holds no key" },
        { "set-retries 0 1 7", "at most 6 retries" },
        { "set-retries 0 2 1", "application 2 does not exist" },
        { "set-pin 0 2 1111", "application 2 does not exist" },
        { "corrupt 0 length AD01/DF11/EF01 5", "does not exist on this key" },
        { "corrupt 0 length AD02/EF01 5", "does not exist on this key" },
        { "put-cert 0 2 0 enc ok", "application 2 does not exist" },
        { "put-cert 0 1 0 enc missing", "cannot read" },
        { "put-cert 0 1 0 enc big", "larger than 3000 bytes" },
        { "put-cert 0 1 0 enc trailing", "no DER or PEM certificate" },
        { "put-cert 0 1 0 enc truncated", "no DER or PEM certificate" },
        { "put-cert 0 1 0 enc text", "no DER or PEM certificate" },
        { "put-cert 0 1 0 enc pem", "no DER or PEM certificate" },
        { "put-cert 0 1 0 enc empty", "no DER or PEM certificate" },
        { "put-cert 0 1 0 enc long-form-short-length", "no DER" },
        { "put-cert 0 1 0 enc leading-zero-length-byte", "no DER" },
        { "put-cert 0 1 0 enc indefinite-length", "no DER" },
        { "put-cert 0 1 0 enc five-length-bytes", "no DER" },
        { "", "no command given", KEYSIM_USAGE },
        { "frobnicate", "unknown command 'frobnicate'", KEYSIM_USAGE },
        { "--store", "--store needs a folder", KEYSIM_USAGE },
        { "show", "SLOT is missing", KEYSIM_USAGE },
        { "show 4", "SLOT must be 0..3", KEYSIM_USAGE },
        { "show 0 extra", "unexpected argument 'extra'", KEYSIM_USAGE },
        { "create 0", "create needs --pin", KEYSIM_USAGE },
        { "create 0 --pin", "no value after '--pin'", KEYSIM_USAGE },
        { "create 0 --pin 12 34", "unknown option of create: '34'", KEYSIM_USAGE },
        { "create 0 --pin " + std::string(32, '1'), "a PIN must be 1..31", KEYSIM_USAGE },
        { "create 0 --pin 1234 --serial 1234567G", "the serial must be 8 hexadecimal digits", KEYSIM_USAGE },
        { "create 0 --pin 1234 --apps 3", "--apps must be 1 or 2", KEYSIM_USAGE },
        { "create 0 --pin 1234 --retries 16", "--retries must be 1..15", KEYSIM_USAGE },
        { "create 0 --pin 1234 --pin2 5 --apps 1", "--pin2 needs --apps 2", KEYSIM_USAGE },
        { "create 0 --pin 1234 --label " + std::string(64, 'L'), "the label must be GBK text", KEYSIM_USAGE },
        { "put-cert 0 3 0 enc a.der", "APP must be 1 or 2", KEYSIM_USAGE },
        { "put-cert 0 1 2 enc a.der", "CONTAINER must be 0 or 1", KEYSIM_USAGE },
        { "put-cert 0 1 0 auth a.der", "KIND must be enc or sig", KEYSIM_USAGE },
        { "set-retries 0 1 16", "N must be 0..15", KEYSIM_USAGE },
        { "lock 0 3", "APP must be 1, 2 or all", KEYSIM_USAGE },
        { "corrupt 0", "corrupt needs length", KEYSIM_USAGE },
        { "corrupt 0 truncate", "corrupt knows length, garbage and unterminated-label", KEYSIM_USAGE },
        { "corrupt 0 length AD03/EF01 5", "not a file of a key: 'AD03/EF01'", KEYSIM_USAGE },
        { "corrupt 0 length AD01/EF01 65536", "N must be 0..65535", KEYSIM_USAGE },
        { "corrupt 0 garbage 1 0 enc 0", "N must be 1..3000", KEYSIM_USAGE },
        { "restore 0 EF02", "not a file of a key", KEYSIM_USAGE },
        { "vanish 0", "CALLS is missing", KEYSIM_USAGE },
        { "vanish 0 0", "CALLS must be 1..1000000", KEYSIM_USAGE },
        { "vanish 0 1000001", "CALLS must be 1..1000000", KEYSIM_USAGE },
        { "vanish 0 99999999", "CALLS must be 1..1000000", KEYSIM_USAGE },
        { "vanish 0 3x", "CALLS must be 1..1000000", KEYSIM_USAGE },
        { "vanish 0 3 4", "unexpected argument '4'", KEYSIM_USAGE },
    };
    for (const auto& r : refused) {
        EXPECT_EQ(Run(r.line), r.result) << r.line;
        EXPECT_NE(err.find(r.reason), std::string::npos) << r.line << ": " << err;
    }
    EXPECT_EQ(Snapshot(0), removed);
    ASSERT_EQ(Run("remove 0"), KEYSIM_DONE);
    EXPECT_NE(out.find("already removed"), std::string::npos);
    EXPECT_EQ(Snapshot(0), removed);
    ASSERT_EQ(Run("insert 0"), KEYSIM_DONE);
    EXPECT_EQ(Key(0).inserted, 1);
    ASSERT_EQ(Run("remove 0"), KEYSIM_DONE);
    EXPECT_EQ(Snapshot(0), removed) << "insert and remove only flip the flag";
    ASSERT_EQ(Run("lock 0 all"), KEYSIM_DONE) << "all means every application there is";
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

TEST_F(Keysim, ListTellsEverySlotAndDeleteTakesEvenAnUnreadableKey)
{
    ASSERT_EQ(Run("create 0 --pin 1234 --label 张三"), KEYSIM_DONE);
    ASSERT_EQ(Run("create 2 --pin 1234 --apps 1 --removed --serial 00000002"), KEYSIM_DONE);
    slots[3].PutText(KEY_INI_PATH, "[key]\nserial=1\n");
    ASSERT_EQ(Run("list"), KEYSIM_DONE);
    EXPECT_EQ(out, "slot 0: inserted 0BADCAFE 2 apps  张三\n"
                   "slot 1: empty\n"
                   "slot 2: removed  00000002 1 app   Velmora USB Key\n"
                   "slot 3: key.ini: line 2: serial is not 8 hexadecimal digits: '1'\n");
    EXPECT_EQ(Run("show 3"), KEYSIM_FAILED);
    ASSERT_EQ(Run("delete 3"), KEYSIM_DONE);
    EXPECT_TRUE(slots[3].files.empty());
}

} // namespace
