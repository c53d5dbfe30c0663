// The key's file tree through Select_File and Read_Binary semantics: paths, status words, offsets,
// 128-byte pieces, the generated files' layout, and stored images served byte for byte.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "file_system.h"
#include "key_store.h"
#include "memory_storage.h"
#include "token/key_file.h"
#include "token/token_api.h"

namespace {

class FileSystem : public ::testing::Test {
protected:
    MemoryStorage memory;
    KeyDescription key = SampleKey();
    KeyCursor cursor;

    void SetUp() override
    {
        StoreKey(memory, key);
        ResetCursor(&cursor);
    }

    unsigned short Select(int p1, unsigned id, int length = 2, int p2 = 0)
    {
        unsigned char data[2] = { (unsigned char)(id >> 8), (unsigned char)id };
        return SelectFile(&memory.storage, &key, &cursor, p1, p2, length, length ? data : NULL);
    }

    unsigned short Read(int offset, int count, unsigned char* destination, int* delivered)
    {
        return ReadBinary(&memory.storage, &key, &cursor, 0, offset / 256, offset, 0, count, destination, delivered);
    }

    void PutCertificate(int app, int container, CertKind kind, const Bytes& der)
    {
        char path[64];
        CertificatePath(app, container, kind, CERT_EXTENSION, path, sizeof path);
        memory.files[path] = der;
    }

    // The whole current file read in 128-byte pieces, prefix included.
    Bytes ReadAll()
    {
        unsigned char header[2];
        int delivered = 0;
        if (Read(0, 2, header, &delivered) != SW_OK)
            return Bytes();
        size_t total = 2 + (size_t)(header[0] << 8 | header[1]);
        Bytes all(total);
        for (size_t offset = 0; offset < total; offset += 128) {
            int piece = (int)std::min<size_t>(128, total - offset);
            if (Read((int)offset, piece, all.data() + offset, &delivered) != SW_OK || delivered != piece)
                return Bytes();
        }
        return all;
    }
};

struct SelectCase {
    const char* name;
    std::vector<std::pair<int, unsigned>> path; // (P1, id) selected first, each must succeed
    int p1;
    unsigned id;
    int length;
    int p2;
    unsigned short status;
};

const SelectCase SelectCases[] = {
    { "master_file", {}, SELECT_MASTER, 0, 0, 0, SW_OK },
    { "master_file_by_id", { { 1, 0xAD01 } }, SELECT_MASTER, FID_MASTER, 2, 0, SW_OK },
    { "master_file_other_id", {}, SELECT_MASTER, 0x1234, 2, 0, SW_FILE_NOT_FOUND },
    { "master_file_one_byte", {}, SELECT_MASTER, 0, 1, 0, SW_WRONG_LENGTH },
    { "device_info", {}, SELECT_ELEMENTARY, 0xEF01, 2, 0, SW_OK },
    { "application_one", {}, SELECT_CHILD_DIRECTORY, 0xAD01, 2, 0, SW_OK },
    { "application_two", {}, SELECT_CHILD_DIRECTORY, 0xAD02, 2, 0, SW_OK },
    { "application_three", {}, SELECT_CHILD_DIRECTORY, 0xAD03, 2, 0, SW_FILE_NOT_FOUND },
    { "container_from_master", {}, SELECT_CHILD_DIRECTORY, 0xDF11, 2, 0, SW_FILE_NOT_FOUND },
    { "container_directory", { { 1, 0xAD01 } }, SELECT_ELEMENTARY, 0xEF01, 2, 0, SW_OK },
    { "container_of_own_application", { { 1, 0xAD02 } }, SELECT_CHILD_DIRECTORY, 0xDF22, 2, 0, SW_OK },
    { "container_of_other_application", { { 1, 0xAD01 } }, SELECT_CHILD_DIRECTORY, 0xDF21, 2, 0, SW_FILE_NOT_FOUND },
    { "sibling_application", { { 1, 0xAD01 } }, SELECT_CHILD_DIRECTORY, 0xAD02, 2, 0, SW_FILE_NOT_FOUND },
    { "directory_below_container", { { 1, 0xAD01 }, { 1, 0xDF11 } }, SELECT_CHILD_DIRECTORY, 0xDF11, 2, 0, SW_FILE_NOT_FOUND },
    { "empty_certificate_place", { { 1, 0xAD01 }, { 1, 0xDF11 } }, SELECT_ELEMENTARY, 0xEF02, 2, 0, SW_FILE_NOT_FOUND },
    { "stored_certificate", { { 1, 0xAD01 }, { 1, 0xDF11 } }, SELECT_ELEMENTARY, 0xEF01, 2, 0, SW_OK },
    { "unknown_file", {}, SELECT_ELEMENTARY, 0xEF09, 2, 0, SW_FILE_NOT_FOUND },
    { "directory_as_file", {}, SELECT_ELEMENTARY, 0xAD01, 2, 0, SW_FILE_NOT_FOUND },
    { "file_as_directory", {}, SELECT_CHILD_DIRECTORY, 0xEF01, 2, 0, SW_FILE_NOT_FOUND },
    { "no_data", {}, SELECT_ELEMENTARY, 0xEF01, 0, 0, SW_WRONG_LENGTH },
    { "three_bytes", {}, SELECT_CHILD_DIRECTORY, 0xAD01, 3, 0, SW_WRONG_LENGTH },
    { "p1_three", {}, 3, 0xEF01, 2, 0, SW_WRONG_P1P2 },
    { "p1_negative", {}, -1, 0xEF01, 2, 0, SW_WRONG_P1P2 },
    { "p2_not_zero", {}, SELECT_ELEMENTARY, 0xEF01, 2, 4, SW_WRONG_P1P2 },
};

class SelectPath : public FileSystem, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(SelectPath, AnswersWithItsStatus)
{
    PutCertificate(0, 0, CERT_ENCRYPTION, FakeCertificate(600, 1));
    const SelectCase& c = GetParam();
    for (const auto& step : c.path)
        ASSERT_EQ(Select(step.first, step.second), SW_OK) << std::hex << step.second;
    unsigned char data[3] = { (unsigned char)(c.id >> 8), (unsigned char)c.id, 0 };
    EXPECT_EQ(SelectFile(&memory.storage, &key, &cursor, c.p1, c.p2, c.length, data), c.status);
}

INSTANTIATE_TEST_SUITE_P(FileSystem, SelectPath, ::testing::ValuesIn(SelectCases),
                         [](const ::testing::TestParamInfo<SelectCase>& info) { return std::string(info.param.name); });

TEST_F(FileSystem, AbsentApplicationCannotBeSelected)
{
    key.apps[1].present = 0;
    EXPECT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD02), SW_FILE_NOT_FOUND);
    EXPECT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
}

TEST_F(FileSystem, FailedSelectLeavesTheCursorWhereItWas)
{
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD02), SW_FILE_NOT_FOUND);
    EXPECT_EQ(ApplicationOf(&cursor.directory), 0);
    EXPECT_TRUE(cursor.fileSelected);
}

TEST_F(FileSystem, DeviceInfoHasLabelAndApplicationFlags)
{
    key.apps[1].present = 0;
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    Bytes file = ReadAll();
    ASSERT_EQ(file.size(), 2u + KEY_DEVICE_INFO_SIZE);
    EXPECT_EQ(file[0], 0x01);
    EXPECT_EQ(file[1], 0x54); // 340
    const unsigned char* content = file.data() + 2;
    EXPECT_STREQ((const char*)content, "测试Key");
    EXPECT_EQ(content[strlen("测试Key")], 0);
    EXPECT_EQ(content[68], 1);
    EXPECT_EQ(content[69] | content[70] | content[71], 0);
    EXPECT_EQ(content[68 + 136] | content[69 + 136] | content[70 + 136] | content[71 + 136], 0);
}

TEST_F(FileSystem, ContainerDirectoryFlagsFollowTheStoredCertificates)
{
    PutCertificate(1, 0, CERT_SIGNATURE, FakeCertificate(900, 2));
    PutCertificate(1, 1, CERT_ENCRYPTION, FakeCertificate(1000, 3));
    PutCertificate(1, 1, CERT_SIGNATURE, FakeCertificate(1100, 4));
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD02), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    Bytes file = ReadAll();
    ASSERT_EQ(file.size(), 2u + KEY_CONTAINER_DIRECTORY_SIZE);
    const unsigned char* c = file.data() + 2;
    struct Expected {
        int container;
        int encryption;
        int signature;
        int signatureLength;
    } expected[] = { { 0, 0, 1, 900 }, { 1, 1, 1, 1100 } };
    for (const Expected& e : expected) {
        const unsigned char* record = c + 148 * e.container;
        EXPECT_EQ(record[32], e.encryption) << e.container;
        EXPECT_EQ(record[40], e.signature) << e.container;
        EXPECT_EQ(record[44] | record[45] << 8, e.signatureLength) << e.container;
        EXPECT_EQ(record[48], 1) << e.container;
        EXPECT_STREQ((const char*)record, key.apps[1].containerNames[e.container]);
    }
}

TEST_F(FileSystem, EmptyContainerIsNotInUse)
{
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    Bytes file = ReadAll();
    ASSERT_EQ(file.size(), 2u + KEY_CONTAINER_DIRECTORY_SIZE);
    for (int j = 0; j < 2; ++j) {
        EXPECT_EQ(file[2 + 148 * j + 32], 0);
        EXPECT_EQ(file[2 + 148 * j + 40], 0);
        EXPECT_EQ(file[2 + 148 * j + 48], 0);
    }
}

TEST_F(FileSystem, CertificateReadsBackInPiecesWithItsPrefix)
{
    Bytes der = FakeCertificate(1234, 9);
    PutCertificate(0, 1, CERT_SIGNATURE, der);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xDF12), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF02), SW_OK);
    Bytes file = ReadAll();
    ASSERT_EQ(file.size(), der.size() + 2);
    EXPECT_EQ(file[0] << 8 | file[1], 1234);
    EXPECT_TRUE(std::equal(der.begin(), der.end(), file.begin() + 2));
}

// The manager's own reader (key_file.cpp) against this file system: the same header read and pieces.
KeyCursor* ManagerCursor;
MemoryStorage* ManagerStorage;
KeyDescription* ManagerKey;

int TOKENAPI SelectForManager(int, int p1, int p2, int length, const unsigned char* data, unsigned short* status)
{
    *status = SelectFile(&ManagerStorage->storage, ManagerKey, ManagerCursor, p1, p2, length, data);
    return 0;
}

int TOKENAPI ReadForManager(int, int mode, int high, int offset, int reserved, int count, unsigned char* destination,
                            unsigned short* status)
{
    int delivered = 0;
    *status = ReadBinary(&ManagerStorage->storage, ManagerKey, ManagerCursor, mode, high, offset, reserved, count,
                         destination, &delivered);
    return delivered;
}

TEST_F(FileSystem, ManagerReaderGetsTheCertificate)
{
    Bytes der = FakeCertificate(2999, 5);
    PutCertificate(0, 0, CERT_ENCRYPTION, der);
    ManagerCursor = &cursor;
    ManagerStorage = &memory;
    ManagerKey = &key;
    TokenEntryPoints saved = TokenLibrary;
    TokenLibrary.Select_File = SelectForManager;
    TokenLibrary.Read_Binary = ReadForManager;
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xDF11), SW_OK);
    std::vector<unsigned char> buffer(3000);
    int length = 0;
    int result = ReadUsbKeyFile(1, 0xEF01, buffer.data(), buffer.size(), &length);
    TokenLibrary = saved;
    ASSERT_EQ(result, 0);
    ASSERT_EQ(length, 2999);
    EXPECT_TRUE(std::equal(der.begin(), der.end(), buffer.begin()));
}

struct ReadCase {
    const char* name;
    int offset;
    int count;
    unsigned short status;
    int delivered;
};

// The device information file is 342 bytes with its prefix.
const ReadCase ReadCases[] = {
    { "header", 0, 2, SW_OK, 2 },
    { "first_piece", 2, 128, SW_OK, 128 },
    { "piece_above_256", 258, 84, SW_OK, 84 },
    { "last_byte", 341, 1, SW_OK, 1 },
    { "across_the_end", 300, 128, SW_END_OF_FILE, 42 },
    { "at_the_end", 342, 1, SW_WRONG_OFFSET, 0 },
    { "far_past_the_end", 5000, 16, SW_WRONG_OFFSET, 0 },
    { "count_zero", 0, 0, SW_WRONG_LENGTH, 0 },
    { "count_129", 0, 129, SW_WRONG_LENGTH, 0 },
    { "count_negative", 0, -5, SW_WRONG_LENGTH, 0 },
    { "offset_negative", -1, 2, SW_WRONG_P1P2, 0 },
    { "offset_beyond_15_bits", 0x8000, 2, SW_WRONG_P1P2, 0 },
};

class ReadRange : public FileSystem, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadRange, DeliversAtMostCountBytes)
{
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    const ReadCase& c = GetParam();
    unsigned char buffer[200];
    memset(buffer, 0xCC, sizeof buffer);
    int delivered = -1;
    EXPECT_EQ(Read(c.offset, c.count, buffer, &delivered), c.status);
    EXPECT_EQ(delivered, c.delivered);
    for (size_t i = (size_t)(c.delivered > 0 ? c.delivered : 0); i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], 0xCC) << "byte " << i << " written past what was delivered";
}

INSTANTIATE_TEST_SUITE_P(FileSystem, ReadRange, ::testing::ValuesIn(ReadCases),
                         [](const ::testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(FileSystem, ReadChecksItsOtherParameters)
{
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    unsigned char buffer[8];
    int delivered = 0;
    EXPECT_EQ(ReadBinary(&memory.storage, &key, &cursor, 0, 1, 2, 0, 2, buffer, &delivered), SW_WRONG_P1P2);
    EXPECT_EQ(ReadBinary(&memory.storage, &key, &cursor, 1, 0, 2, 0, 2, buffer, &delivered), SW_WRONG_P1P2);
    EXPECT_EQ(ReadBinary(&memory.storage, &key, &cursor, 0, 0, 2, 7, 2, buffer, &delivered), SW_WRONG_P1P2);
    EXPECT_EQ(ReadBinary(&memory.storage, &key, &cursor, 0, 0, 2, 0, 2, NULL, &delivered), SW_WRONG_LENGTH);
}

TEST_F(FileSystem, NothingIsReadWithoutASelectedFile)
{
    unsigned char buffer[2];
    int delivered = 0;
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_NO_CURRENT_FILE);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_NO_CURRENT_FILE) << "selecting a directory ends the file selection";
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    ASSERT_EQ(Select(SELECT_MASTER, 0, 0), SW_OK);
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_NO_CURRENT_FILE);
}

TEST_F(FileSystem, CertificateDeletedAfterSelectionIsNotFound)
{
    PutCertificate(0, 0, CERT_ENCRYPTION, FakeCertificate(300, 1));
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xDF11), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    memory.files.clear();
    unsigned char buffer[2];
    int delivered = 0;
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_FILE_NOT_FOUND);
}

TEST_F(FileSystem, RawImageIsServedExactlyAndAnnouncedByItsPrefix)
{
    // Declares 4000 bytes, holds 10: the manager must refuse it rather than read 4000.
    Bytes raw = { 0x0F, 0xA0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 };
    memory.files["files\\AD01\\DF11\\EF02.raw"] = raw;
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    Bytes directory = ReadAll();
    ASSERT_EQ(directory.size(), 302u);
    EXPECT_EQ(directory[2 + 40], 1);
    EXPECT_EQ(directory[2 + 44] | directory[2 + 45] << 8, 4000);

    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xDF11), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF02), SW_OK);
    unsigned char buffer[128];
    int delivered = 0;
    ASSERT_EQ(Read(0, 12, buffer, &delivered), SW_OK);
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), buffer));
    EXPECT_EQ(Read(2, 128, buffer, &delivered), SW_END_OF_FILE);
    EXPECT_EQ(delivered, 10);
}

TEST_F(FileSystem, RawImageReplacesTheGeneratedDeviceInfo)
{
    memory.files["files\\EF01.raw"] = Bytes{ 0x00, 0x03, 'a', 'b', 'c' };
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    Bytes file = ReadAll();
    EXPECT_EQ(file, (Bytes{ 0x00, 0x03, 'a', 'b', 'c' }));
}

TEST_F(FileSystem, UnreadableOrOversizedStoredFileGivesAnError)
{
    memory.files["files\\AD01\\DF11\\EF01.der"] = Bytes(KEY_FILE_MAX, 0x30);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xDF11), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    unsigned char buffer[2];
    int delivered = 0;
    EXPECT_EQ(Read(0, 2, buffer, &delivered), SW_UNKNOWN);
    EXPECT_EQ(delivered, 0);
}

TEST_F(FileSystem, UpdateWritesCertificatesOnlyAndKeepsThemHumanReadable)
{
    PutCertificate(0, 0, CERT_ENCRYPTION, FakeCertificate(300, 1));
    const unsigned char patch[3] = { 0xAA, 0xBB, 0xCC };
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    EXPECT_EQ(UpdateBinary(&memory.storage, &key, &cursor, 10, 3, patch), SW_SECURITY_NOT_SATISFIED);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xAD01), SW_OK);
    ASSERT_EQ(Select(SELECT_CHILD_DIRECTORY, 0xDF11), SW_OK);
    ASSERT_EQ(Select(SELECT_ELEMENTARY, 0xEF01), SW_OK);
    EXPECT_EQ(UpdateBinary(&memory.storage, &key, &cursor, 300, 3, patch), SW_WRONG_OFFSET);
    ASSERT_EQ(UpdateBinary(&memory.storage, &key, &cursor, 10, 3, patch), SW_OK);
    const Bytes& der = memory.files["files\\AD01\\DF11\\EF01.der"];
    EXPECT_EQ(der[8], 0xAA);
    EXPECT_EQ(der[10], 0xCC);
    EXPECT_FALSE(memory.Has("files\\AD01\\DF11\\EF01.raw"));
    // Overwriting the prefix makes the file inconsistent: it is kept as a raw image.
    const unsigned char prefix[2] = { 0x7F, 0xFF };
    ASSERT_EQ(UpdateBinary(&memory.storage, &key, &cursor, 0, 2, prefix), SW_OK);
    EXPECT_TRUE(memory.Has("files\\AD01\\DF11\\EF01.raw"));
}

// Random selections and reads over raw images whose prefixes lie: every answer stays within count bytes
// and the bytes delivered are the stored ones.
TEST_F(FileSystem, RandomCommandsOverLyingImagesStayInBounds)
{
    std::mt19937 random(42);
    const char* const places[] = { "files\\EF01.raw", "files\\AD01\\EF01.raw", "files\\AD01\\DF11\\EF01.raw",
                                   "files\\AD02\\DF22\\EF02.raw" };
    const unsigned ids[] = { 0x3F00, 0xAD01, 0xAD02, 0xDF11, 0xDF22, 0xEF01, 0xEF02, 0x0000, 0xFFFF };
    for (int round = 0; round < 4000; ++round) {
        if (round % 50 == 0) {
            for (const char* place : places) {
                Bytes raw(random() % 400);
                for (unsigned char& b : raw)
                    b = (unsigned char)random();
                memory.files[place] = raw;
            }
        }
        int p1 = (int)(random() % 4);
        unsigned id = ids[random() % (sizeof ids / sizeof ids[0])];
        Select(p1, id, (int)(random() % 3));
        int offset = (int)(random() % 600) - 50;
        int count = (int)(random() % 140) - 5;
        unsigned char buffer[256];
        memset(buffer, 0xEE, sizeof buffer);
        int delivered = -1;
        unsigned short status = Read(offset, count, buffer + 64, &delivered);
        ASSERT_GE(delivered, 0);
        ASSERT_LE(delivered, count > 0 ? count : 0);
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(buffer[i], 0xEE);
        for (int i = 64 + delivered; i < 256; ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "status " << std::hex << status;
        if (status == SW_OK) {
            ASSERT_EQ(delivered, count);
        }
    }
}

} // namespace
