// The store on disk: where it is, whole-file reads with their limits, and replacing writes.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "standin_harness.h"
#include "store_folder.h"

namespace {

TEST(StoreFolder, FollowsKeysimStoreElseTheAllUsersFolder)
{
    char folder[STORE_PATH_MAX];
    {
        TempStore store;
        SetEnvironmentVariableA(KEY_STORE_VARIABLE, (store.Folder() + "\\").c_str());
        ASSERT_EQ(GetKeyStoreFolder(folder, sizeof folder), 0);
        EXPECT_EQ(std::string(folder), store.Folder()) << "a trailing separator is dropped";
    }
    ASSERT_EQ(GetKeyStoreFolder(folder, sizeof folder), 0);
    std::string path(folder);
    EXPECT_EQ(path.substr(path.size() - 14), "\\VelmoraKeySim") << path;
    EXPECT_EQ(GetSlotFolder("C:\\store", 3, folder, sizeof folder), 0);
    EXPECT_STREQ(folder, "C:\\store\\slot3");
}

// With no slot folder to work in, nothing may land in the root of the current drive.
TEST(StoreFolder, NoFolderMeansNoFileIsReached)
{
    FolderStorage files;
    KeyStorage storage;
    OpenFolderStorage(&files, "", &storage);
    EXPECT_EQ(storage.load(storage.context, "key.ini", NULL, 0), STORED_ERROR);
    EXPECT_NE(storage.save(storage.context, "key.ini", (const unsigned char*)"x", 1), 0);
    EXPECT_NE(storage.erase(storage.context, "key.ini"), 0);
    KeysimRun run = RunKeysim("--store " + std::string(STORE_PATH_MAX - 4, 's') + " list");
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_NE(run.output.find("too long"), std::string::npos) << run.output;
}

class FolderFiles : public ::testing::Test {
protected:
    TempStore store;
    std::string slot = store.Folder() + "\\slot0";
    FolderStorage files;
    KeyStorage storage;

    void SetUp() override { OpenFolderStorage(&files, slot.c_str(), &storage); }

    long Load(const char* path, unsigned char* buffer, size_t size)
    {
        return storage.load(storage.context, path, buffer, size);
    }
    int Save(const char* path, const char* text, size_t size)
    {
        return storage.save(storage.context, path, (const unsigned char*)text, size);
    }
};

TEST_F(FolderFiles, SaveReplacesWholeFilesAndLoadAndEraseTellWhatIsThere)
{
    unsigned char buffer[64];
    EXPECT_EQ(Load("key.ini", buffer, sizeof buffer), STORED_ABSENT);
    EXPECT_EQ(Load("no\\such\\folder\\key.ini", buffer, sizeof buffer), STORED_ABSENT);
    ASSERT_EQ(Save("files\\AD01\\DF11\\EF01.der", "first version, longer", 21), 0);
    ASSERT_EQ(Save("files\\AD01\\DF11\\EF01.der", "second", 6), 0);
    ASSERT_EQ(Load("files\\AD01\\DF11\\EF01.der", buffer, sizeof buffer), 6);
    EXPECT_EQ(memcmp(buffer, "second", 6), 0);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((slot + "\\files\\AD01\\DF11\\*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a temporary file is left beside it";
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    EXPECT_EQ(Load("files\\AD01\\DF11\\EF01.der", buffer, 5), STORED_TOO_LARGE);
    EXPECT_EQ(Load("files\\AD01\\DF11\\EF01.der", NULL, 0), STORED_TOO_LARGE);
    ASSERT_EQ(Save("empty", "", 0), 0);
    EXPECT_EQ(Load("empty", NULL, 0), 0);
    EXPECT_TRUE(StoredFileExists(&storage, "empty"));

    EXPECT_EQ(storage.erase(storage.context, "nothing"), 0);
    EXPECT_EQ(storage.erase(storage.context, "empty"), 0);
    EXPECT_EQ(Load("empty", NULL, 0), STORED_ABSENT);
    EXPECT_EQ(DeleteFolderTree(slot.c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(slot.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(DeleteFolderTree(slot.c_str()), 0) << "deleting what is gone is no failure";
}

DWORD WINAPI CloseLater(void* handle)
{
    Sleep(150);
    CloseHandle((HANDLE)handle);
    return 0;
}

// A reader has key.ini open for a moment (the libraries read it on every call): the write waits for it.
TEST_F(FolderFiles, ReplacingWaitsForABriefReader)
{
    ASSERT_EQ(Save("key.ini", "content", 7), 0);
    HANDLE reader = CreateFileA((slot + "\\key.ini").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE closer = CreateThread(NULL, 0, CloseLater, reader, 0, NULL);
    EXPECT_EQ(Save("key.ini", "new", 3), 0);
    WaitForSingleObject(closer, 5000);
    CloseHandle(closer);
    unsigned char buffer[8];
    EXPECT_EQ(Load("key.ini", buffer, sizeof buffer), 3);
}

} // namespace
