// The built KeyCmd.dll, KeyDev.dll and KeyNum.dll as the manager meets them: bound by name, every entry
// point safe on bad arguments, and keys that keysim.exe made read back through the manager's own code.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "manager.h"
#include "standin_harness.h"
#include "token_exports.h"

namespace {

class TokenLibraries : public ::testing::Test {
protected:
    static void SetUpTestSuite() { SetDllDirectoryA(StandinsFolder().c_str()); }
    static void TearDownTestSuite() { SetDllDirectoryA(NULL); }
};

struct LibraryList {
    const char* library;
    const TokenEntryName* entries;
    int count;
};

TEST_F(TokenLibraries, ExportEveryNameTheManagerBinds)
{
    const LibraryList lists[] = {
        { "KeyCmd.dll", KeyCmdEntries, KEYCMD_ENTRY_COUNT },
        { "KeyDev.dll", KeyDevEntries, KEYDEV_ENTRY_COUNT },
        { "KeyNum.dll", KeyNumEntries, KEYNUM_ENTRY_COUNT },
    };
    for (const LibraryList& list : lists) {
        HMODULE module = LoadLibraryA(list.library);
        ASSERT_NE(module, (HMODULE)NULL) << list.library << " from " << StandinsFolder();
        for (int i = 0; i < list.count; ++i)
            EXPECT_NE(GetProcAddress(module, list.entries[i].name), (FARPROC)NULL)
                << list.library << " lacks " << list.entries[i].name;
        FreeLibrary(module);
    }
}

TEST_F(TokenLibraries, ManagerBindsThemThroughItsOwnLoader)
{
    ASSERT_EQ(BindDeviceLibraries(), 1);
    EXPECT_NE((void*)TokenLibrary.HexToDec, nullptr);
    char decimal[512];
    EXPECT_EQ(TokenLibrary.HexToDec("574125ECCBBC1DC30B24B829A23A27123A5BC71B", decimal), 0);
    EXPECT_STREQ(decimal, "498135049231606636179648033591440066508150785819");
    EXPECT_NE(TokenLibrary.QZ_IsQZDevice("\\\\?\\USB#vid_5e2b&pid_0001#1#{x}"), 0);
    ReleaseDeviceLibrary();
    ASSERT_EQ(BindCommandLibrary(), 1);
    EXPECT_NE((void*)TokenLibrary.QZ_ChangePin, nullptr);
    ReleaseCommandLibrary();
}

// Every entry point called with null pointers, bad handles and absurd numbers: failures, no crash.
TEST_F(TokenLibraries, SurviveNullPointersAndBadHandles)
{
    TempStore store;
    HMODULE cmd = LoadLibraryA("KeyCmd.dll");
    HMODULE dev = LoadLibraryA("KeyDev.dll");
    HMODULE num = LoadLibraryA("KeyNum.dll");
    ASSERT_TRUE(cmd && dev && num);
#define BIND(module, name) auto name##_ = (decltype(&name))(void*)GetProcAddress(module, #name)
    BIND(cmd, QZ_Open);
    BIND(cmd, QZ_Close);
    BIND(cmd, QZ_IC_RESET);
    BIND(cmd, QZ_GET_SN);
    BIND(cmd, QZ_StoreCert);
    BIND(cmd, Read_Binary);
    BIND(cmd, Select_File);
    BIND(cmd, Update_Binary);
    BIND(cmd, QZ_DeleteCert);
    BIND(cmd, QZ_GET_BCDSN);
    BIND(cmd, QZ_ClearDir);
    BIND(cmd, QZ_VerifyPinUpDatePinInfoFile);
    BIND(cmd, QZ_ChangePin);
    BIND(cmd, QZ_AddCertToIE);
    BIND(cmd, QZ_DelCertFrIE);
    BIND(cmd, QZ_ReloadUserPin);
    BIND(cmd, QZ_InitialCard);
    BIND(dev, QZ_RegisterCardNotification);
    BIND(dev, QZ_UnregisterCardNotification);
    BIND(dev, QZ_IsQZDevice);
    BIND(dev, QZ_GetReaderList);
    BIND(dev, QZ_DestroyReaderList);
    BIND(num, HexToDec);
#undef BIND
    const int badHandles[] = { 0, -1, 1, 0x101, 0x7FFFFFFF, (int)0x80000000 };
    for (int h : badHandles) {
        EXPECT_LT(QZ_Close_(h), 0);
        EXPECT_LT(QZ_IC_RESET_(h, NULL), 0);
        EXPECT_LT(QZ_GET_SN_(h, NULL), 0);
        EXPECT_LT(QZ_StoreCert_(h, 0, 1, 5, NULL), 0);
        EXPECT_LT(Read_Binary_(h, 0, 0, 0, 0, 2, NULL, NULL), 0);
        EXPECT_LT(Select_File_(h, 0, 0, 0, NULL, NULL), 0);
        EXPECT_LT(Update_Binary_(h, 0, 0, 0, 0, 2, NULL, NULL), 0);
        EXPECT_LT(QZ_DeleteCert_(h, 0, 1), 0);
        EXPECT_LT(QZ_GET_BCDSN_(h, NULL), 0);
        EXPECT_LT(QZ_ClearDir_(h), 0);
        EXPECT_EQ(QZ_VerifyPinUpDatePinInfoFile_(h, NULL, 4), -2);
        EXPECT_EQ(QZ_ChangePin_(h, 5, NULL), -1000);
        EXPECT_LT(QZ_AddCertToIE_(h), 0);
        EXPECT_LT(QZ_DelCertFrIE_(h), 0);
        EXPECT_LT(QZ_ReloadUserPin_(h, NULL, 4), 0);
        EXPECT_LT(QZ_InitialCard_(h), 0);
    }
    const int badSlots[] = { -1, 0, 3, 4, 1000 };
    for (int slot : badSlots)
        EXPECT_EQ(QZ_Open_(slot), 0) << "the store is empty";
    EXPECT_EQ(QZ_RegisterCardNotification_(NULL, 0), -1);
    EXPECT_EQ(QZ_UnregisterCardNotification_(), 0);
    EXPECT_EQ(QZ_IsQZDevice_(NULL), 0);
    EXPECT_EQ(QZ_GetReaderList_(NULL, NULL), -1);
    EXPECT_EQ(QZ_DestroyReaderList_(NULL), -1);
    char stray[8];
    EXPECT_EQ(QZ_DestroyReaderList_(stray), -1) << "only lists it handed out are freed";
    char decimal[512];
    EXPECT_NE(HexToDec_(NULL, decimal), 0);
    EXPECT_NE(HexToDec_("12", NULL), 0);
    FreeLibrary(cmd);
    FreeLibrary(dev);
    FreeLibrary(num);
}

// A key made by keysim.exe with two demo certificates, then opened by the manager's own code.
class ProvisionedKey : public TokenLibraries {
protected:
    TempStore store;
    std::vector<unsigned char> encryption = ReadFileBytes(DemoCertificate("zhangsan-enc.der"));
    std::vector<unsigned char> signature = ReadFileBytes(DemoCertificate("lisi-sig.der"));

    void SetUp() override
    {
        ASSERT_GT(encryption.size(), 500u);
        ASSERT_GT(signature.size(), 500u);
        Keysim("create 1 --label 张三的Key --pin 123456 --pin2 111111 --serial 5E2B0042 --retries 5");
        Keysim("put-cert 1 1 0 enc \"" + DemoCertificate("zhangsan-enc.der") + "\"");
        Keysim("put-cert 1 2 1 sig \"" + DemoCertificate("lisi-sig.der") + "\"");
        ASSERT_EQ(BindCommandLibrary(), 1);
    }

    void TearDown() override { ReleaseCommandLibrary(); }

    void Keysim(const std::string& arguments, DWORD expected = 0)
    {
        KeysimRun run = RunKeysim(arguments);
        ASSERT_EQ(run.exitCode, expected) << "keysim " << arguments << "\n" << run.output;
    }

    unsigned short Select(int handle, int p1, unsigned id)
    {
        unsigned char data[2] = { (unsigned char)(id >> 8), (unsigned char)id };
        unsigned short status = 0;
        EXPECT_EQ(TokenLibrary.Select_File(handle, p1, 0, p1 ? 2 : 0, p1 ? data : NULL, &status), 0);
        return status;
    }

    std::vector<unsigned char> ReadFile(int handle, unsigned id, size_t size)
    {
        std::vector<unsigned char> buffer(size);
        int length = 0;
        if (ReadUsbKeyFile(handle, id, buffer.data(), buffer.size(), &length) != 0)
            return {};
        buffer.resize((size_t)length);
        return buffer;
    }
};

TEST_F(ProvisionedKey, ReadsBackTheWayTheManagerReadsIt)
{
    EXPECT_EQ(TokenLibrary.QZ_Open(0), 0) << "slot 0 is empty";
    int handle = TokenLibrary.QZ_Open(1);
    ASSERT_GT(handle, 0);
    unsigned char answer[80];
    ASSERT_EQ(TokenLibrary.QZ_IC_RESET(handle, answer), 0);
    EXPECT_EQ(answer[0], 0x3B);
    unsigned char serial[64] = {};
    ASSERT_EQ(TokenLibrary.QZ_GET_BCDSN(handle, serial), 0);
    EXPECT_EQ(serial[0] << 24 | serial[1] << 16 | serial[2] << 8 | serial[3], 0x5E2B0042);

    ASSERT_EQ(Select(handle, 0, 0), KEY_STATUS_OK);
    std::vector<unsigned char> info = ReadFile(handle, 0xEF01, 340);
    ASSERT_EQ(info.size(), 340u);
    EXPECT_STREQ((const char*)info.data(), "张三的Key");
    EXPECT_EQ(info[68], 1);
    EXPECT_EQ(info[68 + 136], 1);

    ASSERT_EQ(Select(handle, 1, 0xAD01), KEY_STATUS_OK);
    std::vector<unsigned char> directory = ReadFile(handle, 0xEF01, 620);
    ASSERT_GE(directory.size(), 2u * 148);
    EXPECT_EQ(directory[32], 1);
    EXPECT_EQ(directory[40], 0);
    EXPECT_EQ(directory[48], 1);
    EXPECT_EQ(directory[148 + 48], 0);

    ASSERT_EQ(Select(handle, 1, 0xDF11), KEY_STATUS_OK);
    EXPECT_EQ(ReadFile(handle, 0xEF01, 3000), encryption);
    EXPECT_EQ(Select(handle, 2, 0xEF02), 0x6A82);

    ASSERT_EQ(Select(handle, 0, 0), KEY_STATUS_OK);
    ASSERT_EQ(Select(handle, 1, 0xAD02), KEY_STATUS_OK);
    ASSERT_EQ(Select(handle, 1, 0xDF22), KEY_STATUS_OK);
    EXPECT_EQ(ReadFile(handle, 0xEF02, 3000), signature);
    EXPECT_EQ(TokenLibrary.QZ_Close(handle), 0);
    EXPECT_LT(TokenLibrary.QZ_Close(handle), 0) << "a closed handle is gone";
}

TEST_F(ProvisionedKey, CorruptPrefixIsRefusedByTheManagersReader)
{
    Keysim("corrupt 1 length AD01/DF11/EF01 4000");
    int handle = TokenLibrary.QZ_Open(1);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(Select(handle, 1, 0xAD01), KEY_STATUS_OK);
    ASSERT_EQ(Select(handle, 1, 0xDF11), KEY_STATUS_OK);
    std::vector<unsigned char> buffer(3000);
    int length = 0;
    EXPECT_EQ(ReadUsbKeyFile(handle, 0xEF01, buffer.data(), buffer.size(), &length), -1);
    EXPECT_EQ(length, 4000);
    TokenLibrary.QZ_Close(handle);
}

TEST_F(ProvisionedKey, PinCountersPersistAcrossProcesses)
{
    int handle = TokenLibrary.QZ_Open(1);
    ASSERT_GT(handle, 0);
    const unsigned char wrong[] = "000000";
    const unsigned char right[] = "123456";
    EXPECT_EQ(TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, right, 6), -2) << "no application selected";
    ASSERT_EQ(Select(handle, 1, 0xAD01), KEY_STATUS_OK);
    EXPECT_EQ(TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, wrong, 6), 4);
    EXPECT_EQ(TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, wrong, 6), 3);
    KeysimRun shown = RunKeysim("show 1");
    EXPECT_NE(shown.output.find("application 1 (AD01): 3 of 5 retries left"), std::string::npos) << shown.output;

    // Another process sets the counter; this handle sees it on its next call.
    Keysim("set-retries 1 1 1");
    EXPECT_EQ(TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, wrong, 6), -1);
    EXPECT_EQ(TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, right, 6), -1) << "locked for the right PIN too";
    shown = RunKeysim("show 1");
    EXPECT_NE(shown.output.find("0 of 5 retries left, LOCKED"), std::string::npos) << shown.output;

    ASSERT_EQ(Select(handle, 0, 0), KEY_STATUS_OK);
    ASSERT_EQ(Select(handle, 1, 0xAD02), KEY_STATUS_OK);
    EXPECT_EQ(TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, (const unsigned char*)"111111", 6), 0)
        << "application 2 has its own counter";
    const unsigned char change[] = "111111\xFF" "2468";
    EXPECT_EQ(TokenLibrary.QZ_ChangePin(handle, 11, change), 0);
    EXPECT_EQ(TokenLibrary.QZ_ChangePin(handle, 6, change), -1000);
    TokenLibrary.QZ_Close(handle);
    shown = RunKeysim("show 1");
    EXPECT_NE(shown.output.find("5 of 5 retries left, PIN 2468"), std::string::npos) << shown.output;
}

TEST_F(ProvisionedKey, PulledKeyEndsItsHandles)
{
    int handle = TokenLibrary.QZ_Open(1);
    ASSERT_GT(handle, 0);
    Keysim("remove 1");
    unsigned short status = 0;
    EXPECT_LT(TokenLibrary.Select_File(handle, 0, 0, 0, NULL, &status), 0);
    EXPECT_EQ(TokenLibrary.QZ_Open(1), 0);
    Keysim("insert 1");
    EXPECT_EQ(TokenLibrary.Select_File(handle, 0, 0, 0, NULL, &status), 0) << "the same key is back";
    Keysim("delete 1");
    Keysim("create 1 --pin 1234 --serial 00000001");
    EXPECT_LT(TokenLibrary.Select_File(handle, 0, 0, 0, NULL, &status), 0) << "another key in the slot";
    TokenLibrary.QZ_Close(handle);
}

// Told to vanish after 4 calls, the key answers four, the last a PIN check that writes key.ini itself,
// and is then pulled out for good: on disk, for this handle and for new opens.
TEST_F(ProvisionedKey, VanishingKeyAnswersItsCallsAndIsThenPulledOut)
{
    int handle = TokenLibrary.QZ_Open(1);
    ASSERT_GT(handle, 0);
    Keysim("vanish 1 4");
    ASSERT_EQ(Select(handle, 0, 0), KEY_STATUS_OK);
    ASSERT_EQ(Select(handle, 1, 0xAD01), KEY_STATUS_OK);
    KeysimRun shown = RunKeysim("show 1");
    EXPECT_NE(shown.output.find("slot 1: inserted, vanishes after 2 more calls"), std::string::npos)
        << "the count is kept in key.ini, since the manager reloads the library for every open\n" << shown.output;
    ASSERT_EQ(Select(handle, 2, 0xEF01), KEY_STATUS_OK);
    EXPECT_EQ(TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, (const unsigned char*)"000000", 6), 4)
        << "the last call is answered by the key as it was";

    unsigned short status = 0;
    EXPECT_LT(TokenLibrary.Select_File(handle, 0, 0, 0, NULL, &status), 0);
    EXPECT_EQ(TokenLibrary.QZ_Open(1), 0);
    std::vector<unsigned char> ini = ReadFileBytes(store.SlotFile(1, "key.ini"));
    std::string text(ini.begin(), ini.end());
    EXPECT_NE(text.find("inserted=no\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("vanish"), std::string::npos) << text;
    EXPECT_NE(text.find("retries_left=4\n"), std::string::npos) << "the last call's own write is kept\n" << text;

    Keysim("insert 1");
    EXPECT_EQ(TokenLibrary.Select_File(handle, 0, 0, 0, NULL, &status), 0) << "the same key is back, for good";
    TokenLibrary.QZ_Close(handle);
}

TEST_F(ProvisionedKey, WritesNeedTheVerifiedPin)
{
    HMODULE cmd = GetModuleHandleA("KeyCmd.dll");
    auto storeCert = (decltype(&QZ_StoreCert))(void*)GetProcAddress(cmd, "QZ_StoreCert");
    auto deleteCert = (decltype(&QZ_DeleteCert))(void*)GetProcAddress(cmd, "QZ_DeleteCert");
    int handle = TokenLibrary.QZ_Open(1);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(Select(handle, 1, 0xAD01), KEY_STATUS_OK);
    EXPECT_EQ(storeCert(handle, 1, 2, (int)signature.size(), signature.data()), -5);
    ASSERT_EQ(TokenLibrary.QZ_VerifyPinUpDatePinInfoFile(handle, (const unsigned char*)"123456", 6), 0);
    EXPECT_EQ(storeCert(handle, 1, 3, (int)signature.size(), signature.data()), -3);
    EXPECT_EQ(storeCert(handle, 1, 2, (int)signature.size(), signature.data()), 0);
    EXPECT_EQ(ReadFileBytes(store.SlotFile(1, "files\\AD01\\DF12\\EF02.der")), signature);
    EXPECT_EQ(deleteCert(handle, 0, 1), 0);
    KeysimRun shown = RunKeysim("show 1");
    EXPECT_NE(shown.output.find("container 0 (DF11) VLM-5E2B0042-DF11: enc - sig -"), std::string::npos) << shown.output;
    ASSERT_EQ(TokenLibrary.QZ_IC_RESET(handle, NULL), 0);
    ASSERT_EQ(Select(handle, 1, 0xAD01), KEY_STATUS_OK);
    EXPECT_EQ(deleteCert(handle, 1, 2), -5) << "a reset forgets the verification";
    TokenLibrary.QZ_Close(handle);
}

TEST_F(ProvisionedKey, ReaderListNamesInsertedKeys)
{
    Keysim("create 3 --pin 1 --removed");
    HMODULE dev = LoadLibraryA("KeyDev.dll");
    auto getList = (decltype(&QZ_GetReaderList))(void*)GetProcAddress(dev, "QZ_GetReaderList");
    auto destroyList = (decltype(&QZ_DestroyReaderList))(void*)GetProcAddress(dev, "QZ_DestroyReaderList");
    char* list = NULL;
    int count = -1;
    ASSERT_EQ(getList(&list, &count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_STREQ(list, "Velmora Virtual Key 1");
    EXPECT_EQ(list[strlen(list) + 1], '\0');
    EXPECT_EQ(destroyList(list), 0);
    EXPECT_EQ(destroyList(list), -1) << "freed once only";
    FreeLibrary(dev);
}

} // namespace
