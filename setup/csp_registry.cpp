// Registering the token's CSP for the user and the machine, and the tray client's autostart.
#include "setup.h"

RegistryApi CspRegistry = { RegCreateKeyExA, RegOpenKeyExA, RegSetValueExA, RegDeleteKeyA, RegCloseKey };

// A 32-bit program on 64-bit Windows sees HKEY_LOCAL_MACHINE\SOFTWARE redirected to its 32-bit view.
// That view is asked for by name: 32-bit Windows ignores the flag and WOW64 gives the shipped
// program that view anyway, so nothing changes for it, and the x86-64 test build writes its keys.
static REGSAM KitView(HKEY root, REGSAM access)
{
    return root == HKEY_LOCAL_MACHINE ? access | KEY_WOW64_32KEY : access;
}

static LONG CreateCspKey(HKEY root, HKEY* key)
{
    DWORD disposition = 0;
    char noClass[1] = "";
    return CspRegistry.createKey(root, CSP_KEY, 0, noClass, REG_OPTION_NON_VOLATILE, KitView(root, KEY_ALL_ACCESS),
                                 NULL, key, &disposition);
}

static LONG SetText(HKEY key, const char* name, const char* text)
{
    // The terminating zero is part of the value, as the readers of these values expect.
    return CspRegistry.setValue(key, name, 0, REG_SZ, (const BYTE*)text, (DWORD)lstrlenA(text) + 1);
}

static LONG SetNumber(HKEY key, const char* name, DWORD number)
{
    return CspRegistry.setValue(key, name, 0, REG_DWORD, (const BYTE*)&number, sizeof number);
}

static LONG SetSignature(HKEY key)
{
    return CspRegistry.setValue(key, "Signature", 0, REG_BINARY, CspSignature, CSP_SIGNATURE_SIZE);
}

// Deletes the key itself (an empty subkey name) after opening it; 1 when both calls succeeded.
static int DeleteWholeKey(HKEY root, const char* path, REGSAM access)
{
    HKEY key = NULL;
    if (CspRegistry.openKey(root, path, 0, KitView(root, access), &key) != ERROR_SUCCESS)
        return 0;
    LONG deleted = CspRegistry.deleteKey(key, "");
    CspRegistry.closeKey(key);
    return deleted == ERROR_SUCCESS;
}

// The provider key under root; only the user's carries the token's event and PIN settings.
static int WriteCspKey(HKEY root, const char* imagePath)
{
    HKEY key = NULL;
    if (CreateCspKey(root, &key) != ERROR_SUCCESS)
        return 0;
    LONG result = SetText(key, "Image Path", imagePath);
    if (result == ERROR_SUCCESS)
        result = SetNumber(key, "Type", PROV_RSA_FULL);
    if (result == ERROR_SUCCESS && root == HKEY_CURRENT_USER)
        result = SetNumber(key, "KeyEvent", 0);
    if (result == ERROR_SUCCESS && root == HKEY_CURRENT_USER)
        result = SetNumber(key, "PinTimeout", 0);
    if (result == ERROR_SUCCESS)
        result = SetSignature(key);
    CspRegistry.closeKey(key);
    return result == ERROR_SUCCESS;
}

int RegisterCspForUser(const char* imagePath)
{
    // A half-written provider key would mislead applications that enumerate providers: remove it.
    if (!WriteCspKey(HKEY_CURRENT_USER, imagePath)) {
        UnregisterCspForUser();
        return 0;
    }
    return 1;
}

static int WriteRunValue(const char* trayPath)
{
    HKEY key = NULL;
    // Opened, not created: the Run key belongs to the system.
    if (CspRegistry.openKey(HKEY_LOCAL_MACHINE, RUN_KEY, 0, KitView(HKEY_LOCAL_MACHINE, KEY_ALL_ACCESS), &key)
        != ERROR_SUCCESS)
        return 0;
    LONG result = SetText(key, RUN_VALUE, trayPath);
    CspRegistry.closeKey(key);
    return result == ERROR_SUCCESS;
}

int RegisterCspForMachine(const char* imagePath, const char* trayPath)
{
    // A CSP that would not start with Windows' tray client counts as not registered: all is removed.
    if (!WriteCspKey(HKEY_LOCAL_MACHINE, imagePath) || !WriteRunValue(trayPath)) {
        UnregisterCspForMachine();
        return 0;
    }
    return 1;
}

int UnregisterCspForUser(void)
{
    return DeleteWholeKey(HKEY_CURRENT_USER, CSP_KEY, KEY_QUERY_VALUE);
}

int UnregisterCspForMachine(void)
{
    if (!DeleteWholeKey(HKEY_LOCAL_MACHINE, CSP_KEY, KEY_ALL_ACCESS))
        return 0;
    return DeleteWholeKey(HKEY_LOCAL_MACHINE, CSP_VENDOR_KEY, KEY_ALL_ACCESS);
}
