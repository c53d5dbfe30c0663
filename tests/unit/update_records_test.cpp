// Certificate update records applied to the device table and the rebuilt tree (decoding and the effect
// on one entry are checked by the update_record fuzz replay).
#include "manager_window.h"

namespace {

typedef std::vector<unsigned char> Bytes;

Bytes Record(int slot, int entry, int kind, int enc, int sig, const Bytes& cert)
{
    Bytes r = { (unsigned char)slot, (unsigned char)entry, (unsigned char)kind, (unsigned char)enc,
                (unsigned char)sig, (unsigned char)(cert.size() >> 8), (unsigned char)(cert.size() & 0xFF) };
    for (unsigned char b : cert)
        r.push_back(b);
    return r;
}

typedef ManagerTest UpdateRecordsTest;

TEST_F(UpdateRecordsTest, RecordsChangeTheTableAndRebuildTheTreeOrAreRejectedWhole)
{
    Bytes lisi = ReadBytes(TestCertificatePath("lisi_sig")), truncated = Record(0, 0, 0, 1, 1, lisi);
    truncated.pop_back();
    struct Case {
        const char* what;
        const char* label;
        Bytes record;
        std::vector<std::string> texts; // empty: the record is rejected
    };
    const Case cases[] = {
        { "a new encryption certificate keeps the signature", "k", Record(0, 0, 1, 1, 1, lisi), { "k", "-李四", "-张三" } },
        { "both removed", "k", Record(0, 0, 0, 0, 0, {}), { "k" } },
        { "an entry of the second application", "k", Record(0, 2, 1, 1, 0, lisi), { "k", "-张三", "-李四" } },
        { "a slot without a key", "k", Record(2, 1, 0, 0, 1, lisi), { "k", "-张三" } },
        { "a key with an empty label is no longer shown", "", Record(0, 0, 0, 0, 1, lisi), { TEXT_NO_KEY } },
        { "an undecodable certificate hides its entry", "k", Record(0, 0, 1, 1, 1, Bytes(50, 0x30)), { "k" } },
        { "a truncated record", "k", truncated, {} },
        { "entry 7", "k", Record(0, 7, 0, 1, 1, lisi), {} },
    };
    Open();
    static DeviceRecord before[KEY_SLOT_COUNT];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KeysimHere("delete 0");
        Provision(std::string("create 0 --pin 1234 --label \"") + c.label + "\"");
        Provision("put-cert 0 1 0 sig " + TestCertificatePath("zhangsan_sig"));
        RefreshDeviceTree(window);
        std::string report = ReportText;
        HTREEITEM root = Root();
        memcpy(before, DeviceTable, sizeof before);
        Provision("remove 0"); // the keys are not read again
        EXPECT_EQ(ApplyCertificateUpdate(window, c.record.data(), (int)c.record.size()), 0);
        if (c.texts.empty()) {
            EXPECT_EQ(memcmp(before, DeviceTable, sizeof before), 0) << "a malformed record changes nothing";
            EXPECT_EQ(Root(), root) << "nor the tree";
            EXPECT_EQ(ApplyCertificateUpdate(window, c.record.data(), -5), 0);
            EXPECT_EQ(memcmp(before, DeviceTable, sizeof before), 0);
            continue;
        }
        EXPECT_EQ(Texts(), c.texts);
        EXPECT_EQ(std::string(ReportText), report) << "the report keeps the last full refresh";
        EXPECT_EQ(SelectedKeyItem, DeviceTable[0].keyItem ? DeviceTable[0].keyItem : root);
        // Every stored item is an item of the current tree under its own key's item: no stale one.
        size_t items = 0, shown = 0;
        for (const DeviceRecord& r : DeviceTable)
            for (const ContainerEntry& e : r.containers)
                for (HTREEITEM item : { e.encryptionItem, e.signatureItem })
                    if (item && ++items) {
                        EXPECT_EQ((HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)item), r.keyItem);
                    }
        for (const std::string& text : c.texts)
            shown += text[0] == '-';
        EXPECT_EQ(items, shown);
    }
}

} // namespace
