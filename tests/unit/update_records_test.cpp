// Certificate update records: decoding untrusted bytes, their effect, and the rebuilt tree.
#include <gtest/gtest.h>

#include <string.h>

#include "fake_token.h"
#include "key_builder.h"
#include "manager_window.h"
#include "manager.h"
#include "update_record.h"
#include "win_harness.h"

namespace {

std::vector<unsigned char> Record(int slot, int entry, int kind, int enc, int sig, const std::vector<unsigned char>& cert)
{
    std::vector<unsigned char> r = { (unsigned char)slot, (unsigned char)entry, (unsigned char)kind,
                                     (unsigned char)enc, (unsigned char)sig,
                                     (unsigned char)(cert.size() >> 8), (unsigned char)(cert.size() & 0xFF) };
    for (unsigned char b : cert)
        r.push_back(b);
    return r;
}

TEST(UpdateRecordEffect, EveryRowOfTheTable)
{
    // Before: encryption "E" (length 1), signature "S" (length 1); the record carries "NEW" (3).
    struct Case { int kind, enc, sig; int encLength; char encFirst; int sigLength; char sigFirst; };
    const Case cases[] = {
        { 1, 1, 1, 3, 'N', 1, 'S' }, { 1, 1, 0, 3, 'N', 0, 'S' },
        { 1, 0, 1, 0, 'E', 1, 'S' }, { 1, 0, 0, 0, 'E', 0, 'S' },
        { 0, 1, 1, 1, 'E', 3, 'N' }, { 0, 0, 1, 0, 'E', 3, 'N' },
        { 0, 1, 0, 1, 'E', 0, 'S' }, { 2, 0, 0, 0, 'E', 0, 'S' },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.kind << c.enc << c.sig);
        std::vector<unsigned char> bytes = Record(0, 0, c.kind, c.enc, c.sig, { 'N', 'E', 'W' });
        UpdateRecord record;
        ASSERT_EQ(DecodeUpdateRecord(bytes.data(), bytes.size(), &record), 1);
        int encLength = 1, sigLength = 1;
        unsigned char encCert[UPDATE_CERT_LIMIT] = { 'E' };
        unsigned char sigCert[UPDATE_CERT_LIMIT] = { 'S' };
        ApplyUpdateToEntry(&record, { &encLength, encCert, &sigLength, sigCert });
        EXPECT_EQ(encLength, c.encLength);
        EXPECT_EQ(encCert[0], c.encFirst);
        EXPECT_EQ(sigLength, c.sigLength);
        EXPECT_EQ(sigCert[0], c.sigFirst);
    }
}

TEST(UpdateRecordDecoding, RejectsMalformedRecordsWhole)
{
    std::vector<unsigned char> cert(10, 0x30);
    UpdateRecord record;
    struct Case { const char* what; std::vector<unsigned char> bytes; size_t count; };
    std::vector<unsigned char> good = Record(3, 3, 1, 1, 1, cert);
    std::vector<unsigned char> big = Record(0, 0, 1, 1, 1, std::vector<unsigned char>(3001, 0x30));
    const Case cases[] = {
        { "slot 4", Record(4, 0, 1, 1, 1, cert), 17 },
        { "slot 255", Record(255, 0, 1, 1, 1, cert), 17 },
        { "entry 4", Record(0, 4, 1, 1, 1, cert), 17 },
        { "L above 3000", big, big.size() },
        { "fewer than 7 + L bytes", good, good.size() - 1 },
        { "header cut", good, 6 },
        { "empty", good, 0 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeUpdateRecord(c.bytes.data(), c.count, &record), 0) << c.what;
    EXPECT_EQ(DecodeUpdateRecord(nullptr, 100, &record), 0);
    ASSERT_EQ(DecodeUpdateRecord(good.data(), good.size(), &record), 1);
    EXPECT_EQ(record.slot, 3);
    EXPECT_EQ(record.entry, 3);
    EXPECT_EQ(record.length, 10);
    // Extra bytes after the certificate are allowed; L = 0 with both flags is a removal.
    std::vector<unsigned char> removal = Record(1, 2, 0, 0, 0, {});
    removal.push_back(0xAA);
    EXPECT_EQ(DecodeUpdateRecord(removal.data(), removal.size(), &record), 1);
}

class UpdateTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        token.Install();
        AppInstance = GetModuleHandleA(NULL);
        enc = fake::TestCertificate("zhangsan_enc");
        sig = fake::TestCertificate("zhangsan_sig");
        lisi = fake::TestCertificate("lisi_sig");
    }
    void TearDown() override
    {
        CloseTestMainWindow(window);
    }
    void Open()
    {
        window = OpenTestMainWindow();
        ASSERT_TRUE(window);
        tree = GetDlgItem(window, IDC_KEY_TREE);
    }
    std::vector<std::string> Texts()
    {
        std::vector<std::string> texts;
        for (const TreeItemInfo& item : ReadTree(tree))
            texts.push_back(std::string(item.depth, '-') + item.text);
        return texts;
    }
    void Apply(const std::vector<unsigned char>& record)
    {
        EXPECT_EQ(ApplyCertificateUpdate(window, record.data(), (int)record.size()), 0);
    }
    // Every stored item is an item of the current tree, under its own key's item.
    void ExpectStoredItemsBelongToTheTree()
    {
        for (const DeviceRecord& r : DeviceTable) {
            for (const ContainerEntry& e : r.containers) {
                for (HTREEITEM item : { e.encryptionItem, e.signatureItem }) {
                    if (!item)
                        continue;
                    HTREEITEM parent = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)item);
                    EXPECT_EQ(parent, r.keyItem);
                }
            }
        }
    }

    fake::Token& token = fake::Instance();
    HWND window = NULL;
    HWND tree = NULL;
    std::vector<unsigned char> enc, sig, lisi;
};

TEST_F(UpdateTreeTest, ReplacingTheEncryptionCertificateKeepsTheSignature)
{
    fake::KeyPlan plan;
    plan.label = "k";
    plan.containers[0].encryption = enc;
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    Open();
    std::string report(ReportText);
    Apply(Record(0, 0, 1, 1, 1, lisi));
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k", "-李四", "-张三" }));
    const ContainerEntry& entry = DeviceTable[0].containers[0];
    EXPECT_EQ(entry.encryptionLength, (int)lisi.size());
    EXPECT_EQ(memcmp(entry.encryptionCert, lisi.data(), lisi.size()), 0);
    EXPECT_EQ(entry.signatureLength, (int)sig.size());
    EXPECT_EQ(std::string(ReportText), report) << "the report keeps the last full refresh";
    EXPECT_EQ(SelectedKeyItem, DeviceTable[0].keyItem);
    EXPECT_EQ(token.CountCalls("QZ_Open"), 4) << "the keys are not read again";
    ExpectStoredItemsBelongToTheTree();
}

TEST_F(UpdateTreeTest, RemovingBothCertificatesLeavesTheKeyWithoutThem)
{
    fake::KeyPlan plan;
    plan.label = "k";
    plan.containers[0].encryption = enc;
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    Open();
    Apply(Record(0, 0, 0, 0, 0, {}));
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k" }));
    EXPECT_EQ(DeviceTable[0].containers[0].encryptionItem, (HTREEITEM)NULL);
    EXPECT_EQ(DeviceTable[0].containers[0].signatureItem, (HTREEITEM)NULL);
    // The bytes stay, only the lengths go.
    EXPECT_EQ(memcmp(DeviceTable[0].containers[0].encryptionCert, enc.data(), enc.size()), 0);
}

TEST_F(UpdateTreeTest, ASecondApplicationEntryShowsAllEntriesInOrder)
{
    fake::KeyPlan plan;
    plan.label = "k";
    plan.applications[1] = true;
    plan.containers[0].signature = sig;
    plan.containers[3].signature = lisi;
    fake::PutKey(token, 0, plan);
    Open();
    Apply(Record(0, 2, 1, 1, 0, enc));
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k", "-张三", "-张三", "-李四" }));
    EXPECT_EQ(DeviceTable[0].containers[2].encryptionLength, (int)enc.size());
    ExpectStoredItemsBelongToTheTree();
}

TEST_F(UpdateTreeTest, ARecordForAnEmptyLabelSlotChangesOnlyTheTable)
{
    fake::KeyPlan plan;
    plan.label = "k";
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    Open();
    Apply(Record(2, 1, 0, 0, 1, lisi));
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k", "-张三" }));
    EXPECT_EQ(DeviceTable[2].containers[1].signatureLength, (int)lisi.size());
    EXPECT_EQ(DeviceTable[2].keyItem, (HTREEITEM)NULL);
}

TEST_F(UpdateTreeTest, AKeyListedWithAnEmptyLabelDisappearsAndThePlaceholderShows)
{
    fake::KeyPlan plan;
    plan.label = "";
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    Open();
    HTREEITEM before = SelectedKeyItem;
    Apply(Record(0, 0, 0, 0, 1, lisi));
    EXPECT_EQ(Texts(), std::vector<std::string>({ "没有USBKey" }));
    EXPECT_EQ(DeviceTable[0].keyItem, (HTREEITEM)NULL);
    EXPECT_EQ(DeviceTable[0].containers[0].signatureItem, (HTREEITEM)NULL);
    EXPECT_EQ(SelectedKeyItem, before) << "left as it was";
    EXPECT_FALSE(IsControlEnabled(window, IDC_VERIFY_PIN));
}

TEST_F(UpdateTreeTest, AMalformedRecordChangesNothing)
{
    fake::KeyPlan plan;
    plan.label = "k";
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    Open();
    static DeviceRecord before[KEY_SLOT_COUNT];
    memcpy(before, DeviceTable, sizeof before);
    HTREEITEM root = (HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
    std::vector<unsigned char> truncated = Record(0, 0, 0, 1, 1, lisi);
    truncated.resize(truncated.size() - 1);
    Apply(truncated);
    Apply(Record(0, 7, 0, 1, 1, lisi));
    EXPECT_EQ(ApplyCertificateUpdate(window, truncated.data(), -5), 0);
    EXPECT_EQ(memcmp(before, DeviceTable, sizeof before), 0);
    EXPECT_EQ((HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0), root);
}

TEST_F(UpdateTreeTest, AnUndecodableStoredCertificateHidesItsEntryButStaysInTheTable)
{
    fake::KeyPlan plan;
    plan.label = "k";
    plan.containers[0].encryption = enc;
    plan.containers[0].signature = sig;
    plan.containers[1].signature = lisi;
    fake::PutKey(token, 0, plan);
    Open();
    Apply(Record(0, 0, 1, 1, 1, std::vector<unsigned char>(50, 0x30)));
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k", "-李四" }));
    EXPECT_EQ(DeviceTable[0].containers[0].encryptionLength, 50);
    EXPECT_EQ(DeviceTable[0].containers[0].signatureItem, (HTREEITEM)NULL);
    ExpectStoredItemsBelongToTheTree();
}

} // namespace
