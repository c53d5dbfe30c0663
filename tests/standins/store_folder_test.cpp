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
        ASSERT_EQ(GetKeyStoreFolder(folder, sizeof folder), 0);
        EXPECT_EQ(std::string(folder), store.Folder());
        SetEnvironmentVariableA(KEY_STORE_VARIABLE, (store.Folder() + "\\").c_str());
        ASSERT_EQ(GetKeyStoreFolder(folder, sizeof folder), 0);
        EXPECT_EQ(std::string(folder), store.Folder()) << "a trailing separator is dropped";
    }
    ASSERT_EQ(GetKeyStoreFolder(folder, sizeof folder), 0);
    std::string path(folder);
    EXPECT_EQ(path.substr(path.size() - 14), "\\VelmoraKeySim") << path;
    char small[8];
    EXPECT_EQ(GetKeyStoreFolder(small, sizeof small), -1);
    EXPECT_EQ(GetSlotFolder("C:\\store", 3, folder, sizeof folder), 0);
    EXPECT_STREQ(folder, "C:\\store\\slot3");
    EXPECT_EQ(GetSlotFolder("C:\\store", -1, folder, sizeof folder), -1);
}

class FolderFiles : public ::testing::Test {
protected:
    TempStore store;
    FolderStorage files;
    KeyStorage storage;

    void SetUp() override { OpenFolderStorage(&files, (store.Folder() + "\\slot0").c_str(), &storage); }

    long Load(const char* path, unsigned char* buffer, size_t size)
    {
        return storage.load(storage.context, path, buffer, size);
    }
};

TEST_F(FolderFiles, SaveCreatesFoldersAndReplacesWholeFiles)
{
    const unsigned char first[] = "first version, longer";
    const unsigned char second[] = "second";
    ASSERT_EQ(storage.save(storage.context, "files\\AD01\\DF11\\EF01.der", first, sizeof first), 0);
    ASSERT_EQ(storage.save(storage.context, "files\\AD01\\DF11\\EF01.der", second, sizeof second), 0);
    unsigned char buffer[64];
    ASSERT_EQ(Load("files\\AD01\\DF11\\EF01.der", buffer, sizeof buffer), (long)sizeof second);
    EXPECT_EQ(memcmp(buffer, second, sizeof second), 0);
    // No temporary file is left beside it.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((store.Folder() + "\\slot0\\files\\AD01\\DF11\\*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
}

TEST_F(FolderFiles, LoadTellsAbsentTooLargeAndEmptyApart)
{
    unsigned char buffer[4];
    EXPECT_EQ(Load("key.ini", buffer, sizeof buffer), STORED_ABSENT);
    EXPECT_EQ(Load("no\\such\\folder\\key.ini", buffer, sizeof buffer), STORED_ABSENT);
    const unsigned char five[5] = { 1, 2, 3, 4, 5 };
    ASSERT_EQ(storage.save(storage.context, "five", five, sizeof five), 0);
    EXPECT_EQ(Load("five", buffer, sizeof buffer), STORED_TOO_LARGE);
    EXPECT_EQ(Load("five", NULL, 0), STORED_TOO_LARGE);
    ASSERT_EQ(storage.save(storage.context, "empty", five, 0), 0);
    EXPECT_EQ(Load("empty", NULL, 0), 0);
    EXPECT_TRUE(StoredFileExists(&storage, "empty"));
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
    const unsigned char bytes[] = "content";
    ASSERT_EQ(storage.save(storage.context, "key.ini", bytes, sizeof bytes), 0);
    std::string path = store.Folder() + "\\slot0\\key.ini";
    HANDLE reader = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE closer = CreateThread(NULL, 0, CloseLater, reader, 0, NULL);
    EXPECT_EQ(storage.save(storage.context, "key.ini", bytes, 3), 0);
    WaitForSingleObject(closer, 5000);
    CloseHandle(closer);
    unsigned char buffer[8];
    EXPECT_EQ(Load("key.ini", buffer, sizeof buffer), 3);
}

TEST_F(FolderFiles, EraseAndDeleteTreeAreQuietAboutWhatIsNotThere)
{
    EXPECT_EQ(storage.erase(storage.context, "nothing"), 0);
    const unsigned char bytes[] = "x";
    ASSERT_EQ(storage.save(storage.context, "files\\EF01.raw", bytes, 1), 0);
    EXPECT_EQ(storage.erase(storage.context, "files\\EF01.raw"), 0);
    EXPECT_EQ(Load("files\\EF01.raw", NULL, 0), STORED_ABSENT);
    ASSERT_EQ(storage.save(storage.context, "files\\AD01\\DF11\\EF01.der", bytes, 1), 0);
    EXPECT_EQ(DeleteFolderTree((store.Folder() + "\\slot0").c_str()), 0);
    EXPECT_EQ(GetFileAttributesA((store.Folder() + "\\slot0").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(DeleteFolderTree((store.Folder() + "\\slot0").c_str()), 0);
}

} // namespace
