// Registers the marker window class both programs make from the system dialog class.
#include "marker_class.h"

int RegisterMarkerClass(HINSTANCE instance, int iconId, const char* name)
{
    WNDCLASSEXA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.cbSize = sizeof windowClass;
    // 0x8002 is the atom of "#32770", the system dialog class.
    if (!GetClassInfoExA(NULL, MAKEINTRESOURCEA(0x8002), &windowClass))
        return 0;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(iconId));
    windowClass.lpszClassName = name;
    return RegisterClassExA(&windowClass) != 0;
}
