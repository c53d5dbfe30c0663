// Test program that ignores every switch and runs until its test releases it (or 30 seconds pass).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, "KitStubbornProgramRelease");
    if (release)
        WaitForSingleObject(release, 30000);
    else
        Sleep(30000);
    return 0;
}
