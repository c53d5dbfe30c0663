// The key's file tree through Select_File and Read_Binary semantics: paths, status words, offsets,
// 128-byte pieces, the generated files' layout, and stored images served byte for byte. Random commands
// over lying images are the virtual_key fuzz target's.
#include <gtest/gtest.h>

#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "file_system.h"
#include "key_store.h"
#include "memory_storage.h"

namespace {

class FileSystem : public ::testing::Test {
protected:
    MemoryStorage memory;
    KeyDescription key = SampleKey();
    KeyCursor cursor;

    void SetUp() override
    {
        SaveKeyDescription(&memory.storage, &key);
        ResetCursor(&cursor);
    }

    unsigned short Select(int p1, unsigned id, int length = 2, int p2 = 0)
    {
        unsigned char data[3] = { (unsigned char)(id >> 8), (unsigned char)id, 0 };
        return SelectFile(&memory.storage, &key, &cursor, p1, p2, length, data);
    }

    // From the master file down the directories, then the file: the first status that is not SW_OK.
    unsigned short Path(std::initializer_list<unsigned> directories, unsigned file)
    {
        unsigned short status = Select(SELECT_MASTER, 0, 0);
        for (unsigned id : directories)
            if (status == SW_OK)
                status = Select(SELECT_CHILD_DIRECTORY, id);
        return status == SW_OK ? Select(SELECT_ELEMENTARY, file) : status;
    }

    unsigned short Read(int offset, int count, unsigned char* destination, int* delivered)
    {
        return ReadBinary(&memory.storage, &key, &cursor, 0, offset / 256, offset, 0, count, destination, delivered);
    }

    // The whole current file read in 128-byte pieces, prefix included.
    Bytes ReadAll()
    {
        unsigned char header[2];
        int delivered = 0;
        if (Read(0, 2, header, &delivered) != SW_OK)
            return Bytes();
        Bytes all(2 + (size_t)(header[0] << 8 | header[1]));
        for (size_t offset = 0; offset < all.size(); offset += 128) {
            int piece = (int)std::min<size_t>(128, all.size() - offset);
            if (Read((int)offset, piece, all.data() + offset, &delivered) != SW_OK || delivered != piece)
                return Bytes();
        }
        return all;
    }
};

TEST_F(FileSystem, SelectAnswersEachPathWithItsStatus)
{
    memory.files["files\\AD01\\DF11\\EF01.der"] = FakeCertificate(600, 1);
    const struct {
        const char* name;
        std::vector<unsigned> directories; // selected first from the master file, each must succeed
        int p1;
        unsigned id;
        int length;
        int p2;
        unsigned short status;
    } cases[] = {
        { "master file", {}, SELECT_MASTER, 0, 0, 0, SW_OK },
        { "master file by id", { 0xAD01 }, SELECT_MASTER, FID_MASTER, 2, 0, SW_OK },
        { "master file, other id", {}, SELECT_MASTER, 0x1234, 2, 0, SW_FILE_NOT_FOUND },
        { "master file, one byte", {}, SELECT_MASTER, 0, 1, 0, SW_WRONG_LENGTH },
        { "device info", {}, SELECT_ELEMENTARY, 0xEF01, 2, 0, SW_OK },
        { "application 1", {}, SELECT_CHILD_DIRECTORY, 0xAD01, 2, 0, SW_OK },
        { "application 3", {}, SELECT_CHILD_DIRECTORY, 0xAD03, 2, 0, SW_FILE_NOT_FOUND },
        { "container from the master file", {}, SELECT_CHILD_DIRECTORY, 0xDF11, 2, 0, SW_FILE_NOT_FOUND },
        { "container directory", { 0xAD01 }, SELECT_ELEMENTARY, 0xEF01, 2, 0, SW_OK },
        { "container of its application", { 0xAD02 }, SELECT_CHILD_DIRECTORY, 0xDF22, 2, 0, SW_OK },
        { "other application's container", { 0xAD01 }, SELECT_CHILD_DIRECTORY, 0xDF21, 2, 0, SW_FILE_NOT_FOUND },
        { "sibling application", { 0xAD01 }, SELECT_CHILD_DIRECTORY, 0xAD02, 2, 0, SW_FILE_NOT_FOUND },
        { "below a container", { 0xAD01, 0xDF11 }, SELECT_CHILD_DIRECTORY, 0xDF11, 2, 0, SW_FILE_NOT_FOUND },
        { "empty certificate place", { 0xAD01, 0xDF11 }, SELECT_ELEMENTARY, 0xEF02, 2, 0, SW_FILE_NOT_FOUND },
        { "stored certificate", { 0xAD01, 0xDF11 }, SELECT_ELEMENTARY, 0xEF01, 2, 0, SW_OK },
        { "unknown file", {}, SELECT_ELEMENTARY, 0xEF09, 2, 0, SW_FILE_NOT_FOUND },
        { "directory as a file", {}, SELECT_ELEMENTARY, 0xAD01, 2, 0, SW_FILE_NOT_FOUND },
        { "file as a directory", {}, SELECT_CHILD_DIRECTORY, 0xEF01, 2, 0, SW_FILE_NOT_FOUND },
        { "no data", {}, SELECT_ELEMENTARY, 0xEF01, 0, 0, SW_WRONG_LENGTH },
        { "three bytes", {}, SELECT_CHILD_DIRECTORY, 0xAD01, 3, 0, SW_WRONG_LENGTH },
        { "P1 3", {}, 3, 0xEF01, 2, 0, SW_WRONG_P1P2 },
        { "P2 not 0", {}, SELECT_ELEMENTARY, 0xEF01, 2, 4, SW_WRONG_P1P2 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ResetCursor(&cursor);
        for (unsigned id : c.directories)
            ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, id), SW_OK) << std::hex << id;
        EXPECT_EQ(Select(c.p1, c.id, c.length, c.p2), c.status);
    }

    // A failed select leaves the cursor where it was.
    ASSERT_EQ(Path({ 0xAD01 }, 0xEF01), SW_OK);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD02), SW_FILE_NOT_FOUND);
    EXPECT_EQ(ApplicationOf(&cursor.directory), 0);
    EXPECT_TRUE(cursor.fileSelected);
    // An application the key lacks is not there.
    key.apps[1].present = 0;
    EXPECT_EQ(Path({ 0xAD02 }, 0xEF01), SW_FILE_NOT_FOUND);
}

// The device information file is 342 bytes with its prefix.
TEST_F(FileSystem, ReadDeliversAtMostCountBytesWithItsStatus)
{
    unsigned char buffer[200];
    int delivered = 0;
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_NO_CURRENT_FILE);
    ASSERT_EQ(Path({}, 0xEF01), SW_OK);
    const struct {
        int offset;
        int count;
        unsigned short status;
        int delivered;
    } cases[] = {
        { 0, 2, SW_OK, 2 },           { 2, 128, SW_OK, 128 },       { 258, 84, SW_OK, 84 },
        { 341, 1, SW_OK, 1 },         { 300, 128, SW_END_OF_FILE, 42 }, { 342, 1, SW_WRONG_OFFSET, 0 },
        { 5000, 16, SW_WRONG_OFFSET, 0 }, { 0, 0, SW_WRONG_LENGTH, 0 }, { 0, 129, SW_WRONG_LENGTH, 0 },
        { 0, -5, SW_WRONG_LENGTH, 0 }, { -1, 2, SW_WRONG_P1P2, 0 },  { 0x8000, 2, SW_WRONG_P1P2, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("offset " + std::to_string(c.offset) + " count " + std::to_string(c.count));
        memset(buffer, 0xCC, sizeof buffer);
        delivered = -1;
        EXPECT_EQ(Read(c.offset, c.count, buffer, &delivered), c.status);
        EXPECT_EQ(delivered, c.delivered);
        for (size_t i = (size_t)c.delivered; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 0xCC) << "byte " << i << " written past what was delivered";
    }
    // mode, the offset's high byte and the reserved byte must agree; a destination is needed.
    EXPECT_EQ(ReadBinary(&memory.storage, &key, &cursor, 0, 1, 2, 0, 2, buffer, &delivered), SW_WRONG_P1P2);
    EXPECT_EQ(ReadBinary(&memory.storage, &key, &cursor, 1, 0, 2, 0, 2, buffer, &delivered), SW_WRONG_P1P2);
    EXPECT_EQ(ReadBinary(&memory.storage, &key, &cursor, 0, 0, 2, 7, 2, buffer, &delivered), SW_WRONG_P1P2);
    EXPECT_EQ(ReadBinary(&memory.storage, &key, &cursor, 0, 0, 2, 0, 2, NULL, &delivered), SW_WRONG_LENGTH);
    // Selecting a directory, the master file included, ends the file selection.
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_NO_CURRENT_FILE);
    ASSERT_EQ(Path({}, 0xEF01), SW_OK);
    ASSERT_EQ(Select(SELECT_MASTER, 0, 0), SW_OK);
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_NO_CURRENT_FILE);
}

TEST_F(FileSystem, GeneratedFilesDescribeTheKeyAndItsCertificates)
{
    key.apps[0].present = 0;
    memory.files["files\\AD02\\DF21\\EF02.der"] = FakeCertificate(900, 2);
    memory.files["files\\AD02\\DF22\\EF01.der"] = FakeCertificate(1000, 3);
    memory.files["files\\AD02\\DF22\\EF02.der"] = FakeCertificate(1100, 4);
    ASSERT_EQ(Path({}, 0xEF01), SW_OK);
    Bytes info = ReadAll();
    ASSERT_EQ(info.size(), 2u + KEY_DEVICE_INFO_SIZE);
    EXPECT_EQ(info[0] << 8 | info[1], KEY_DEVICE_INFO_SIZE);
    EXPECT_STREQ((const char*)&info[2], "测试Key");
    EXPECT_EQ(Bytes(&info[2 + 68], &info[2 + 72]), (Bytes{ 0, 0, 0, 0 })) << "application 1 is absent";
    EXPECT_EQ(Bytes(&info[2 + 68 + 136], &info[2 + 72 + 136]), (Bytes{ 1, 0, 0, 0 }));

    // Per container: encryption flag and length, signature flag and length, in use.
    Bytes directory;
    auto fields = [&directory](int j) {
        const unsigned char* r = &directory.at(2 + 148 * j);
        return std::vector<int>{ r[32], r[36] | r[37] << 8, r[40], r[44] | r[45] << 8, r[48] };
    };
    ASSERT_EQ(Path({ 0xAD02 }, 0xEF01), SW_OK);
    directory = ReadAll();
    ASSERT_EQ(directory.size(), 2u + KEY_CONTAINER_DIRECTORY_SIZE);
    EXPECT_STREQ((const char*)&directory[2], key.apps[1].containerNames[0]);
    EXPECT_STREQ((const char*)&directory[2 + 148], key.apps[1].containerNames[1]);
    EXPECT_EQ(fields(0), (std::vector<int>{ 0, 0, 1, 900, 1 }));
    EXPECT_EQ(fields(1), (std::vector<int>{ 1, 1000, 1, 1100, 1 }));
    key.apps[0].present = 1;
    ASSERT_EQ(Path({ 0xAD01 }, 0xEF01), SW_OK);
    directory = ReadAll();
    EXPECT_EQ(fields(0), (std::vector<int>{ 0, 0, 0, 0, 0 })) << "an empty container is not in use";
    EXPECT_EQ(fields(1), (std::vector<int>{ 0, 0, 0, 0, 0 }));
}

TEST_F(FileSystem, RawImagesAreServedExactlyAndAnnouncedByTheirPrefix)
{
    // Declares 4000 bytes, holds 10: the manager must refuse it rather than read 4000.
    Bytes raw = { 0x0F, 0xA0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 };
    memory.files["files\\AD01\\DF11\\EF02.raw"] = raw;
    ASSERT_EQ(Path({ 0xAD01 }, 0xEF01), SW_OK);
    Bytes directory = ReadAll();
    ASSERT_EQ(directory.size(), 302u);
    EXPECT_EQ(directory[2 + 40], 1);
    EXPECT_EQ(directory[2 + 44] | directory[2 + 45] << 8, 4000);

    ASSERT_EQ(Path({ 0xAD01, 0xDF11 }, 0xEF02), SW_OK);
    unsigned char buffer[128];
    int delivered = 0;
    ASSERT_EQ(Read(0, 12, buffer, &delivered), SW_OK);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), buffer));
    EXPECT_EQ(Read(2, 128, buffer, &delivered), SW_END_OF_FILE);
    EXPECT_EQ(delivered, 10);

    memory.files["files\\EF01.raw"] = Bytes{ 0x00, 0x03, 'a', 'b', 'c' };
    ASSERT_EQ(Path({}, 0xEF01), SW_OK);
    EXPECT_EQ(ReadAll(), (Bytes{ 0x00, 0x03, 'a', 'b', 'c' })) << "a raw image replaces the generated file";
}

TEST_F(FileSystem, StoredCertificateIsServedWithItsPrefixUntilItGoesOrOverflows)
{
    Bytes der = FakeCertificate(300, 1);
    memory.files["files\\AD01\\DF11\\EF01.der"] = der;
    ASSERT_EQ(Path({ 0xAD01, 0xDF11 }, 0xEF01), SW_OK);
    der.insert(der.begin(), { 0x01, 0x2C });
    EXPECT_EQ(ReadAll(), der);
    unsigned char buffer[2];
    int delivered = -1;
    memory.files["files\\AD01\\DF11\\EF01.der"] = Bytes(KEY_FILE_MAX, 0x30);
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_UNKNOWN);
    EXPECT_EQ(delivered, 0);
    memory.files.clear();
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_FILE_NOT_FOUND);
}

// Certificates can be patched inside their present length; the generated files are read-only.
TEST_F(FileSystem, UpdateWritesInsideCertificatesOnly)
{
    memory.files["files\\AD01\\DF11\\EF01.der"] = FakeCertificate(300, 1);
    const unsigned char patch[3] = { 0xAA, 0xBB, 0xCC };
    ASSERT_EQ(Path({}, 0xEF01), SW_OK);
    EXPECT_EQ(UpdateBinary(&memory.storage, &key, &cursor, 10, 3, patch), SW_SECURITY_NOT_SATISFIED);
    ASSERT_EQ(Path({ 0xAD01, 0xDF11 }, 0xEF01), SW_OK);
    EXPECT_EQ(UpdateBinary(&memory.storage, &key, &cursor, 300, 3, patch), SW_WRONG_OFFSET);
    ASSERT_EQ(UpdateBinary(&memory.storage, &key, &cursor, 10, 3, patch), SW_OK);
    const Bytes& der = memory.files["files\\AD01\\DF11\\EF01.der"];
    EXPECT_EQ(Bytes(&der[8], &der[11]), Bytes(patch, patch + 3)) << "the offset counts the 2-byte prefix";
    EXPECT_FALSE(memory.Has("files\\AD01\\DF11\\EF01.raw"));
    ASSERT_EQ(UpdateBinary(&memory.storage, &key, &cursor, 0, 3, patch), SW_OK);
    EXPECT_TRUE(memory.Has("files\\AD01\\DF11\\EF01.raw")) << "a prefix that no longer matches makes a raw image";
}

} // namespace
