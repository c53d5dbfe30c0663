// The built KeyCmd.dll, KeyDev.dll and KeyNum.dll as the manager meets them: bound by name, every entry
// point safe on bad arguments, and keys that keysim.exe made read back through the manager's own code.
#include <gtest/gtest.h>

#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "manager.h"
#include "standin_harness.h"
#include "token_exports.h"

// An entry bound into TokenLibrary, called with the type its library exports it with.
#define ENTRY(name) ((decltype(&name))(void*)TokenLibrary.name)

namespace {

class TokenLibraries : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetDllDirectoryA(StandinsFolder().c_str()); }
    static void TearDownTestSuite() { SetDllDirectoryA(NULL); }

    void Bind()
    {
        ASSERT_EQ(BindDeviceLibraries(), 1);
        ASSERT_EQ(BindCommandLibrary(), 1);
    }
    void TearDown() override
    {
        ReleaseCommandLibrary();
        ReleaseDeviceLibrary();
    }
};

TEST_F(TokenLibraries, ExportEveryNameTheManagerBinds)
{
    const struct {
        const char* library;
        const TokenEntryName* entries;
        int count;
    } lists[] = {
        { "KeyCmd.dll", KeyCmdEntries, KEYCMD_ENTRY_COUNT },
        { "KeyDev.dll", KeyDevEntries, KEYDEV_ENTRY_COUNT },
        { "KeyNum.dll", KeyNumEntries, KEYNUM_ENTRY_COUNT },
    };
    for (const auto& list : lists) {
        HMODULE module = LoadLibraryA(list.library);
        ASSERT_NE(module, (HMODULE)NULL) << list.library << " from " << StandinsFolder();
        for (int i = 0; i < list.count; ++i)
            EXPECT_NE(GetProcAddress(module, list.entries[i].name), (FARPROC)NULL)
                << list.library << " lacks " << list.entries[i].name;
        FreeLibrary(module);
    }
    // The manager's own loader binds them, and what it bound answers.
    Bind();
    char decimal[512];
    EXPECT_EQ(TokenLibrary.HexToDec("574125ECCBBC1DC30B24B829A23A27123A5BC71B", decimal), 0);
    EXPECT_STREQ(decimal, "498135049231606636179648033591440066508150785819");
    EXPECT_NE(TokenLibrary.QZ_IsQZDevice("\\\\?\\USB#vid_5e2b&pid_0001#1#{x}"), 0);
}

// Every entry point called with null pointers, bad handles and absurd numbers: failures, no crash.
TEST_F(TokenLibraries, SurviveNullPointersAndBadHandles)
{
    TempStore store;
    Bind();
    const int badHandles[] = { 0, -1, 1, 0x101, 0x7FFFFFFF, (int)0x80000000 };
    for (int h : badHandles) {
        SCOPED_TRACE(h);
        EXPECT_LT(ENTRY(QZ_Close)(h), 0);
        EXPECT_LT(ENTRY(QZ_IC_RESET)(h, NULL), 0);
        EXPECT_LT(ENTRY(QZ_GET_SN)(h, NULL), 0);
        EXPECT_LT(ENTRY(QZ_StoreCert)(h, 0, 1, 5, NULL), 0);
        EXPECT_LT(ENTRY(Read_Binary)(h, 0, 0, 0, 0, 2, NULL, NULL), 0);
        EXPECT_LT(ENTRY(Select_File)(h, 0, 0, 0, NULL, NULL), 0);
        EXPECT_LT(ENTRY(Update_Binary)(h, 0, 0, 0, 0, 2, NULL, NULL), 0);
        EXPECT_LT(ENTRY(QZ_DeleteCert)(h, 0, 1), 0);
        EXPECT_LT(ENTRY(QZ_GET_BCDSN)(h, NULL), 0);
        EXPECT_LT(ENTRY(QZ_ClearDir)(h), 0);
        EXPECT_EQ(ENTRY(QZ_VerifyPinUpDatePinInfoFile)(h, NULL, 4), -2);
        EXPECT_EQ(ENTRY(QZ_ChangePin)(h, 5, NULL), -1000);
        EXPECT_LT(ENTRY(QZ_AddCertToIE)(h), 0);
        EXPECT_LT(ENTRY(QZ_DelCertFrIE)(h), 0);
        EXPECT_LT(ENTRY(QZ_ReloadUserPin)(h, NULL, 4), 0);
        EXPECT_LT(ENTRY(QZ_InitialCard)(h), 0);
    }
    for (int slot : { -1, 0, 3, 4, 1000 })
        EXPECT_EQ(ENTRY(QZ_Open)(slot), 0) << "the store is empty";
    EXPECT_EQ(ENTRY(QZ_RegisterCardNotification)(NULL, 0), -1);
    EXPECT_EQ(ENTRY(QZ_UnregisterCardNotification)(), 0);
    EXPECT_EQ(ENTRY(QZ_IsQZDevice)(NULL), 0);
    EXPECT_EQ(ENTRY(QZ_GetReaderList)(NULL, NULL), -1);
    EXPECT_EQ(ENTRY(QZ_DestroyReaderList)(NULL), -1);
    char stray[8];
    EXPECT_EQ(ENTRY(QZ_DestroyReaderList)(stray), -1) << "only lists it handed out are freed";
    char decimal[512];
    EXPECT_NE(ENTRY(HexToDec)(NULL, decimal), 0);
    EXPECT_NE(ENTRY(HexToDec)("12", NULL), 0);
}

// A key made by keysim.exe with two demo certificates, then opened by the manager's own code.
class ProvisionedKey : public TokenLibraries {
protected:
    TempStore store;
    std::vector<unsigned char> encryption = ReadFileBytes(DemoCertificate("zhangsan-enc.der"));
    std::vector<unsigned char> signature = ReadFileBytes(DemoCertificate("lisi-sig.der"));
    int handle = 0;

    void SetUp() override
    {
        ASSERT_FALSE(encryption.empty() || signature.empty());
        Keysim("create 1 --label 张三的Key --pin 123456 --pin2 111111 --serial 5E2B0042 --retries 5");
        Keysim("put-cert 1 1 0 enc \"" + DemoCertificate("zhangsan-enc.der") + "\"");
        Keysim("put-cert 1 2 1 sig \"" + DemoCertificate("lisi-sig.der") + "\"");
        Bind();
        handle = TokenLibrary.QZ_Open(1);
        ASSERT_GT(handle, 0);
    }

    void TearDown() override
    {
        if (TokenLibrary.QZ_Close)
            TokenLibrary.QZ_Close(handle);
        TokenLibraries::TearDown();
    }

    std::string Show() { return RunKeysim("show 1").output; }

    // Selects the master file (no id), a directory or an elementary file: the status word, 0 for a dead handle.
    unsigned short Select(int p1, unsigned id = 0)
    {
        unsigned char data[2] = { (unsigned char)(id >> 8), (unsigned char)id };
        unsigned short status = 0;
        return TokenLibrary.Select_File(handle, p1, 0, p1 ? 2 : 0, data, &status) == 0 ? status : 0;
    }

    // Selects the directories from the master file on, each of which must be there.
    void Enter(std::initializer_list<unsigned> directories)
    {
        ASSERT_EQ(Select(SELECT_MASTER_FILE), KEY_STATUS_OK);
        for (unsigned id : directories)
            ASSERT_EQ(Select(SELECT_DIRECTORY, id), KEY_STATUS_OK) << std::hex << id;
    }

    int Verify(const char* pin)
    {
        return TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, (const unsigned char*)pin, (int)strlen(pin));
    }

    std::vector<unsigned char> ReadFile(unsigned id, size_t size)
    {
        std::vector<unsigned char> buffer(size);
        int length = 0;
        int result = ReadUsbKeyFile(handle, id, buffer.data(), buffer.size(), &length);
        buffer.resize(result == 0 ? (size_t)length : 0);
        return buffer;
    }
};

TEST_F(ProvisionedKey, ReadsBackTheWayTheManagerReadsIt)
{
    EXPECT_EQ(TokenLibrary.QZ_Open(0), 0) << "slot 0 is empty";
    unsigned char answer[80];
    ASSERT_EQ(TokenLibrary.QZ_IC_RESET(handle, answer), 0);
    EXPECT_EQ(answer[0], 0x3B);
    unsigned char serial[64] = {};
    ASSERT_EQ(TokenLibrary.QZ_GET_BCDSN(handle, serial), 0);
    EXPECT_EQ(serial[0] << 24 | serial[1] << 16 | serial[2] << 8 | serial[3], 0x5E2B0042);

    Enter({});
    std::vector<unsigned char> info = ReadFile(0xEF01, 340);
    ASSERT_EQ(info.size(), 340u);
    EXPECT_STREQ((const char*)info.data(), "张三的Key");
    Enter({ 0xAD01, 0xDF11 });
    EXPECT_EQ(ReadFile(0xEF01, 3000), encryption);
    EXPECT_EQ(Select(SELECT_ELEMENTARY_FILE, 0xEF02), 0x6A82);
    Enter({ 0xAD02, 0xDF22 });
    EXPECT_EQ(ReadFile(0xEF02, 3000), signature);

    EXPECT_EQ(TokenLibrary.QZ_Close(handle), 0);
    EXPECT_LT(TokenLibrary.QZ_Close(handle), 0) << "a closed handle is gone";
}

TEST_F(ProvisionedKey, PulledKeyEndsItsHandles)
{
    Keysim("remove 1");
    EXPECT_EQ(Select(SELECT_MASTER_FILE), 0);
    EXPECT_EQ(TokenLibrary.QZ_Open(1), 0);
    Keysim("insert 1");
    EXPECT_EQ(Select(SELECT_MASTER_FILE), KEY_STATUS_OK) << "the same key is back";
    Keysim("delete 1");
    Keysim("create 1 --pin 1234 --serial 00000001");
    EXPECT_EQ(Select(SELECT_MASTER_FILE), 0) << "another key in the slot";
}

// Told to vanish after 4 calls, the key answers four, the last a PIN check that writes key.ini itself,
// and is then pulled out for good: on disk, for this handle and for new opens.
TEST_F(ProvisionedKey, VanishingKeyAnswersItsCallsAndIsThenPulledOut)
{
    Keysim("vanish 1 4");
    Enter({ 0xAD01 });
    EXPECT_NE(Show().find("slot 1: inserted, vanishes after 2 more calls"), std::string::npos)
        << "the count is kept in key.ini, since the manager reloads the library for every open\n" << Show();
    ASSERT_EQ(Select(SELECT_ELEMENTARY_FILE, 0xEF01), KEY_STATUS_OK);
    EXPECT_EQ(Verify("000000"), 4) << "the last call is answered by the key as it was";

    EXPECT_EQ(Select(SELECT_MASTER_FILE), 0);
    EXPECT_EQ(TokenLibrary.QZ_Open(1), 0);
    std::vector<unsigned char> ini = ReadFileBytes(store.SlotFile(1, "key.ini"));
    std::string text(ini.begin(), ini.end());
    EXPECT_NE(text.find("inserted=no\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("vanish"), std::string::npos) << text;
    EXPECT_NE(text.find("retries_left=4\n"), std::string::npos) << "the last call's own write is kept\n" << text;
    Keysim("insert 1");
    EXPECT_EQ(Select(SELECT_MASTER_FILE), KEY_STATUS_OK) << "the same key is back, for good";
}

// The manager never writes to a key, but the stand-in guards certificates as a key does: only with the
// application's PIN verified on the handle since its last reset.
TEST_F(ProvisionedKey, WritesNeedTheVerifiedPin)
{
    Enter({ 0xAD01 });
    EXPECT_EQ(ENTRY(QZ_StoreCert)(handle, 1, 2, (int)signature.size(), signature.data()), -5);
    ASSERT_EQ(Verify("123456"), 0);
    EXPECT_EQ(ENTRY(QZ_StoreCert)(handle, 1, 3, (int)signature.size(), signature.data()), -3);
    EXPECT_EQ(ENTRY(QZ_StoreCert)(handle, 1, 2, (int)signature.size(), signature.data()), 0);
    EXPECT_EQ(ReadFileBytes(store.SlotFile(1, "files\\AD01\\DF12\\EF02.der")), signature);
    ASSERT_EQ(TokenLibrary.QZ_IC_RESET(handle, NULL), 0);
    Enter({ 0xAD01 });
    EXPECT_EQ(ENTRY(QZ_DeleteCert)(handle, 1, 2), -5) << "a reset forgets the verification";
}

} // namespace
