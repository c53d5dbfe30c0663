// Starting the tray client at the end of the install through the desktop shell's own process, so it
// runs with the signed-in user's rights and HKEY_CURRENT_USER rather than the elevated installer's.
#include "setup.h"

#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>

// The shell's dispatch object of the desktop's view, or NULL when no desktop shell answers.
static IShellDispatch2* FindDesktopShell(void)
{
    IShellWindows* windows = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, NULL, CLSCTX_LOCAL_SERVER, IID_IShellWindows, (void**)&windows)))
        return NULL;
    VARIANT location, root;
    VariantInit(&location);
    VariantInit(&root);
    V_VT(&location) = VT_I4;
    V_I4(&location) = CSIDL_DESKTOP;
    long window = 0;
    IDispatch* desktop = NULL;
    IServiceProvider* provider = NULL;
    IShellBrowser* browser = NULL;
    IShellView* view = NULL;
    IDispatch* background = NULL;
    IShellFolderViewDual* folderView = NULL;
    IDispatch* application = NULL;
    IShellDispatch2* shell = NULL;
    // Each step only when the one before gave its object; every object is released below.
    if (windows->FindWindowSW(&location, &root, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH, &desktop) == S_OK && desktop &&
        SUCCEEDED(desktop->QueryInterface(IID_IServiceProvider, (void**)&provider)) &&
        SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, (void**)&browser)) &&
        SUCCEEDED(browser->QueryActiveShellView(&view)) &&
        SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, (void**)&background)) &&
        SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, (void**)&folderView)) &&
        SUCCEEDED(folderView->get_Application(&application)) && application)
        application->QueryInterface(IID_IShellDispatch2, (void**)&shell);
    IUnknown* held[] = { application, folderView, background, view, browser, provider, desktop, windows };
    for (IUnknown* object : held)
        if (object)
            object->Release();
    return shell;
}

static VARIANT TextVariant(const WCHAR* text)
{
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(text);
    return value;
}

static void StartThroughDesktopShell(const char* path, const char* directory)
{
    WCHAR widePath[INSTALL_PATH_SIZE], wideDirectory[INSTALL_PATH_SIZE];
    if (!MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, path, -1, widePath, INSTALL_PATH_SIZE) ||
        !MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, directory, -1, wideDirectory, INSTALL_PATH_SIZE))
        return;
    HRESULT com = CoInitialize(NULL);
    IShellDispatch2* shell = FindDesktopShell();
    if (shell) {
        BSTR file = SysAllocString(widePath);
        // Empty parameters, as before; the target directory stays the working directory, as it is
        // for every program the installer starts.
        VARIANT parameters = TextVariant(L"");
        VARIANT workingDirectory = TextVariant(wideDirectory);
        VARIANT operation = TextVariant(L"open");
        VARIANT show;
        VariantInit(&show);
        V_VT(&show) = VT_I4;
        V_I4(&show) = SW_SHOWNORMAL;
        if (file && V_BSTR(&parameters) && V_BSTR(&workingDirectory) && V_BSTR(&operation))
            shell->ShellExecute(file, parameters, workingDirectory, operation, show);
        VariantClear(&operation);
        VariantClear(&workingDirectory);
        VariantClear(&parameters);
        SysFreeString(file);
        shell->Release();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
}

void StartTrayClient(const InstallContext* context)
{
    // Never as our own child: that would run elevated, and as the administrator whose credentials
    // were typed for the installer. Where no shell answers, the Run value starts it at the next sign-in.
    StartThroughDesktopShell(context->trayPath, context->targetDir);
}
