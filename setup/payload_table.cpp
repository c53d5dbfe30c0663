// PayloadTable: every file the installer carries, in the order it writes them.
#include "setup.h"

// Rows 1-3 and 5-7 share file names: the driver packages for 64-bit and for 32-bit Windows.
// Row 33's name is also a system library's; see the README before supplying that file.
const PayloadRow PayloadTable[PAYLOAD_ROW_COUNT] = {
    { 1, "DEV64", 196, "VKEYDRV.INF", PAYLOAD_64BIT_ONLY, EXISTING_DELETE, NULL, { 500 } },
    { 2, "DEV64", 197, "VKEYDRV.sys", PAYLOAD_64BIT_ONLY, EXISTING_DELETE, NULL, { 500 } },
    { 3, "DEV64", 198, "vkeydrv.cat", PAYLOAD_64BIT_ONLY, EXISTING_DELETE, NULL, { 500 } },
    { 4, "DEV64", 199, "DrvSetup64.exe", PAYLOAD_64BIT_ONLY, EXISTING_DELETE, NULL, { 500 } },
    { 5, "DLL", 133, "VKEYDRV.INF", PAYLOAD_32BIT_ONLY, EXISTING_DELETE, NULL, { 500 } },
    { 6, "DLL", 101, "VKEYDRV.sys", PAYLOAD_32BIT_ONLY, EXISTING_DELETE, NULL, { 500 } },
    { 7, "DLL", 146, "vkeydrv.cat", PAYLOAD_32BIT_ONLY, EXISTING_DELETE, NULL, { 500 } },
    { 8, "DLL", 215, "rootca.cer", PAYLOAD_ALWAYS, EXISTING_DELETE, NULL, { 500 } },
    { 9, "DLL", 216, "subca.cer", PAYLOAD_ALWAYS, EXISTING_DELETE, NULL, { 500 } },
    { 10, "EXE", 142, "KeyTray.exe", PAYLOAD_ALWAYS, EXISTING_STOP_THEN_SET_ASIDE, "-u", { 500, 500 } },
    { 11, "EXE", 143, "KeyManager.exe", PAYLOAD_ALWAYS, EXISTING_STOP_THEN_SET_ASIDE, "-u", { 500, 500 } },
    { 12, "EXE", 144, "KeyService.exe", PAYLOAD_ALWAYS, EXISTING_STOP_THEN_SET_ASIDE, "-remove", { 500, 500 } },
    { 13, "EXE", 145, "KeyUninstall.exe", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 14, "DLL", 209, "KeyUninstall.exe.manifest", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 15, "DLL", 205, "KeyCsp.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 16, "DLL", 206, "KeyCspEx.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 17, "DLL", 207, "KeyCmd.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 18, "DLL", 208, "KeyDev.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 19, "DLL", 218, "SignCtl.dll", PAYLOAD_ALWAYS, EXISTING_REREGISTER, NULL, { 200, 500, 300 } },
    { 20, "SKF", 212, "KeyApp.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 21, "SKF", 213, "KeyCos.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 22, "SKF", 214, "KeyIfd.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 23, "SKF", 217, "KeyNum.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 24, "PKCS", 220, "p11token.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 500 } },
    { 25, "PKCS", 221, "SealView.ocx", PAYLOAD_ALWAYS, EXISTING_REREGISTER, NULL, { 200, 500, 300 } },
    { 26, "PKCS", 222, "SealMaker.ocx", PAYLOAD_ALWAYS, EXISTING_REREGISTER, NULL, { 200, 500, 300 } },
    { 27, "PKCS", 223, "BrowserSign.dll", PAYLOAD_ALWAYS, EXISTING_REREGISTER, NULL, { 200, 500, 300 } },
    { 28, "PKCS", 224, "WebCrypt.dll", PAYLOAD_ALWAYS, EXISTING_REREGISTER, NULL, { 200, 500, 300 } },
    { 29, "PKCS", 227, "KeyApi.dll", PAYLOAD_ALWAYS, EXISTING_REREGISTER, NULL, { 200, 500, 300 } },
    { 30, "DLL", 232, "CardExt.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 300 } },
    { 31, "DLL", 233, "DevLowApi.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 300 } },
    { 32, "DLL", 234, "DevCos.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 300 } },
    { 33, "DLL", 235, "DevEnum.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 300 } },
    { 34, "DLL", 236, "DevIfd.dll", PAYLOAD_ALWAYS, EXISTING_SET_ASIDE, NULL, { 300 } },
};

int PayloadRowApplies(const PayloadRow* row, int wow64)
{
    switch (row->condition) {
    case PAYLOAD_64BIT_ONLY:
        return wow64 != 0;
    case PAYLOAD_32BIT_ONLY:
        return wow64 == 0;
    default:
        return 1;
    }
}
