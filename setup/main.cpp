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
    if (MessageBoxA(NULL, "开始安装VelmoraCA客户端工具, 是否继续?", SETUP_CAPTION, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return 0;
    if (RunInstallSequence(instance) == 0)
        MessageBoxA(NULL, "VelmoraCA客户端工具安装完毕.", SETUP_CAPTION, MB_OK | MB_ICONINFORMATION);
    else
        MessageBoxA(NULL, "安装时出错, 安装程序将退出!", SETUP_CAPTION, MB_OK | MB_ICONWARNING);
    return 0;
}
