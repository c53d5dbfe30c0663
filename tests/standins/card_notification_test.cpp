// KeyDev.dll unregistering while its watcher is sending to the unregistering thread: the wait in
// QZ_UnregisterCardNotification must deliver that message, not wait for the send to time out (5 s).
// The manager's end-to-end tests see arrivals and removals; none unregisters in the middle of a send.
#include <gtest/gtest.h>

#include <windows.h>

#include "virtual_key.h"
#include "token/token_api.h"

namespace {

int Notices;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE)
        Notices++;
    return DefWindowProcA(window, message, wParam, lParam);
}

TEST(CardNotification, UnregisterWhileTheWatcherSendsDoesNotDeadlock)
{
    TempStore store;
    SetDllDirectoryA(BuildFile("standins").c_str());
    HMODULE library = LoadLibraryA("KeyDev.dll");
    SetDllDirectoryA(NULL);
    ASSERT_TRUE(library);
    auto registerWindow = (QZ_RegisterCardNotification_Fn)(void*)GetProcAddress(library, "QZ_RegisterCardNotification");
    auto unregister = (QZ_UnregisterCardNotification_Fn)(void*)GetProcAddress(library, "QZ_UnregisterCardNotification");
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = CountingProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "StandinNoticeWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("StandinNoticeWindow", "", WS_OVERLAPPED, 0, 0, 10, 10, NULL, NULL,
                               windowClass.hInstance, NULL);
    ASSERT_EQ(registerWindow(window, 0), 0);

    Provision("create 1 --pin 1234");
    Sleep(1500); // the watcher has seen the key and is blocked sending to this thread
    EXPECT_EQ(Notices, 0);
    DWORD start = GetTickCount();
    EXPECT_EQ(unregister(), 0);
    EXPECT_LT(GetTickCount() - start, 2500u);
    EXPECT_EQ(Notices, 1) << "the message on its way was delivered during the wait";
    DestroyWindow(window);
    FreeLibrary(library);
}

} // namespace
