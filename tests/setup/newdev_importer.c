/* A program that imports newdev.dll the ordinary way: beside the planted library, Wine (told to
   look beside the program first) loads the plant into it. It shows that the plant test can fail. */
#include <windows.h>
#include <newdev.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    /* Never called: the reference alone puts newdev.dll into the import table. */
    if (commandLine[0] == '\x01')
        return UpdateDriverForPlugAndPlayDevicesA(NULL, "", "", 0, NULL) ? 0 : 1;
    return 0;
}
