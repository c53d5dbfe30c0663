// Reading keys into the tree, DeviceTable and ReportText (its golden copies: tests/golden/device-text/).
#include <fstream>
#include <functional>
#include <string.h>

#include "manager_window.h"

namespace {

// A key with serial 1234ABCD; each certificate "APP CONTAINER KIND name".
void PutKey(int slot, const std::string& label, const std::vector<std::string>& certificates, int apps = 1)
{
    Provision("create " + std::to_string(slot) + " --label \"" + label + "\" --pin 1234 --serial 1234ABCD --apps " +
              std::to_string(apps));
    for (const std::string& c : certificates)
        Provision("put-cert " + std::to_string(slot) + " " + c.substr(0, c.rfind(' ') + 1) +
                  TestCertificatePath(c.substr(c.rfind(' ') + 1)));
}

typedef ManagerTest DeviceTreeTest;

// Whether the tree paints its first item: some pixel of the item's row, printed into a bitmap of
// the tree's own, differs from the tree's background.
bool FirstItemIsDrawn(HWND tree, HTREEITEM item)
{
    RECT row = {};
    memcpy(&row, &item, sizeof item); // the message takes the item in the rectangle it fills
    if (!SendMessageA(tree, TVM_GETITEMRECT, FALSE, (LPARAM)&row) || row.right <= row.left)
        return false;
    HDC screen = GetDC(tree);
    HDC memory = CreateCompatibleDC(screen);
    RECT client;
    GetClientRect(tree, &client);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SendMessageA(tree, WM_PRINTCLIENT, (WPARAM)memory, PRF_CLIENT | PRF_ERASEBKGND);
    COLORREF background = GetPixel(memory, client.right - 1, client.bottom - 1);
    bool drawn = false;
    for (int x = row.left; x < row.right && !drawn; ++x)
        for (int y = row.top; y < row.bottom && !drawn; ++y)
            drawn = GetPixel(memory, x, y) != background;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(tree, screen);
    return drawn;
}

TEST_F(DeviceTreeTest, EachKindOfKeyIsListedAndReported)
{
    std::string label63 = "a";
    for (int i = 0; i < 31; ++i)
        label63 += "标";
    std::vector<std::string> fullTexts;
    for (int slot = 0; slot < 4; ++slot) {
        fullTexts.push_back("满满的Key" + std::to_string(slot));
        fullTexts.insert(fullTexts.end(), 8, "-张三");
    }
    struct Case {
        const char* what;
        std::function<void()> put;
        std::vector<std::string> texts;
        const char* report; // the device text's golden file under device-text/, or none
    };
    const Case cases[] = {
        { "no key", [] {}, { TEXT_NO_KEY }, nullptr },
        { "both certificates in one container", [] { PutKey(0, "张三的Key", { "1 0 enc zhangsan_enc", "1 0 sig zhangsan_sig" }); },
          { "张三的Key", "-张三", "-张三" }, "one-container.txt" },
        { "two keys in slot order; an undecodable certificate drops its container", [] {
              PutKey(3, "乙", { "2 1 sig lisi_sig" }, 2);
              PutKey(1, "甲", { "1 0 enc zhangsan_enc", "1 0 sig zhangsan_sig", "1 1 sig zhangsan_sig" });
              Provision("corrupt 1 garbage 1 0 enc");
          }, { "甲", "-张三", "乙", "-李四" }, "two-keys.txt" },
        // Files that hold as many bytes as they declare, one more than the manager's buffer: such a
        // certificate is not listed, such a device information file drops its key after the first lines.
        { "lengths larger than their buffers", [&] {
              PutKey(0, "k", { "1 0 sig zhangsan_sig", "1 1 sig lisi_sig" });
              Provision("corrupt 0 length AD01/DF12/EF02 3001");
              std::ofstream(store.File("slot0\\files\\AD01\\DF12\\EF02.raw"), std::ios::binary | std::ios::app) << std::string(3003 - 722, '\0');
              PutKey(1, "k1", {});
              Provision("corrupt 1 length EF01 341");
              std::ofstream(store.File("slot1\\files\\EF01.raw"), std::ios::binary | std::ios::app) << 'x';
          }, { "k", "-张三" }, "over-long-files.txt" },
        { "a label field without NUL", [&] {
              PutKey(0, label63, {});
              Provision("corrupt 0 unterminated-label");
          }, { label63 }, "label-without-nul.txt" },
        { "four full keys", [&] {
              for (int slot = 0; slot < 4; ++slot) {
                  std::vector<std::string> certificates;
                  for (const char* place : { "1 0", "1 1", "2 0", "2 1" })
                      for (const char* kind : { " enc zhangsan_enc", " sig zhangsan_sig" })
                          certificates.push_back(place + std::string(kind));
                  PutKey(slot, fullTexts[9 * slot], certificates, 2);
              }
          }, fullTexts, "four-full-keys.txt" },
    };
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (int slot = 0; slot < 4; ++slot)
            KeysimHere("delete " + std::to_string(slot));
        c.put();
        RefreshDeviceTree(window);
        EXPECT_EQ(Texts(), c.texts);
        EXPECT_EQ(std::string(ReportText), c.report ? GoldenFile(std::string("device-text/") + c.report) : "");
        bool keys = c.texts[0] != TEXT_NO_KEY;
        EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, keys, keys, keys }));
        EXPECT_EQ(SelectedKeyItem, keys ? Root() : NULL);
        EXPECT_TRUE(FirstItemIsDrawn(tree, Root())) << "the tree must draw again once it is filled";
    }

    // Nothing of those keys stays in the tree; item texts are cut on a character.
    for (int slot = 0; slot < 4; ++slot)
        Provision("remove " + std::to_string(slot));
    RefreshDeviceTree(window);
    std::string name;
    for (int i = 0; i < 150; ++i)
        name += "名";
    InsertTreeItem(tree, InsertTreeItem(tree, TVI_ROOT, name.c_str(), KEY_ITEM_TEXT_LIMIT, 0), name.c_str(),
                   CERT_ITEM_TEXT_LIMIT, 1);
    EXPECT_EQ(Texts(), std::vector<std::string>({ TEXT_NO_KEY, name.substr(0, 78), "-" + name.substr(0, 178) }));
}

} // namespace
