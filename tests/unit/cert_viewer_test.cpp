// Showing a stored certificate: the one selected, under the main window, and every failure silent.
#include <gtest/gtest.h>

#include <string.h>

#include "manager_window.h"

#include <cryptuiapi.h>

namespace {

std::vector<std::vector<unsigned char>> Views; // the certificates shown, in order
HWND ViewParent;
int Releases;
bool CryptuiMissing, EntryMissing;

BOOL WINAPI FakeView(PCCRYPTUI_VIEWCERTIFICATE_STRUCTA request, BOOL*)
{
    EXPECT_EQ(request->hwndParent, ViewParent); // its title: the end-to-end test
    const CERT_CONTEXT* shown = request->pCertContext;
    Views.emplace_back(shown->pbCertEncoded, shown->pbCertEncoded + shown->cbCertEncoded);
    return TRUE;
}

HMODULE WINAPI FakeLoad(LPCSTR name)
{
    if (CryptuiMissing || lstrcmpiA(name, "cryptui") != 0)
        return NULL;
    return (HMODULE)0x5005;
}

FARPROC WINAPI FakeLookup(HMODULE, LPCSTR name)
{
    return EntryMissing || strcmp(name, "CryptUIDlgViewCertificateA") != 0 ? NULL : (FARPROC)(void*)FakeView;
}

BOOL WINAPI FakeRelease(HMODULE)
{
    ++Releases;
    return TRUE;
}

typedef ManagerTest CertViewerTest;

TEST_F(CertViewerTest, TheSelectedCertificateIsShownAndEveryFailureIsSilent)
{
    ViewerLoader = { FakeLoad, FakeLookup, FakeRelease };
    Provision("create 0 --label k --pin 1234");
    Provision("put-cert 0 1 0 enc " + TestCertificatePath("zhangsan_enc"));
    Provision("put-cert 0 1 0 sig " + TestCertificatePath("zhangsan_sig"));
    Open();
    ViewParent = window;
    ContainerEntry& entry = DeviceTable[0].containers[0];
    std::vector<unsigned char> enc(entry.encryptionCert, entry.encryptionCert + entry.encryptionLength);
    std::vector<unsigned char> sig(entry.signatureCert, entry.signatureCert + entry.signatureLength);
    auto doubleClick = [this] {
        NMHDR header = { tree, IDC_KEY_TREE, (UINT)NM_DBLCLK };
        MainDlgProc(window, WM_NOTIFY, IDC_KEY_TREE, (LPARAM)&header);
    };
    // A certificate selected: only its button, and its key stays the selected key.
    Select(entry.signatureItem);
    EXPECT_EQ(KeyButtons(), std::vector<bool>({ true, false, false, false }));
    EXPECT_EQ(SelectedKeyItem, DeviceTable[0].keyItem);
    SendMessageA(window, WM_COMMAND, IDC_VIEW_CERT, 0);
    Select(DeviceTable[0].keyItem);
    doubleClick(); // a key shows nothing
    Select(entry.encryptionItem);
    doubleClick();
    EXPECT_EQ(Views, std::vector<std::vector<unsigned char>>({ sig, enc }));
    EXPECT_EQ(Releases, 2) << "cryptui is loaded for one view only";

    CryptuiMissing = true;
    ShowCertificateDialog(window, entry.signatureItem);
    CryptuiMissing = false;
    EntryMissing = true;
    ShowCertificateDialog(window, entry.signatureItem);
    EXPECT_EQ(Releases, 3) << "released although the entry point is missing";
    EntryMissing = false;
    entry.signatureCert[0] = 0x00; // stored bytes that do not decode
    ShowCertificateDialog(window, entry.signatureItem);
    EXPECT_EQ(Views.size(), 2u);
    EXPECT_TRUE(boxes.boxes.empty());
    ViewerLoader = { LoadLibraryA, GetProcAddress, FreeLibrary };
}

} // namespace
