// KeyDev.dll's notifications end to end: a window registered with the real library sees keysim.exe
// insert and remove keys, and unregistering stops them without deadlock.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>
#include <stddef.h>
#include <string.h>

#include <string>
#include <vector>

#include "standin_harness.h"
#include "token/token_api.h"

namespace {

// Arrivals as "+" and removals as "-" before the device path; "?" marks a record that is not a
// well-formed USB device interface record.
std::vector<std::string> Notices;

const GUID UsbClass = { 0xA5DCBF10, 0x6530, 0x11D2, { 0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED } };

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_DEVICECHANGE || (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE))
        return DefWindowProcA(window, message, wParam, lParam);
    const DEV_BROADCAST_DEVICEINTERFACE_A* r = (const DEV_BROADCAST_DEVICEINTERFACE_A*)lParam;
    bool good = r && r->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE && IsEqualGUID(r->dbcc_classguid, UsbClass) &&
                r->dbcc_size == offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + strlen(r->dbcc_name) + 1;
    Notices.push_back(std::string(!good ? "?" : wParam == DBT_DEVICEARRIVAL ? "+" : "-") + (r ? r->dbcc_name : ""));
    return TRUE;
}

class CardNotification : public ::testing::Test {
protected:
    TempStore store;
    HMODULE library = NULL;
    HWND window = NULL;
    QZ_RegisterCardNotification_Fn registerWindow = nullptr;
    QZ_UnregisterCardNotification_Fn unregister = nullptr;

    void SetUp() override
    {
        Notices.clear();
        LoadKeyDev();
        ASSERT_NE(library, (HMODULE)NULL);
        registerWindow = (QZ_RegisterCardNotification_Fn)(void*)GetProcAddress(library, "QZ_RegisterCardNotification");
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "StandinNoticeWindow";
        RegisterClassA(&windowClass);
        window = NewWindow();
        ASSERT_NE(window, (HWND)NULL);
    }

    void TearDown() override
    {
        if (unregister)
            unregister();
        DestroyWindow(window);
        if (library)
            FreeLibrary(library);
    }

    void LoadKeyDev()
    {
        SetDllDirectoryA(StandinsFolder().c_str());
        library = LoadLibraryA("KeyDev.dll");
        SetDllDirectoryA(NULL);
        unregister = (QZ_UnregisterCardNotification_Fn)(void*)GetProcAddress(library, "QZ_UnregisterCardNotification");
    }

    HWND NewWindow()
    {
        return CreateWindowA("StandinNoticeWindow", "notices", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL,
                             GetModuleHandleA(NULL), NULL);
    }

    // Pumps this thread's messages for up to timeoutMs or until count notices have arrived.
    void Pump(DWORD timeoutMs, size_t count = (size_t)-1)
    {
        DWORD start = GetTickCount();
        for (DWORD elapsed = 0; Notices.size() < count && elapsed < timeoutMs; elapsed = GetTickCount() - start) {
            MsgWaitForMultipleObjects(0, NULL, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
            MSG message;
            while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
        }
    }

    // keysim.exe while this thread keeps pumping, so a message the watcher sends gets in.
    void Keysim(const std::string& arguments) { ::Keysim(arguments, true); }
};

TEST_F(CardNotification, InsertionAndRemovalArriveOnceEachAndPromptly)
{
    auto key = [](const char* serial) {
        return std::string("\\\\?\\USB#VID_5E2B&PID_0001#") + serial + "#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";
    };
    Keysim("create 0 --pin 1234 --serial 00000AAA");
    // A second registration replaces the first: one watcher, so one notice per change below.
    HWND other = NewWindow();
    ASSERT_EQ(registerWindow(other, 0), 0);
    ASSERT_EQ(registerWindow(window, 0), 0);
    Keysim("create 3 --pin 1234 --removed");
    Pump(800);
    EXPECT_TRUE(Notices.empty()) << "keys there at registration, and removed keys, are no news";

    Keysim("create 2 --pin 1234 --serial 00C0FFEE");
    DWORD start = GetTickCount();
    Pump(5000, 1);
    EXPECT_LT(GetTickCount() - start, 1000u) << "from the end of keysim's one atomic write to the message";
    Keysim("put-cert 2 1 0 enc \"" + DemoCertificate("zhangsan-enc.der") + "\"");
    Keysim("set-retries 2 all 3");
    Pump(800);
    EXPECT_EQ(Notices.size(), 1u) << "changes to an inserted key are no arrivals";
    Keysim("remove 2");
    Pump(3000, 2);
    Keysim("insert 2");
    Pump(3000, 3);
    Keysim("delete 0");
    Pump(3000, 4);
    EXPECT_EQ(Notices, (std::vector<std::string>{ "+" + key("00C0FFEE"), "-" + key("00C0FFEE"), "+" + key("00C0FFEE"),
                                                  "-" + key("00000AAA") }));

    EXPECT_EQ(unregister(), 0);
    Keysim("remove 2");
    Pump(1500);
    EXPECT_EQ(Notices.size(), 4u) << "nothing after unregistering";
    EXPECT_EQ(unregister(), 0) << "a second unregister is harmless";
    DestroyWindow(other);
}

// The watcher is sending to this thread while this thread, not pumping, calls unregister: the wait in
// unregister must deliver the message instead of waiting for the send to time out (5 s).
TEST_F(CardNotification, UnregisterWhileTheWatcherSendsDoesNotDeadlock)
{
    ASSERT_EQ(registerWindow(window, 0), 0);
    ASSERT_EQ(RunKeysim("create 1 --pin 1234").exitCode, 0u);
    Sleep(1500); // the watcher has seen the key and is blocked sending to this thread
    EXPECT_TRUE(Notices.empty());
    DWORD start = GetTickCount();
    EXPECT_EQ(unregister(), 0);
    EXPECT_LT(GetTickCount() - start, 2500u);
    EXPECT_EQ(Notices.size(), 1u) << "the message on its way was delivered during the wait";
    Keysim("remove 1");
    Pump(1000);
    EXPECT_EQ(Notices.size(), 1u);
}

TEST_F(CardNotification, LibraryUnloadsCleanlyWithAWatcherRunning)
{
    ASSERT_EQ(registerWindow(window, 0), 0);
    // The manager unregisters before it frees the library; a careless host that does not must not crash.
    ASSERT_TRUE(FreeLibrary(library));
    library = NULL;
    unregister = nullptr;
    Keysim("create 0 --pin 1234");
    Pump(2000, 1);
    EXPECT_EQ(Notices.size(), 1u) << "the watcher keeps the library loaded while it runs";
    // Take a reference of our own before calling in again: the watcher's may go while unregister runs.
    LoadKeyDev();
    ASSERT_NE(library, (HMODULE)NULL);
}

} // namespace
