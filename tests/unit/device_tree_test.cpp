// Reading keys into the tree, DeviceTable and ReportText, with the fake token libraries.
#include <functional>

#include "manager_window.h"
#include "win_harness.h"

namespace {

using fake::KeyPlan;

const char ZhangsanEncBlock[] =
    REPORT_CERT_SUBJECT "张三" REPORT_CERT_ENCRYPTION "\n"
    REPORT_CERT_ISSUER "Velmora 测试 CA\n"
    REPORT_CERT_SERIAL "5753854965885600108575829560559299546819203860\n"
    REPORT_CERT_VALID_FROM "2014年3月5日8时7分9秒\n"
    REPORT_CERT_VALID_TO "2024年12月31日23时59分59秒\n"
    "\n";

const char ZhangsanSigBlock[] =
    REPORT_CERT_SUBJECT "张三" REPORT_CERT_SIGNATURE "\n"
    REPORT_CERT_ISSUER "Velmora 测试 CA\n"
    REPORT_CERT_SERIAL "255\n"
    REPORT_CERT_VALID_FROM "2014年3月5日8时7分9秒\n"
    REPORT_CERT_VALID_TO "2024年12月31日23时59分59秒\n"
    "\n";

const char LisiSigBlock[] =
    REPORT_CERT_SUBJECT "李四" REPORT_CERT_SIGNATURE "\n"
    REPORT_CERT_ISSUER "Velmora 测试 CA\n"
    REPORT_CERT_SERIAL "127\n"
    REPORT_CERT_VALID_FROM "2020年1月1日8时0分0秒\n"
    REPORT_CERT_VALID_TO "2030年1月1日8时0分0秒\n"
    "\n";

std::string KeyLines(const char* serial, const std::string& label)
{
    return std::string(REPORT_DEVICE_NAME_LINE REPORT_DEVICE_SERIAL) + serial + "\n" REPORT_DEVICE_LABEL + label + "\n\n";
}

class DeviceTreeTest : public ManagerTest {
protected:
    // What every refresh must leave: each listed key selectable, its certificates kept in DeviceTable
    // exactly as read, nothing stored for what the tree does not show.
    void ExpectTableMatchesTree()
    {
        std::vector<TreeItemInfo> items = ReadTree(tree);
        bool placeholder = items.size() == 1 && items[0].text == TEXT_NO_KEY;
        EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, !placeholder, !placeholder, !placeholder }));
        if (!placeholder && !items.empty()) {
            EXPECT_TRUE(items[0].selected);
            EXPECT_EQ(SelectedKeyItem, Root());
        }
        int certificates = 0;
        std::vector<std::string> labels, keyTexts;
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(items[i].image, items[i].depth) << items[i].text;
            bool hasChildren = i + 1 < items.size() && items[i + 1].depth > items[i].depth;
            EXPECT_TRUE(items[i].expanded || !hasChildren) << items[i].text << ": a key is shown with its certificates";
            certificates += items[i].depth == 1;
            if (items[i].depth == 0 && !placeholder)
                keyTexts.push_back(items[i].text);
        }
        int kept = 0;
        for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
            const DeviceRecord& r = DeviceTable[slot];
            EXPECT_EQ(r.slot, slot);
            if (r.keyItem)
                labels.push_back(r.label);
            for (const ContainerEntry& e : r.containers) {
                std::vector<unsigned char> encryption(e.encryptionCert, e.encryptionCert + e.encryptionLength);
                std::vector<unsigned char> signature(e.signatureCert, e.signatureCert + e.signatureLength);
                EXPECT_EQ(e.encryptionItem == NULL, encryption.empty()) << "slot " << slot;
                EXPECT_EQ(e.signatureItem == NULL, signature.empty()) << "slot " << slot;
                EXPECT_TRUE(encryption.empty() || encryption == enc) << "slot " << slot;
                EXPECT_TRUE(signature.empty() || signature == sig || signature == lisi) << "slot " << slot;
                kept += (e.encryptionItem != NULL) + (e.signatureItem != NULL);
            }
        }
        EXPECT_EQ(labels, keyTexts) << "the listed keys' labels, in slot order";
        EXPECT_EQ(kept, certificates);
    }
};

TEST_F(DeviceTreeTest, EachKindOfKeyIsListedAndReported)
{
    auto one = [this](int slot, KeyPlan plan) { return [this, slot, plan] { fake::PutKey(token, slot, plan); }; };
    std::string longLabel, cutLabel;
    for (int i = 0; i < 40; ++i)
        longLabel += "标"; // 80 bytes, no NUL within the 64-byte field
    for (int i = 0; i < 31; ++i)
        cutLabel += "标"; // 62 bytes: the 32nd character would pass 63
    // Four keys with both applications and four containers of two certificates each.
    std::vector<std::string> fullTexts;
    std::string fullReport;
    for (int slot = 0; slot < 4; ++slot) {
        std::string label = "满满的Key" + std::to_string(slot);
        fullTexts.push_back(label);
        fullTexts.insert(fullTexts.end(), 8, "-张三");
        fullReport += KeyLines("1234ABCD", label);
        for (int k = 0; k < 4; ++k)
            fullReport += std::string(ZhangsanEncBlock) + ZhangsanSigBlock;
    }
    struct Case {
        const char* what;
        std::function<void()> put;
        std::vector<std::string> texts;
        std::string report;
    };
    const Case cases[] = {
        { "no key", [] {}, { TEXT_NO_KEY }, "" },
        { "both certificates in one container", one(0, { "张三的Key", { true, false }, { { true, enc, sig } } }),
          { "张三的Key", "-张三", "-张三" }, KeyLines("1234ABCD", "张三的Key") + ZhangsanEncBlock + ZhangsanSigBlock },
        { "device information unreadable", [this] {
              token.Slot(1).present = true; // no files at all
              token.Slot(1).serial[0] = 0x0A;
          }, { TEXT_NO_KEY }, REPORT_DEVICE_NAME_LINE REPORT_DEVICE_SERIAL "0A34ABCD\n" },
        { "empty label", one(0, { "", { true, false }, {} }), { "" }, KeyLines("1234ABCD", "") },
        { "slot 2 only", one(2, { "slot2", { true, false }, { {}, { true, {}, lisi } } }), { "slot2", "-李四" },
          KeyLines("1234ABCD", "slot2") + LisiSigBlock },
        { "an application listed but missing", [this] {
              fake::PutKey(token, 0, { "k", { true, false }, { { true, {}, sig } } });
              token.PutFile(0, { 0xEF01 }, fake::DeviceInfoFile("k", true, true));
          }, { "k", "-张三" }, KeyLines("1234ABCD", "k") + ZhangsanSigBlock },
        { "an undecodable encryption certificate drops its container",
          one(0, { "k", { true, false }, { { true, std::vector<unsigned char>(200, 0x30), sig }, { true, {}, lisi } } }),
          { "k", "-李四" }, KeyLines("1234ABCD", "k") + LisiSigBlock },
        { "signature only", one(0, { "k", { true, false }, { { true, {}, sig } } }), { "k", "-张三" },
          KeyLines("1234ABCD", "k") + ZhangsanSigBlock },
        { "containers not in use or empty, two applications",
          one(0, { "k", { true, true }, { { false, {}, sig }, { true, {}, {} }, { true, enc, {} } } }), { "k", "-张三" },
          KeyLines("1234ABCD", "k") + ZhangsanEncBlock },
        { "two keys in slot order", [this] {
              fake::PutKey(token, 3, { "乙", { true, false }, { {}, { true, {}, lisi } } });
              fake::PutKey(token, 1, { "甲", { true, false }, { { true, {}, sig } } });
              token.Slot(3).serial[3] = 0xEF;
          }, { "甲", "-张三", "乙", "-李四" },
          KeyLines("1234ABCD", "甲") + ZhangsanSigBlock + KeyLines("1234ABEF", "乙") + LisiSigBlock },
        { "lengths larger than their buffers", [this] {
              KeyPlan plan = { "k", { true, true }, { { true, {}, sig }, {}, { true, {}, lisi } } };
              fake::PutKey(token, 0, plan);
              // A container directory of 621 bytes skips its application; a certificate of 3001 is not listed.
              token.PutFile(0, { 0xAD02, 0xEF01 }, std::vector<unsigned char>(621, 1));
              token.PutFile(0, { 0xAD01, 0xDF11, 0xEF02 }, std::vector<unsigned char>(3001, 0x30));
              // A device information file longer than 340 bytes drops the key after its first lines.
              fake::PutKey(token, 1, plan);
              token.PutFile(1, { 0xEF01 }, std::vector<unsigned char>(341, 'a'));
          }, { "k" }, KeyLines("1234ABCD", "k") + REPORT_DEVICE_NAME_LINE REPORT_DEVICE_SERIAL "1234ABCD\n" },
        { "a label without NUL", one(0, { longLabel, { true, false }, {} }), { cutLabel }, KeyLines("1234ABCD", cutLabel) },
        { "four full keys", [&] {
              for (int slot = 0; slot < 4; ++slot)
                  fake::PutKey(token, slot, { fullTexts[9 * slot], { true, true },
                                              { { true, enc, sig }, { true, enc, sig }, { true, enc, sig }, { true, enc, sig } } });
          }, fullTexts, fullReport },
        // Nothing of the keys before may stay in the tree or the table.
        { "every key removed again", [] {}, { TEXT_NO_KEY }, "" },
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (fake::Key& key : token.keys)
            key = fake::Key();
        c.put();
        token.calls.clear();
        RefreshDeviceTree(window);
        EXPECT_EQ(token.CountCalls("QZ_Open"), 4);
        EXPECT_EQ(token.openKeys, 0);
        EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
        EXPECT_EQ(Texts(), c.texts);
        EXPECT_EQ(std::string(ReportText), c.report);
        ExpectTableMatchesTree();
    }
    EXPECT_GT(fullReport.size(), 4 * 1024u) << "far past the 1024 bytes one full key used to fill";
}

TEST_F(DeviceTreeTest, ItemTextsAreCutToTheirLimits)
{
    Open();
    std::string longName;
    for (int i = 0; i < 150; ++i)
        longName += "名"; // 300 bytes
    HTREEITEM key = InsertTreeItem(tree, TVI_ROOT, longName.c_str(), KEY_ITEM_TEXT_LIMIT, 0);
    InsertTreeItem(tree, key, longName.c_str(), CERT_ITEM_TEXT_LIMIT, 1);
    std::vector<TreeItemInfo> items = ReadTree(tree);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[1].text, longName.substr(0, 78));
    EXPECT_EQ(items[2].text, longName.substr(0, 178));
}

} // namespace
