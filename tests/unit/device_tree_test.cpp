// Reading keys into the tree, DeviceTable and ReportText, with the fake token libraries.
#include <gtest/gtest.h>

#include <string.h>

#include "fake_token.h"
#include "key_builder.h"
#include "manager_window.h"
#include "manager.h"
#include "win_harness.h"

namespace {

using fake::ContainerPlan;
using fake::KeyPlan;
using fake::TestCertificate;

const char ZhangsanEncBlock[] =
    "证书名: 张三(加密)\n"
    "颁发者: Velmora 测试 CA\n"
    "证书序号: 5753854965885600108575829560559299546819203860\n"
    "起始日期:2014年3月5日8时7分9秒\n"
    "结束日期:2024年12月31日23时59分59秒\n"
    "\n";

const char ZhangsanSigBlock[] =
    "证书名: 张三(签名)\n"
    "颁发者: Velmora 测试 CA\n"
    "证书序号: 255\n"
    "起始日期:2014年3月5日8时7分9秒\n"
    "结束日期:2024年12月31日23时59分59秒\n"
    "\n";

class DeviceTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        token.Install();
        AppInstance = GetModuleHandleA(NULL);
        SelectedKeyItem = NULL;
        InitCommonControls();
        enc = TestCertificate("zhangsan_enc");
        sig = TestCertificate("zhangsan_sig");
        lisi = TestCertificate("lisi_sig");
        ASSERT_FALSE(enc.empty() || sig.empty() || lisi.empty());
    }
    void TearDown() override
    {
        CloseTestMainWindow(window);
    }
    // Opens the main window, which refreshes once; every key must be closed again afterwards.
    void Open()
    {
        window = OpenTestMainWindow();
        ASSERT_TRUE(window);
        tree = GetDlgItem(window, IDC_KEY_TREE);
        ExpectEveryKeyClosed();
    }
    void Refresh()
    {
        token.calls.clear();
        RefreshDeviceTree(window);
        ExpectEveryKeyClosed();
    }
    void ExpectEveryKeyClosed()
    {
        EXPECT_EQ(token.LoadedCount("KeyCmd.dll"), 0);
        int opened = 0;
        for (const fake::Call& c : token.CallsNamed("QZ_Open"))
            opened += c.args[0] >= 0 && token.Slot(c.args[0]).present;
        EXPECT_EQ(token.CountCalls("QZ_Close"), opened);
    }
    std::vector<bool> KeyButtons()
    {
        return { IsControlEnabled(window, IDC_VIEW_CERT), IsControlEnabled(window, IDC_CHANGE_PIN),
                 IsControlEnabled(window, IDC_SAVE_REPORT), IsControlEnabled(window, IDC_VERIFY_PIN) };
    }
    std::vector<std::string> Texts()
    {
        std::vector<std::string> texts;
        for (const TreeItemInfo& item : ReadTree(tree))
            texts.push_back(std::string(item.depth, '-') + item.text);
        return texts;
    }
    static std::string KeyLines(const char* serial, const char* label)
    {
        return std::string("设备名: MKT2048加密模块\n设备序号:") + serial + "\n设备卷标:" + label + "\n\n";
    }

    fake::Token& token = fake::Instance();
    HWND window = NULL;
    HWND tree = NULL;
    std::vector<unsigned char> enc, sig, lisi;
};

TEST_F(DeviceTreeTest, NoKeyShowsThePlaceholderAndAnEmptyReport)
{
    Open();
    std::vector<TreeItemInfo> items = ReadTree(tree);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].text, "没有USBKey");
    EXPECT_EQ(items[0].image, 0);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, false, false, false }));
    EXPECT_STREQ(ReportText, "");
    EXPECT_EQ(token.CountCalls("QZ_Open"), 4);
}

TEST_F(DeviceTreeTest, AKeyWithItsCertificatesInOneApplication)
{
    KeyPlan plan;
    plan.label = "张三的Key";
    plan.containers[0].encryption = enc;
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    Open();

    EXPECT_EQ(Texts(), std::vector<std::string>({ "张三的Key", "-张三", "-张三" }));
    std::vector<TreeItemInfo> items = ReadTree(tree);
    EXPECT_TRUE(items[0].selected);
    EXPECT_TRUE(items[0].expanded);
    EXPECT_EQ(items[1].image, 1);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, true, true, true }));
    EXPECT_EQ(std::string(ReportText), KeyLines("1234ABCD", "张三的Key") + ZhangsanEncBlock + ZhangsanSigBlock);

    const DeviceRecord& record = DeviceTable[0];
    EXPECT_EQ(record.slot, 0);
    EXPECT_STREQ(record.label, "张三的Key");
    EXPECT_EQ(SelectedKeyItem, record.keyItem);
    const ContainerEntry& entry = record.containers[0];
    EXPECT_EQ(entry.encryptionLength, (int)enc.size());
    EXPECT_EQ(entry.signatureLength, (int)sig.size());
    EXPECT_EQ(memcmp(entry.encryptionCert, enc.data(), enc.size()), 0);
    EXPECT_EQ(memcmp(entry.signatureCert, sig.data(), sig.size()), 0);
    EXPECT_NE(entry.encryptionItem, entry.signatureItem);
    EXPECT_TRUE(entry.encryptionItem && entry.signatureItem);
    for (int k = 1; k < 4; ++k)
        EXPECT_EQ(record.containers[k].encryptionLength + record.containers[k].signatureLength, 0);
}

TEST_F(DeviceTreeTest, AKeyWhoseDeviceInformationFailsKeepsOnlyItsFirstLines)
{
    token.Slot(1).present = true; // no files at all
    token.Slot(1).serial[0] = 0x0A;
    Open();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "没有USBKey" }));
    EXPECT_EQ(std::string(ReportText), "设备名: MKT2048加密模块\n设备序号:0A34ABCD\n");
    EXPECT_EQ(DeviceTable[1].keyItem, (HTREEITEM)NULL);
}

TEST_F(DeviceTreeTest, AnEmptyLabelIsAnItemWithEmptyText)
{
    KeyPlan plan;
    plan.label = "";
    fake::PutKey(token, 0, plan);
    Open();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "" }));
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, true, true, true }));
    EXPECT_EQ(std::string(ReportText), KeyLines("1234ABCD", ""));
}

TEST_F(DeviceTreeTest, AKeyInSlotTwoOnlyIsFirstAndSelected)
{
    KeyPlan plan;
    plan.label = "slot2";
    plan.containers[1].signature = lisi;
    fake::PutKey(token, 2, plan);
    Open();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "slot2", "-李四" }));
    EXPECT_EQ(DeviceTable[2].slot, 2);
    EXPECT_NE(DeviceTable[2].keyItem, (HTREEITEM)NULL);
    EXPECT_EQ(SelectedKeyItem, DeviceTable[2].keyItem);
    EXPECT_EQ(DeviceTable[2].containers[1].signatureLength, (int)lisi.size());
    for (int slot : { 0, 1, 3 })
        EXPECT_EQ(DeviceTable[slot].keyItem, (HTREEITEM)NULL);
}

TEST_F(DeviceTreeTest, AnApplicationListedButMissingIsSkipped)
{
    KeyPlan plan;
    plan.label = "k";
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    // The device information file lists the second application, which the key does not have.
    token.PutFile(0, { 0xEF01 }, fake::DeviceInfoFile("k", true, true));
    Open();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k", "-张三" }));
}

TEST_F(DeviceTreeTest, AnUndecodableEncryptionCertificateDropsItsWholeContainer)
{
    KeyPlan plan;
    plan.label = "k";
    plan.containers[0].encryption = std::vector<unsigned char>(200, 0x30); // not DER
    plan.containers[0].signature = sig;
    plan.containers[1].signature = lisi;
    fake::PutKey(token, 0, plan);
    Open();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k", "-李四" }));
    EXPECT_EQ(DeviceTable[0].containers[0].signatureLength, 0);
    EXPECT_EQ(DeviceTable[0].containers[0].encryptionLength, 0);
    EXPECT_EQ(std::string(ReportText).find("张三"), std::string::npos);
}

TEST_F(DeviceTreeTest, ASignatureOnlyContainerGivesOneSignatureBlock)
{
    KeyPlan plan;
    plan.label = "k";
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    Open();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k", "-张三" }));
    EXPECT_EQ(std::string(ReportText), KeyLines("1234ABCD", "k") + ZhangsanSigBlock);
}

TEST_F(DeviceTreeTest, ContainersNotInUseOrWithoutCertificatesAreSkipped)
{
    KeyPlan plan;
    plan.label = "k";
    plan.applications[1] = true;
    plan.containers[0].inUse = false;
    plan.containers[0].signature = sig;     // its indicator counts as 0
    plan.containers[1].inUse = true;        // in use but empty
    plan.containers[2].encryption = enc;    // the second application is read too
    fake::PutKey(token, 0, plan);
    Open();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k", "-张三" }));
    EXPECT_EQ(DeviceTable[0].containers[2].encryptionLength, (int)enc.size());
    EXPECT_EQ(DeviceTable[0].containers[0].signatureLength, 0);
}

TEST_F(DeviceTreeTest, TwoKeysInSlotOrderEachExpandedTheFirstSelected)
{
    KeyPlan a;
    a.label = "甲";
    a.containers[0].signature = sig;
    KeyPlan b;
    b.label = "乙";
    b.containers[1].signature = lisi;
    fake::PutKey(token, 3, b);
    fake::PutKey(token, 1, a);
    token.Slot(3).serial[3] = 0xEF;
    Open();
    std::vector<TreeItemInfo> items = ReadTree(tree);
    EXPECT_EQ(Texts(), std::vector<std::string>({ "甲", "-张三", "乙", "-李四" }));
    EXPECT_TRUE(items[0].selected && items[0].expanded && items[2].expanded);
    EXPECT_EQ(SelectedKeyItem, DeviceTable[1].keyItem);
    std::string report(ReportText);
    EXPECT_EQ(report.find(KeyLines("1234ABCD", "甲")), 0u);
    EXPECT_NE(report.find(KeyLines("1234ABEF", "乙")), std::string::npos);
}

TEST_F(DeviceTreeTest, ARefreshAfterRemovalReplacesEverything)
{
    KeyPlan plan;
    plan.label = "k";
    plan.containers[0].signature = sig;
    fake::PutKey(token, 0, plan);
    Open();
    token.Slot(0).present = false;
    Refresh();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "没有USBKey" }));
    EXPECT_STREQ(ReportText, "");
    EXPECT_EQ(DeviceTable[0].keyItem, (HTREEITEM)NULL);
    EXPECT_EQ(DeviceTable[0].containers[0].signatureLength, 0);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, false, false, false }));
}

TEST_F(DeviceTreeTest, LengthsLargerThanTheirBuffersAreRejected)
{
    KeyPlan plan;
    plan.label = "k";
    plan.applications[1] = true;
    plan.containers[0].signature = sig;
    plan.containers[2].signature = lisi;
    fake::PutKey(token, 0, plan);
    // The second application's container directory claims 621 bytes: that application is skipped.
    token.PutFile(0, { 0xAD02, 0xEF01 }, std::vector<unsigned char>(621, 1));
    // A certificate file of 3001 bytes is not listed.
    token.PutFile(0, { 0xAD01, 0xDF11, 0xEF02 }, std::vector<unsigned char>(3001, 0x30));
    fake::PutKey(token, 1, plan);
    // A device information file longer than 340 bytes drops the key.
    token.PutFile(1, { 0xEF01 }, std::vector<unsigned char>(341, 'a'));
    Open();
    EXPECT_EQ(Texts(), std::vector<std::string>({ "k" }));
}

TEST_F(DeviceTreeTest, ALabelWithoutNulIsCutWithinItsField)
{
    KeyPlan plan;
    // 40 two-byte characters: 80 bytes, no NUL within the 64-byte label field.
    for (int i = 0; i < 40; ++i)
        plan.label += "标";
    fake::PutKey(token, 0, plan);
    Open();
    std::string cut;
    for (int i = 0; i < 31; ++i)
        cut += "标"; // 62 bytes: the 32nd character would pass 63
    EXPECT_STREQ(DeviceTable[0].label, cut.c_str());
    EXPECT_EQ(Texts(), std::vector<std::string>({ cut }));
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

TEST_F(DeviceTreeTest, FourFullKeysFitTheReportWhole)
{
    for (int slot = 0; slot < 4; ++slot) {
        KeyPlan plan;
        plan.label = "满满的Key" + std::to_string(slot);
        plan.applications[1] = true;
        for (ContainerPlan& c : plan.containers) {
            c.encryption = enc;
            c.signature = sig;
        }
        fake::PutKey(token, slot, plan);
    }
    Open();
    std::string report(ReportText);
    EXPECT_EQ(Texts().size(), 4u + 4 * 8);
    std::string expected;
    for (int slot = 0; slot < 4; ++slot) {
        expected += KeyLines("1234ABCD", ("满满的Key" + std::to_string(slot)).c_str());
        for (int k = 0; k < 4; ++k)
            expected += std::string(ZhangsanEncBlock) + ZhangsanSigBlock;
    }
    EXPECT_EQ(report, expected);
    EXPECT_GT(report.size(), 4 * 1024u) << "far past the 1024 bytes one full key used to fill";
    EXPECT_LT(report.size(), sizeof ReportText);
}

TEST_F(DeviceTreeTest, EachRefreshGivesTheTreeOneFreshImageList)
{
    Open();
    HIMAGELIST first = (HIMAGELIST)SendMessageA(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0);
    ASSERT_TRUE(first);
    EXPECT_EQ(ImageList_GetImageCount(first), 2);
    int cx = 0, cy = 0;
    ImageList_GetIconSize(first, &cx, &cy);
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    Refresh();
    HIMAGELIST second = (HIMAGELIST)SendMessageA(tree, TVM_GETIMAGELIST, TVSIL_NORMAL, 0);
    EXPECT_EQ(ImageList_GetImageCount(second), 2);
}

TEST_F(DeviceTreeTest, CheckApplicationReadsTheIndicators)
{
    KeyPlan plan;
    plan.applications[0] = false;
    plan.applications[1] = true;
    fake::PutKey(token, 0, plan);
    int handle = OpenUsbKey(0);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(CheckApplication(handle, 0xAD01), -1);
    EXPECT_EQ(CheckApplication(handle, 0xAD02), 0);
    EXPECT_EQ(CheckApplication(handle, 0xAD03), -1);
    token.Slot(0).files.clear();
    EXPECT_EQ(CheckApplication(handle, 0xAD02), -1) << "an unreadable file lists nothing";
    CloseUsbKey(handle);
}

} // namespace
