// Entry of the installer: one interactive installer at a time, confirmation, sequence, result box.
#include "setup.h"

#include "library_search.h"
#include "marker_class.h"

static HANDLE SingleInstanceMutex;

// 1 when this installer may go on. Another one showing a box owns the user's attention; one that
// is inside its sequence shows none, and then this one asks for itself.
static int TakeInstanceTurn(void)
{
    SingleInstanceMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, INSTANCE_NAME);
    if (SingleInstanceMutex)
        return FindWindowA(DIALOG_CLASS, SETUP_CAPTION) == NULL;
    SingleInstanceMutex = CreateMutexA(NULL, TRUE, INSTANCE_NAME);
    return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    NarrowLibrarySearch();
    if (!RegisterMarkerClass(instance, IDI_SETUP, INSTANCE_NAME))
        return 0;
    if (!TakeInstanceTurn())
        return 0;
    if (MessageBoxA(NULL, TEXT_SETUP_CONFIRM, SETUP_CAPTION, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return 0;
    if (RunInstallSequence(instance) == 0)
        MessageBoxA(NULL, TEXT_SETUP_DONE, SETUP_CAPTION, MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxA(NULL, TEXT_SETUP_FAILED, SETUP_CAPTION, MB_OK | MB_ICONWARNING);
    return 0;
}
