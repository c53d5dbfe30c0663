// Showing a stored certificate: the view request handed to the system dialog, and every silent failure.
#include <gtest/gtest.h>

#include <string.h>

#include "fake_token.h"
#include "key_builder.h"
#include "manager_window.h"
#include "manager.h"
#include "message_box_capture.h"
#include "win_harness.h"

#include <cryptuiapi.h>

namespace {

struct ViewSeen {
    DWORD size;
    HWND parent;
    DWORD flags;
    std::string title;
    std::vector<unsigned char> der;
    DWORD storeCount;
    bool storeIsTheContexts;
};

std::vector<ViewSeen> Views;
int Loads, Releases;
bool CryptuiMissing, EntryMissing;

BOOL WINAPI FakeView(PCCRYPTUI_VIEWCERTIFICATE_STRUCTA request, BOOL* changed)
{
    ViewSeen seen;
    seen.size = request->dwSize;
    seen.parent = request->hwndParent;
    seen.flags = request->dwFlags;
    seen.title = request->szTitle ? request->szTitle : "";
    seen.der.assign(request->pCertContext->pbCertEncoded,
                    request->pCertContext->pbCertEncoded + request->pCertContext->cbCertEncoded);
    seen.storeCount = request->cStores;
    seen.storeIsTheContexts = request->rghStores && request->rghStores[0] == request->pCertContext->hCertStore;
    EXPECT_EQ(changed, nullptr);
    EXPECT_EQ(request->cPurposes + request->cPropSheetPages + request->nStartPage, 0u);
    Views.push_back(seen);
    return TRUE;
}

HMODULE WINAPI FakeLoad(LPCSTR name)
{
    if (CryptuiMissing || lstrcmpiA(name, "cryptui") != 0)
        return NULL;
    ++Loads;
    return (HMODULE)0x5005;
}

FARPROC WINAPI FakeLookup(HMODULE, LPCSTR name)
{
    if (EntryMissing || strcmp(name, "CryptUIDlgViewCertificateA") != 0)
        return NULL;
    return (FARPROC)(void*)FakeView;
}

BOOL WINAPI FakeRelease(HMODULE)
{
    ++Releases;
    return TRUE;
}

// Closes the modal certificate dialog from a timer once it is up, noting its title.
std::string SeenTitle;
HWND ViewOwner;

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM found)
{
    // The test's main window stays hidden, so the dialog is the visible top-level window of the thread.
    if (window != ViewOwner && IsWindowVisible(window)) {
        *(HWND*)found = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK CloseCertificateDialog(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND dialog = NULL;
    EnumThreadWindows(GetCurrentThreadId(), FindOwnedDialog, (LPARAM)&dialog);
    if (!dialog)
        return;
    char text[256] = "";
    GetWindowTextA(dialog, text, sizeof text);
    SeenTitle = text;
    KillTimer(NULL, id);
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    PostMessageA(dialog, WM_CLOSE, 0, 0);
}

class CertViewerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Views.clear();
        Loads = Releases = 0;
        CryptuiMissing = EntryMissing = false;
        ViewerLoader = { FakeLoad, FakeLookup, FakeRelease };
        token.Install();
        AppInstance = GetModuleHandleA(NULL);
        enc = fake::TestCertificate("zhangsan_enc");
        sig = fake::TestCertificate("zhangsan_sig");
        fake::KeyPlan plan;
        plan.label = "k";
        plan.containers[0].encryption = enc;
        plan.containers[0].signature = sig;
        fake::PutKey(token, 0, plan);
        window = OpenTestMainWindow();
        ASSERT_TRUE(window);
        tree = GetDlgItem(window, IDC_KEY_TREE);
    }
    void TearDown() override
    {
        ViewerLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };
        CloseTestMainWindow(window);
    }
    void Select(HTREEITEM item) { SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, (LPARAM)item); }
    void DoubleClick()
    {
        NMHDR header = { tree, IDC_KEY_TREE, (UINT)NM_DBLCLK };
        MainDlgProc(window, WM_NOTIFY, IDC_KEY_TREE, (LPARAM)&header);
    }

    fake::Token& token = fake::Instance();
    HWND window = NULL;
    HWND tree = NULL;
    std::vector<unsigned char> enc, sig;
};

TEST_F(CertViewerTest, TheButtonShowsTheSelectedCertificateUnderTheToolsTitle)
{
    MessageBoxCapture boxes;
    const ContainerEntry& entry = DeviceTable[0].containers[0];
    Select(entry.signatureItem);
    ASSERT_TRUE(IsWindowEnabled(GetDlgItem(window, IDC_VIEW_CERT)));
    SendMessageA(window, WM_COMMAND, IDC_VIEW_CERT, 0);
    Select(entry.encryptionItem);
    SendMessageA(window, WM_COMMAND, IDC_VIEW_CERT, 0);

    ASSERT_EQ(Views.size(), 2u);
    EXPECT_EQ(Views[0].der, sig);
    EXPECT_EQ(Views[1].der, enc);
    for (const ViewSeen& v : Views) {
        EXPECT_EQ(v.size, 72u);
        EXPECT_EQ(v.parent, window);
        EXPECT_EQ(v.flags, 0u);
        EXPECT_EQ(v.title, "VelmoraCA客户端工具");
        EXPECT_EQ(v.storeCount, 1u);
        EXPECT_TRUE(v.storeIsTheContexts);
    }
    EXPECT_EQ(Loads, 2);
    EXPECT_EQ(Releases, 2) << "cryptui is loaded for one view only";
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CertViewerTest, DoubleClickShowsCertificatesButNotKeys)
{
    Select(DeviceTable[0].keyItem);
    DoubleClick();
    EXPECT_TRUE(Views.empty());
    EXPECT_EQ(Loads, 0);
    Select(DeviceTable[0].containers[0].signatureItem);
    DoubleClick();
    ASSERT_EQ(Views.size(), 1u);
    EXPECT_EQ(Views[0].der, sig);
}

TEST_F(CertViewerTest, EveryFailureIsSilent)
{
    MessageBoxCapture boxes;
    HTREEITEM item = DeviceTable[0].containers[0].signatureItem;

    CryptuiMissing = true;
    ShowCertificateDialog(window, item);
    EXPECT_EQ(Loads, 0);

    CryptuiMissing = false;
    EntryMissing = true;
    ShowCertificateDialog(window, item);
    EXPECT_EQ(Loads, 1);
    EXPECT_EQ(Releases, 1) << "released although the entry point is missing";

    EntryMissing = false;
    // An item no entry holds, and stored bytes that do not decode.
    ShowCertificateDialog(window, DeviceTable[0].keyItem);
    DeviceTable[0].containers[0].signatureCert[0] = 0x00;
    ShowCertificateDialog(window, item);
    EXPECT_EQ(Loads, 1);
    EXPECT_TRUE(Views.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CertViewerTest, TheRealSystemDialogOpensWithTheTitle)
{
    ViewerLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };
    SeenTitle.clear();
    ViewOwner = window;
    SetTimer(NULL, 0, 300, CloseCertificateDialog);
    ShowCertificateDialog(window, DeviceTable[0].containers[0].signatureItem);
    EXPECT_EQ(SeenTitle, "VelmoraCA客户端工具");
}

} // namespace
