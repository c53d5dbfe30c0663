// Certificate update records applied to the device table and the rebuilt tree (decoding and the effect
// on one entry are checked by the update_record fuzz replay).
#include <algorithm>
#include <functional>

#include "manager_window.h"
#include "update_record.h"
#include "win_harness.h"

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

class UpdateTreeTest : public ManagerTest {};

TEST_F(UpdateTreeTest, RecordsChangeTheTableAndRebuildTheTreeWithoutReadingTheKeys)
{
    const ContainerEntry& first = DeviceTable[0].containers[0];
    struct Case {
        const char* what;
        fake::KeyPlan plan;
        Bytes record;
        std::vector<std::string> texts;
        std::function<void()> check;
    };
    Bytes truncated = Record(0, 0, 0, 1, 1, lisi);
    truncated.pop_back();
    const Case cases[] = {
        { "a new encryption certificate keeps the signature", { "k", { true, false }, { { true, enc, sig } } },
          Record(0, 0, 1, 1, 1, lisi), { "k", "-李四", "-张三" }, [&] {
              EXPECT_EQ(Bytes(first.encryptionCert, first.encryptionCert + first.encryptionLength), lisi);
              EXPECT_EQ(first.signatureLength, (int)sig.size());
          } },
        { "both removed", { "k", { true, false }, { { true, enc, sig } } }, Record(0, 0, 0, 0, 0, {}), { "k" }, [&] {
              EXPECT_EQ(memcmp(first.encryptionCert, enc.data(), enc.size()), 0) << "the bytes stay, only the lengths go";
          } },
        { "an entry of the second application", { "k", { true, true }, { { true, {}, sig }, {}, {}, { true, {}, lisi } } },
          Record(0, 2, 1, 1, 0, enc), { "k", "-张三", "-张三", "-李四" },
          [&] { EXPECT_EQ(DeviceTable[0].containers[2].encryptionLength, (int)enc.size()); } },
        { "a slot without a key", { "k", { true, false }, { { true, {}, sig } } }, Record(2, 1, 0, 0, 1, lisi),
          { "k", "-张三" }, [&] {
              EXPECT_EQ(DeviceTable[2].containers[1].signatureLength, (int)lisi.size());
              EXPECT_EQ(DeviceTable[2].keyItem, (HTREEITEM)NULL);
          } },
        { "a key with an empty label is no longer shown", { "", { true, false }, { { true, {}, sig } } },
          Record(0, 0, 0, 0, 1, lisi), { TEXT_NO_KEY }, [&] {
              EXPECT_EQ(DeviceTable[0].keyItem, (HTREEITEM)NULL);
              EXPECT_FALSE(IsControlEnabled(window, IDC_VERIFY_PIN));
          } },
        { "an undecodable certificate hides its entry but stays in the table",
          { "k", { true, false }, { { true, enc, sig }, { true, {}, lisi } } }, Record(0, 0, 1, 1, 1, Bytes(50, 0x30)),
          { "k", "-李四" }, [&] { EXPECT_EQ(first.encryptionLength, 50); } },
        { "a truncated record", { "k", { true, false }, { { true, {}, sig } } }, truncated, { "k", "-张三" }, nullptr },
        { "entry 7", { "k", { true, false }, { { true, {}, sig } } }, Record(0, 7, 0, 1, 1, lisi), { "k", "-张三" }, nullptr },
    };
    Open();
    static DeviceRecord before[KEY_SLOT_COUNT];
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::PutKey(token, 0, c.plan);
        RefreshDeviceTree(window);
        std::string report = ReportText;
        HTREEITEM selected = SelectedKeyItem, root = Root();
        memcpy(before, DeviceTable, sizeof before);
        token.calls.clear();
        EXPECT_EQ(ApplyCertificateUpdate(window, c.record.data(), (int)c.record.size()), 0);

        EXPECT_EQ(Texts(), c.texts);
        EXPECT_TRUE(token.calls.empty()) << "the keys are not read again";
        EXPECT_EQ(std::string(ReportText), report) << "the report keeps the last full refresh";
        // The selection follows the rebuilt key item, or is left as it was when no key is shown.
        EXPECT_EQ(SelectedKeyItem, DeviceTable[0].keyItem ? DeviceTable[0].keyItem : selected);
        // Every stored item is an item of the current tree, under its own key's item, one per line.
        size_t items = 0;
        for (const DeviceRecord& r : DeviceTable)
            for (const ContainerEntry& e : r.containers)
                for (HTREEITEM item : { e.encryptionItem, e.signatureItem })
                    if (item && ++items) {
                        EXPECT_EQ((HTREEITEM)SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, (LPARAM)item), r.keyItem);
                    }
        EXPECT_EQ(items, (size_t)std::count_if(c.texts.begin(), c.texts.end(), [](const std::string& t) { return t[0] == '-'; }));
        if (c.check) {
            c.check();
        } else {
            EXPECT_EQ(memcmp(before, DeviceTable, sizeof before), 0) << "a malformed record changes nothing";
            EXPECT_EQ(Root(), root) << "nor the tree";
        }
    }
    EXPECT_EQ(ApplyCertificateUpdate(window, truncated.data(), -5), 0);
    EXPECT_EQ(memcmp(before, DeviceTable, sizeof before), 0);
}

} // namespace
