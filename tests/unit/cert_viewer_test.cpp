// Showing a stored certificate: the view request handed to the system dialog, and every silent failure.
#include <gtest/gtest.h>

#include <string.h>

#include "manager_window.h"
#include "win_harness.h"

#include <cryptuiapi.h>

namespace {

std::vector<std::vector<unsigned char>> Views; // the certificates shown, in order
HWND ViewParent;
int Loads, Releases;
bool CryptuiMissing, EntryMissing;

BOOL WINAPI FakeView(PCCRYPTUI_VIEWCERTIFICATE_STRUCTA request, BOOL* changed)
{
    // One certificate in its own store, under the main window and the tools' title, nothing else.
    EXPECT_EQ(request->dwSize, sizeof(void*) == 4 ? 72u : 120u); // the x86-64 twin's layout is larger
    EXPECT_EQ(request->hwndParent, ViewParent);
    EXPECT_EQ(request->dwFlags, 0u);
    EXPECT_STREQ(request->szTitle, MAIN_WINDOW_TITLE);
    EXPECT_EQ(request->cStores, 1u);
    EXPECT_TRUE(request->rghStores && request->rghStores[0] == request->pCertContext->hCertStore);
    EXPECT_EQ(request->cPurposes + request->cPropSheetPages + request->nStartPage, 0u);
    EXPECT_EQ(changed, nullptr);
    const CERT_CONTEXT* shown = request->pCertContext;
    Views.emplace_back(shown->pbCertEncoded, shown->pbCertEncoded + shown->cbCertEncoded);
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

class CertViewerTest : public ManagerTest {
protected:
    void SetUp() override
    {
        ManagerTest::SetUp();
        Views.clear();
        Loads = Releases = 0;
        CryptuiMissing = EntryMissing = false;
        ViewerLoader = { FakeLoad, FakeLookup, FakeRelease };
        fake::PutKey(token, 0, { "k", { true, false }, { { true, enc, sig } } });
        Open();
        ViewParent = window;
    }
    void TearDown() override
    {
        ViewerLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };
        ManagerTest::TearDown();
    }
    void DoubleClick()
    {
        NMHDR header = { tree, IDC_KEY_TREE, (UINT)NM_DBLCLK };
        MainDlgProc(window, WM_NOTIFY, IDC_KEY_TREE, (LPARAM)&header);
    }
    const ContainerEntry& entry = DeviceTable[0].containers[0];
};

TEST_F(CertViewerTest, TheButtonAndADoubleClickShowTheSelectedCertificateUnderTheToolsTitle)
{
    // A certificate selected: only "查看证书", and its key stays the selected key.
    Select(entry.signatureItem);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ true, false, false, false }));
    EXPECT_EQ(SelectedKeyItem, DeviceTable[0].keyItem);
    SendMessageA(window, WM_COMMAND, IDC_VIEW_CERT, 0);
    Select(entry.encryptionItem);
    SendMessageA(window, WM_COMMAND, IDC_VIEW_CERT, 0);
    // A double click on a key shows nothing; on a certificate, that certificate.
    Select(DeviceTable[0].keyItem);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ false, true, true, true }));
    DoubleClick();
    EXPECT_EQ(Views.size(), 2u);
    Select(entry.signatureItem);
    DoubleClick();

    EXPECT_EQ(Views, std::vector<std::vector<unsigned char>>({ sig, enc, sig }));
    EXPECT_EQ(Loads, 3);
    EXPECT_EQ(Releases, 3) << "cryptui is loaded for one view only";
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(CertViewerTest, EveryFailureIsSilent)
{
    CryptuiMissing = true;
    ShowCertificateDialog(window, entry.signatureItem);
    EXPECT_EQ(Loads, 0);

    CryptuiMissing = false;
    EntryMissing = true;
    ShowCertificateDialog(window, entry.signatureItem);
    EXPECT_EQ(Loads, 1);
    EXPECT_EQ(Releases, 1) << "released although the entry point is missing";

    EntryMissing = false;
    // An item no entry holds, and stored bytes that do not decode.
    ShowCertificateDialog(window, DeviceTable[0].keyItem);
    DeviceTable[0].containers[0].signatureCert[0] = 0x00;
    ShowCertificateDialog(window, entry.signatureItem);
    EXPECT_EQ(Loads, 1);
    EXPECT_TRUE(Views.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

} // namespace
