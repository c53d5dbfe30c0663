// Entry points of the token libraries (KeyCmd.dll, KeyDev.dll, KeyNum.dll) and the table they are bound into.
// Portable: no windows.h, so the code that consumes key data also builds natively.
#pragma once

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TOKENAPI __stdcall
#else
#define TOKENAPI
#endif

// 16-bit status word of Select_File and Read_Binary; anything else is an error status.
enum { KEY_STATUS_OK = 0x9000 };

// P1 of Select_File.
enum { SELECT_MASTER_FILE = 0, SELECT_DIRECTORY = 1, SELECT_ELEMENTARY_FILE = 2 };

// Largest piece that one Read_Binary delivers.
enum { KEY_READ_PIECE = 128 };

// KeyCmd.dll: bound only while a key is open.
typedef int(TOKENAPI* QZ_Open_Fn)(int slot);
typedef int(TOKENAPI* QZ_Close_Fn)(int handle);
typedef int(TOKENAPI* QZ_IC_RESET_Fn)(int handle, unsigned char* answer80);
typedef int(TOKENAPI* Select_File_Fn)(int handle, int p1, int p2, int dataLength,
                                      const unsigned char* data, unsigned short* status);
typedef int(TOKENAPI* Read_Binary_Fn)(int handle, int mode, int offsetHigh, int offset, int reserved,
                                      int count, unsigned char* destination, unsigned short* status);
typedef int(TOKENAPI* QZ_GET_BCDSN_Fn)(int handle, unsigned char* serial64);
typedef int(TOKENAPI* QZ_VerifyPin_Fn)(int handle, const unsigned char* pin, int pinLength);
typedef int(TOKENAPI* QZ_ChangePin_Fn)(int handle, int dataLength, const unsigned char* changeData);

// KeyDev.dll: bound from the main window's start to its exit.
typedef int(TOKENAPI* QZ_RegisterCardNotification_Fn)(void* window, int flags);
typedef int(TOKENAPI* QZ_UnregisterCardNotification_Fn)(void);
typedef int(TOKENAPI* QZ_IsQZDevice_Fn)(const char* devicePath);

// KeyNum.dll: bound after KeyDev.dll, never released.
typedef int(TOKENAPI* HexToDec_Fn)(const char* hexDigits, char* decimal512);

// Names the manager binds but never calls are kept as untyped addresses.
typedef void* UnusedEntry;

struct TokenEntryPoints {
    // KeyCmd.dll, in binding order.
    QZ_Open_Fn QZ_Open;
    QZ_Close_Fn QZ_Close;
    QZ_IC_RESET_Fn QZ_IC_RESET;
    UnusedEntry QZ_GET_SN;
    UnusedEntry QZ_StoreCert;
    Read_Binary_Fn Read_Binary;
    Select_File_Fn Select_File;
    UnusedEntry Update_Binary;
    UnusedEntry QZ_DeleteCert;
    QZ_GET_BCDSN_Fn QZ_GET_BCDSN;
    UnusedEntry QZ_ClearDir;
    QZ_VerifyPin_Fn QZ_VerifyPinUpDatePinInfoFile;
    QZ_ChangePin_Fn QZ_ChangePin;
    UnusedEntry QZ_AddCertToIE;
    UnusedEntry QZ_DelCertFrIE;
    UnusedEntry QZ_ReloadUserPin;
    UnusedEntry QZ_InitialCard;

    // KeyDev.dll, in binding order.
    QZ_RegisterCardNotification_Fn QZ_RegisterCardNotification;
    QZ_UnregisterCardNotification_Fn QZ_UnregisterCardNotification;
    QZ_IsQZDevice_Fn QZ_IsQZDevice;
    UnusedEntry QZ_GetReaderList;
    UnusedEntry QZ_DestroyReaderList;

    // KeyNum.dll.
    HexToDec_Fn HexToDec;
};

// The process-wide table of bound entry points. A plain global, so tests fill it with their own functions.
extern TokenEntryPoints TokenLibrary;

// Exported names and where they land in TokenLibrary, in the order each library is bound.
struct TokenEntryName {
    const char* name;
    void** slot;
};
enum { KEYCMD_ENTRY_COUNT = 17, KEYDEV_ENTRY_COUNT = 5, KEYNUM_ENTRY_COUNT = 1 };
extern const TokenEntryName KeyCmdEntries[KEYCMD_ENTRY_COUNT];
extern const TokenEntryName KeyDevEntries[KEYDEV_ENTRY_COUNT];
extern const TokenEntryName KeyNumEntries[KEYNUM_ENTRY_COUNT];

// Clears the entries of one library's list.
void ClearTokenEntries(const TokenEntryName* entries, int count);
