// keysim's transcript for what the product tests never ask of the virtual key: usage errors and
// refusals that change nothing, certificate files it must refuse, the corrupt-content commands and
// restore, a pending vanish cancelled by hand, and a key.ini that does not parse. The commands run
// in-process on a store in memory, and keysim's entry on a store folder too long for it.
#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#define WIN32_LEAN_AND_MEAN // its certificate types would clash with the key's file names
#include "virtual_key.h"

#include "keysim_commands.h"
#include "memory_storage.h"
#include "store_folder.h"

namespace {

// Four slots, and the files a command line may name.
MemoryStorage Slots[KEY_SLOTS];
MemoryStorage UserFiles;
std::string Printed;

const KeysimHost Host = {
    NULL,
    [](void*, int slot, KeyStorage* storage) { *storage = Slots[slot].storage; },
    [](void*, int slot) { return Slots[slot].files.clear(), 0; },
    [](void*, const char* path, unsigned char* buffer, size_t size) {
        return UserFiles.storage.load(UserFiles.storage.context, path, buffer, size);
    },
    [](void*) { return (uint32_t)0x0BADCAFE; },
    [](void*, const char* text) { Printed += text; },
    [](void*, const char* text) { Printed += text; },
};

// Runs a command line as keysim's entry does: its exit status, and what it printed in Printed.
int RunLine(const std::string& line)
{
    std::istringstream in("keysim " + line);
    std::vector<std::string> words{ std::istream_iterator<std::string>(in), {} };
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    KeysimCommand command;
    char error[200];
    Printed.clear();
    if (ParseKeysimArguments((int)argv.size(), argv.data(), &command, error, sizeof error) == ARGS_OK)
        return RunKeysimCommand(&command, &Host);
    Printed = std::string("keysim: ") + error + "\n";
    return KEYSIM_USAGE;
}

Bytes Of(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

struct Row {
    std::string line;
    int exitCode;
    std::string output;
};

TEST(Keysim, Transcript)
{
    UserFiles.files = {
        { "der", Of(std::string("\x30\x82\x03\xAD", 4) + std::string(941, 'd')) },
        // A SEQUENCE of the nine bytes 1..9, with a line break and padding.
        { "pem", Of("-----BEGIN CERTIFICATE-----\nMAkBAgME\r\nBQYHCAk=\n-----END CERTIFICATE-----\n") },
        { "bad-pem", Of("-----BEGIN CERTIFICATE-----\nMAk*\n-----END CERTIFICATE-----\n") },
        { "trailing", Of(std::string("\x30\x03\x01\x02\x03\x00", 6)) },
        { "long-form", Of(std::string("\x30\x81\x05\x01\x02\x03\x04\x05", 8)) }, // DER lengths are minimal
        { "big", Of(std::string("\x30\x82\x0B\xB5", 4) + std::string(2997, 'b')) },
    };
    Slots[3].files[KEY_INI_PATH] = Of("[key]\nserial=1\n");
    const std::string shown = "slot 0: inserted, vanishes after 7 more calls\n"
                              "  serial   1A2B3C4D\n"
                              "  label    张三的Key\n"
                              "  application 1 (AD01): 0 of 8 retries left, LOCKED, PIN 123456\n"
                              "    container 0 (DF11) VLM-1A2B3C4D-DF11: enc 4000 bytes sig -\n"
                              "    container 1 (DF12) VLM-1A2B3C4D-DF12: enc 100 bytes sig -\n"
                              "  application 2 (AD02): 3 of 8 retries left, PIN 24680\n"
                              "    container 0 (DF21) VLM-1A2B3C4D-DF21: enc - sig -\n"
                              "    container 1 (DF22) VLM-1A2B3C4D-DF22: enc - sig 11 bytes\n"
                              "  raw image (corrupt on purpose): files\\EF01.raw\n"
                              "  raw image (corrupt on purpose): files\\AD01\\DF11\\EF01.raw\n";
    const std::string notCertificate =
        "keysim: the file holds no DER or PEM certificate (corrupt ... garbage stores undecodable bytes)\n";
    const Row rows[] = {
        { "create 0 --label 张三的Key --pin 123456 --pin2 654321 --serial 1a2b3c4d --retries 8", 0,
          "slot 0: created key 1A2B3C4D with 2 applications, inserted\n" },
        { "put-cert 0 1 0 enc der", 0, "slot 0: application 1 container 0 enc: 945 bytes\n" },
        { "put-cert 0 2 1 sig pem", 0, "slot 0: application 2 container 1 sig: 11 bytes\n" },
        { "lock 0", 0,
          "slot 0: application 1: 0 of 8 retries left, locked\nslot 0: application 2: 0 of 8 retries left, locked\n" },
        { "reset-retries 0 2", 0, "slot 0: application 2: 8 of 8 retries left\n" },
        { "set-pin 0 2 24680", 0, "slot 0: application 2: 8 of 8 retries left\n" },
        { "set-retries 0 2 3", 0, "slot 0: application 2: 3 of 8 retries left\n" },
        { "corrupt 0 length AD01/DF11/EF01 4000", 0,
          "slot 0: files\\AD01\\DF11\\EF01.raw declares 4000 bytes and holds 945\n" },
        { "corrupt 0 unterminated-label", 0, "slot 0: the label field holds 64 bytes without NUL\n" },
        { "corrupt 0 garbage 1 1 enc 100", 0, "slot 0: application 1 container 1 enc: 100 undecodable bytes\n" },
        { "vanish 0 7", 0, "slot 0: vanishes after 7 more calls\n" },
        { "show 0", 0, shown },
        // Refused by the parser (1) or by the command (2): the key stays as it was.
        { "", 1, "keysim: no command given\n" },
        { "frobnicate", 1, "keysim: unknown command 'frobnicate'\n" },
        { "show 4", 1, "keysim: SLOT must be 0..3, not '4'\n" },
        { "create 0 --pin", 1, "keysim: no value after '--pin'\n" },
        { "create 0 --pin 1 --serial 1234567G", 1,
          "keysim: the serial must be 8 hexadecimal digits, not '1234567G'\n" },
        { "corrupt 0 length AD03/EF01 5", 1, "keysim: not a file of a key: 'AD03/EF01'\n" },
        { "vanish 0 3x", 1, "keysim: CALLS must be 1..1000000, not '3x'\n" },
        { "create 0 --pin 9999", 2, "keysim: slot 0 already holds a key (keysim delete 0 first)\n" },
        { "insert 1", 2, "keysim: slot 1 holds no key (keysim create 1 ...)\n" },
        { "set-retries 0 1 9", 2, "keysim: application 1 allows at most 8 retries\n" },
        { "corrupt 0 length AD02/DF21/EF01 5", 2,
          "keysim: that file does not exist on this key (put a certificate there first)\n" },
        { "put-cert 0 1 0 enc missing", 2, "keysim: cannot read the certificate file\n" },
        { "put-cert 0 1 0 enc big", 2, "keysim: the certificate is larger than 3000 bytes\n" },
        { "put-cert 0 1 0 enc bad-pem", 2, notCertificate },
        { "put-cert 0 1 0 enc trailing", 2, notCertificate },
        { "put-cert 0 1 0 enc long-form", 2, notCertificate },
        { "show 0", 0, shown },
        { "restore 0 EF01", 0, "slot 0: 1 raw image dropped\n" },
        { "restore 0", 0, "slot 0: 1 raw image dropped\n" },
        { "remove-cert 0 1 1 enc", 0, "slot 0: application 1 container 1 enc: removed\n" },
        // Pulled out or plugged in by hand, a key no longer vanishes.
        { "remove 0", 0, "slot 0: removed, no longer vanishes\n" },
        { "vanish 0 5", 2, "keysim: the key in slot 0 is removed (keysim insert 0 first)\n" },
        { "show 0", 0, "slot 0: removed\n"
                       "  serial   1A2B3C4D\n"
                       "  label    张三的Key\n"
                       "  application 1 (AD01): 0 of 8 retries left, LOCKED, PIN 123456\n"
                       "    container 0 (DF11) VLM-1A2B3C4D-DF11: enc 945 bytes sig -\n"
                       "    container 1 (DF12) VLM-1A2B3C4D-DF12: enc - sig -\n"
                       "  application 2 (AD02): 3 of 8 retries left, PIN 24680\n"
                       "    container 0 (DF21) VLM-1A2B3C4D-DF21: enc - sig -\n"
                       "    container 1 (DF22) VLM-1A2B3C4D-DF22: enc - sig 11 bytes\n" },
        { "create 2 --pin 1234 --apps 1 --removed --serial 00000002", 0,
          "slot 2: created key 00000002 with 1 application, removed\n" },
        { "list", 0, "slot 0: removed  1A2B3C4D 2 apps  张三的Key\n"
                     "slot 1: empty\n"
                     "slot 2: removed  00000002 1 app   Velmora USB Key\n"
                     "slot 3: key.ini: line 2: serial is not 8 hexadecimal digits: '1'\n" },
        { "show 3", 2, "slot 3: key.ini: line 2: serial is not 8 hexadecimal digits: '1'\n" },
        { "delete 3", 0, "slot 3: deleted\n" },
        { "show 3", 2, "slot 3: empty\n" },
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RunLine(row.line), row.exitCode) << row.line;
        EXPECT_EQ(Printed, row.output) << row.line;
    }
    // What keysim's entry decides: a store folder whose slot folders would not fit reaches no file.
    EXPECT_EQ(KeysimHere("--store " + std::string(256, 's') + " list"), KEYSIM_USAGE);
    FolderStorage none;
    KeyStorage storage;
    OpenFolderStorage(&none, "", &storage);
    EXPECT_NE(storage.save(storage.context, "key.ini", (const unsigned char*)"x", 1), 0) << "the drive's root";
}

} // namespace
