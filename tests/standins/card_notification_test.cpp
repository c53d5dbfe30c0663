// KeyDev.dll's notifications end to end: a window registered with the real library sees keysim.exe
// insert and remove keys, and unregistering stops them without deadlock.
#include <gtest/gtest.h>

#include <windows.h>
#include <dbt.h>

#include <string>
#include <vector>

#include "standin_harness.h"
#include "token/token_api.h"

namespace {

struct Notice {
    WPARAM event;
    std::string name;
    DWORD size;
    DWORD type;
    bool usbClass;
};

std::vector<Notice> Notices;

const GUID UsbClass = { 0xA5DCBF10, 0x6530, 0x11D2, { 0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED } };

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE && (wParam == DBT_DEVICEARRIVAL || wParam == DBT_DEVICEREMOVECOMPLETE)) {
        const DEV_BROADCAST_DEVICEINTERFACE_A* record = (const DEV_BROADCAST_DEVICEINTERFACE_A*)lParam;
        Notice notice = { wParam, "", 0, 0, false };
        if (record) {
            notice.size = record->dbcc_size;
            notice.type = record->dbcc_devicetype;
            notice.usbClass = IsEqualGUID(record->dbcc_classguid, UsbClass) != FALSE;
            notice.name = record->dbcc_name;
        }
        Notices.push_back(notice);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class CardNotification : public ::testing::Test {
protected:
    TempStore store;
    HMODULE library = NULL;
    HWND window = NULL;
    QZ_RegisterCardNotification_Fn registerWindow = nullptr;
    QZ_UnregisterCardNotification_Fn unregister = nullptr;
    QZ_IsQZDevice_Fn isKey = nullptr;

    void SetUp() override
    {
        Notices.clear();
        SetDllDirectoryA(StandinsFolder().c_str());
        library = LoadLibraryA("KeyDev.dll");
        SetDllDirectoryA(NULL);
        ASSERT_NE(library, (HMODULE)NULL);
        registerWindow = (QZ_RegisterCardNotification_Fn)(void*)GetProcAddress(library, "QZ_RegisterCardNotification");
        unregister = (QZ_UnregisterCardNotification_Fn)(void*)GetProcAddress(library, "QZ_UnregisterCardNotification");
        isKey = (QZ_IsQZDevice_Fn)(void*)GetProcAddress(library, "QZ_IsQZDevice");
        WNDCLASSA windowClass;
        ZeroMemory(&windowClass, sizeof windowClass);
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "StandinNoticeWindow";
        RegisterClassA(&windowClass);
        window = CreateWindowA("StandinNoticeWindow", "notices", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL,
                               GetModuleHandleA(NULL), NULL);
        ASSERT_NE(window, (HWND)NULL);
    }

    void TearDown() override
    {
        if (unregister)
            unregister();
        if (window)
            DestroyWindow(window);
        if (library)
            FreeLibrary(library);
    }

    // Pumps this thread's messages for up to timeoutMs or until count notices have arrived.
    void Pump(DWORD timeoutMs, size_t count = (size_t)-1)
    {
        DWORD start = GetTickCount();
        while (Notices.size() < count) {
            DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs)
                return;
            MsgWaitForMultipleObjects(0, NULL, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
            MSG message;
            while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
        }
    }

    struct KeysimJob {
        std::string arguments;
        KeysimRun run;
    };

    static DWORD WINAPI RunKeysimJob(void* parameter)
    {
        KeysimJob* job = (KeysimJob*)parameter;
        job->run = RunKeysim(job->arguments);
        return 0;
    }

    // keysim.exe in a thread of its own, while this thread keeps pumping (a sent message must get in).
    DWORD KeysimPumping(const std::string& arguments)
    {
        KeysimJob job = { arguments, {} };
        HANDLE thread = CreateThread(NULL, 0, RunKeysimJob, &job, 0, NULL);
        for (;;) {
            DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, 30000, QS_ALLINPUT);
            if (woken != WAIT_OBJECT_0 + 1)
                break;
            MSG message;
            while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
                DispatchMessageA(&message);
        }
        CloseHandle(thread);
        EXPECT_EQ(job.run.exitCode, 0u) << arguments << "\n" << job.run.output;
        return job.run.exitCode;
    }

    void ExpectNotice(const Notice& notice, WPARAM event, const char* serial)
    {
        EXPECT_EQ(notice.event, event);
        EXPECT_EQ(notice.type, (DWORD)DBT_DEVTYP_DEVICEINTERFACE);
        EXPECT_TRUE(notice.usbClass);
        EXPECT_EQ(notice.size, (DWORD)(28 + notice.name.size() + 1));
        EXPECT_NE(notice.name.find(serial), std::string::npos) << notice.name;
        EXPECT_NE(isKey(notice.name.c_str()), 0) << notice.name;
    }
};

TEST_F(CardNotification, InsertionAndRemovalArriveOnceEach)
{
    ASSERT_EQ(registerWindow(window, 0), 0);
    KeysimPumping("create 2 --pin 1234 --serial 00C0FFEE");
    Pump(3000, 1);
    ASSERT_EQ(Notices.size(), 1u) << "creating an inserted key is one arrival";
    ExpectNotice(Notices[0], DBT_DEVICEARRIVAL, "00C0FFEE");

    KeysimPumping("put-cert 2 1 0 enc \"" + DemoCertificate("zhangsan-enc.der") + "\"");
    KeysimPumping("set-retries 2 all 3");
    Pump(800);
    EXPECT_EQ(Notices.size(), 1u) << "changes to an inserted key are no arrivals";

    KeysimPumping("remove 2");
    Pump(3000, 2);
    ASSERT_EQ(Notices.size(), 2u);
    ExpectNotice(Notices[1], DBT_DEVICEREMOVECOMPLETE, "00C0FFEE");

    KeysimPumping("insert 2");
    Pump(3000, 3);
    ASSERT_EQ(Notices.size(), 3u);
    ExpectNotice(Notices[2], DBT_DEVICEARRIVAL, "00C0FFEE");

    EXPECT_EQ(unregister(), 0);
    KeysimPumping("remove 2");
    Pump(1500);
    EXPECT_EQ(Notices.size(), 3u) << "nothing after unregistering";
    EXPECT_EQ(unregister(), 0) << "a second unregister is harmless";
}

TEST_F(CardNotification, KeysPresentAtRegistrationAreNoNews)
{
    ASSERT_EQ(RunKeysim("create 0 --pin 1234").exitCode, 0u);
    ASSERT_EQ(registerWindow(window, 0), 0);
    Pump(1000);
    EXPECT_TRUE(Notices.empty());
    KeysimPumping("delete 0");
    Pump(3000, 1);
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0].event, (WPARAM)DBT_DEVICEREMOVECOMPLETE);
}

TEST_F(CardNotification, ArrivalComesWellUnderASecond)
{
    ASSERT_EQ(registerWindow(window, 0), 0);
    KeysimRun run = RunKeysim("create 3 --pin 1234 --removed");
    ASSERT_EQ(run.exitCode, 0u);
    Pump(500);
    ASSERT_TRUE(Notices.empty());
    // The flag flips in one atomic write; time from the end of that write to the message.
    ASSERT_EQ(RunKeysim("insert 3").exitCode, 0u);
    DWORD start = GetTickCount();
    Pump(5000, 1);
    DWORD latency = GetTickCount() - start;
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_LT(latency, 1000u);
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
    DWORD took = GetTickCount() - start;
    EXPECT_LT(took, 2500u);
    EXPECT_EQ(Notices.size(), 1u) << "the message on its way was delivered during the wait";
    KeysimPumping("remove 1");
    Pump(1000);
    EXPECT_EQ(Notices.size(), 1u);
}

TEST_F(CardNotification, SecondRegistrationReplacesTheFirst)
{
    HWND other = CreateWindowA("StandinNoticeWindow", "other", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, NULL, NULL,
                               GetModuleHandleA(NULL), NULL);
    ASSERT_EQ(registerWindow(other, 0), 0);
    ASSERT_EQ(registerWindow(window, 0), 0);
    KeysimPumping("create 0 --pin 1234");
    Pump(3000, 1);
    Pump(500);
    EXPECT_EQ(Notices.size(), 1u) << "one watcher, not two";
    unregister();
    DestroyWindow(other);
}

TEST_F(CardNotification, LibraryUnloadsCleanlyWithAWatcherRunning)
{
    ASSERT_EQ(registerWindow(window, 0), 0);
    // The manager unregisters before it frees the library; a careless host that does not must not crash.
    ASSERT_TRUE(FreeLibrary(library));
    library = NULL;
    unregister = nullptr;
    KeysimPumping("create 0 --pin 1234");
    Pump(2000, 1);
    EXPECT_EQ(Notices.size(), 1u) << "the watcher keeps the library loaded while it runs";
    // Take a reference of our own before calling in again: the watcher's may go while unregister runs.
    SetDllDirectoryA(StandinsFolder().c_str());
    library = LoadLibraryA("KeyDev.dll");
    SetDllDirectoryA(NULL);
    ASSERT_NE(library, (HMODULE)NULL);
    unregister = (QZ_UnregisterCardNotification_Fn)(void*)GetProcAddress(library, "QZ_UnregisterCardNotification");
}

} // namespace
