// Every entry point of the stand-in KeyCmd.dll, KeyDev.dll and KeyNum.dll, with what each does.
// All are __stdcall and exported undecorated (see the .def files); handles and results are 32-bit ints.
// No entry point crashes on a null pointer; a bad or stale handle gives a negative result.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define KEYAPI __stdcall
#else
#define KEYAPI
#endif

#ifdef __cplusplus
extern "C" {
#endif

// ---- KeyCmd.dll -------------------------------------------------------------------------------

// A handle (> 0) to the key in slot 0..3, or 0 when the slot holds no inserted, readable key (or when
// 16 handles are open already).
// A handle stays good while the same key (same serial) stays inserted; pulled out, every call fails.
int KEYAPI QZ_Open(int slot);

// Releases a handle: 0, or -1 for a handle that is not open.
int KEYAPI QZ_Close(int handle);

// Resets the key: the master file becomes current, no file is selected, PIN verifications are
// forgotten. answer80 (may be null) gets the answer-to-reset, zero-padded to 80 bytes. 0, or -1.
int KEYAPI QZ_IC_RESET(int handle, unsigned char* answer80);

// Writes the serial as 8 hexadecimal digits and a NUL into serial (at least 9 bytes). 0, or -1.
int KEYAPI QZ_GET_SN(int handle, char* serial);

// Stores a DER certificate (1..3000 bytes) in container 0|1 of the current application as kind
// 1 = encryption (EF 0xEF01) or 2 = signature (EF 0xEF02). Needs the application's PIN verified on this
// handle since the last reset. 0; -1 bad handle; -2 no application; -3 bad argument; -4 store failed;
// -5 PIN not verified.
int KEYAPI QZ_StoreCert(int handle, int container, int kind, int length, const unsigned char* der);

// Reads count (1..128) bytes of the selected file at offset; offsetHigh must be offset / 256, mode and
// reserved 0. The offset counts from the file's first byte, its 2-byte length prefix. Returns the bytes
// delivered (never more than count) or -1 for a bad handle. status (may be null) gets the status word:
// 0x9000; 0x6282 the file ended before count bytes (those left were delivered); 0x6B00 nothing left at
// offset; 0x6986 no file selected; 0x6A86 bad mode/offset fields; 0x6700 bad count or null destination.
int KEYAPI Read_Binary(int handle, int mode, int offsetHigh, int offset, int reserved, int count,
                       unsigned char* destination, unsigned short* status);

// p1 0: the master file (dataLength 0, or 2 with 0x3F00); 1: the child directory whose 2-byte
// big-endian id is data; 2: the elementary file of the current directory. p2 must be 0. 0 when the
// command ran (see status: 0x9000, 0x6A82 not found, 0x6700 data length not 2, 0x6A86 bad p1/p2),
// -1 for a bad handle.
int KEYAPI Select_File(int handle, int p1, int p2, int dataLength, const unsigned char* data,
                       unsigned short* status);

// Writes count (1..128) bytes of data into the selected certificate file at offset, within its
// present length; needs the PIN as QZ_StoreCert does (0x6982 otherwise, also for the generated
// device information and container directory files). Returns count or 0 with the status, -1 for a
// bad handle.
int KEYAPI Update_Binary(int handle, int mode, int offsetHigh, int offset, int reserved, int count,
                         const unsigned char* data, unsigned short* status);

// Deletes certificate kind 1|2 of container 0|1 of the current application; answers as QZ_StoreCert
// (deleting an empty place succeeds).
int KEYAPI QZ_DeleteCert(int handle, int container, int kind);

// Writes the 4-byte serial (big-endian) to serial64[0..3]; the other 60 bytes are left alone. 0, or -1.
int KEYAPI QZ_GET_BCDSN(int handle, unsigned char* serial64);

// Deletes every certificate of the current application; answers as QZ_StoreCert.
int KEYAPI QZ_ClearDir(int handle);

// Checks pin (pinLength bytes, 1..31) against the PIN of the current application (the DF 0xAD01 or
// 0xAD02 at the top of the current path). 0: right, the retry counter is full again; n > 0: wrong, n
// retries left; -1: locked (also the answer to the wrong PIN that used the last retry, and to every
// PIN, the right one too, once locked); -2: bad handle or no application selected; -3: no PIN or its
// length outside 1..31 (nothing counted); -4: the counter could not be stored (nothing decided).
int KEYAPI QZ_VerifyPinUpDatePinInfoFile(int handle, const unsigned char* pin, int pinLength);

// changeData = old PIN, one 0xFF, new PIN (dataLength bytes in all, no terminator; each PIN 1..31
// bytes). Answers as QZ_VerifyPinUpDatePinInfoFile on the old PIN, 0 meaning changed; -1000 when the
// data is malformed (checked before anything else).
int KEYAPI QZ_ChangePin(int handle, int dataLength, const unsigned char* changeData);

// The stand-in has no system certificate store to feed: both return -6 (not supported) for an open
// handle, -1 for a bad one, and change nothing.
int KEYAPI QZ_AddCertToIE(int handle);
int KEYAPI QZ_DelCertFrIE(int handle);

// Unblocks the current application with a new PIN (1..31 bytes) and a full counter. A real key asks
// for its administrator PIN first; the test token has none, so the call itself is the authority.
// 0; -1 bad handle; -2 no application; -3 bad PIN; -4 store failed.
int KEYAPI QZ_ReloadUserPin(int handle, const unsigned char* newPin, int pinLength);

// Empties the key: every certificate and corrupt image of both applications is deleted and every
// counter is full again; label, serial and PINs stay. 0; -1 bad handle; -4 store failed.
int KEYAPI QZ_InitialCard(int handle);

// ---- KeyDev.dll -------------------------------------------------------------------------------

// Registers window (an HWND) for WM_DEVICECHANGE: the system's USB device interface notifications and
// DBT_DEVICEARRIVAL / DBT_DEVICEREMOVECOMPLETE for every key inserted into or removed from the store,
// with a DEV_BROADCAST_DEVICEINTERFACE_A record. flags is ignored. A second registration replaces
// the first. 0, or -1 for a null window or when the watcher cannot start.
int KEYAPI QZ_RegisterCardNotification(void* window, int flags);

// Stops the notifications; while it waits for the watcher it delivers messages sent to the calling
// thread, so a watcher sending to this thread cannot block it. Safe without a registration. 0.
int KEYAPI QZ_UnregisterCardNotification(void);

// Non-zero when devicePath (ANSI) names a key of this system (contains "VID_5E2B&PID_0001", any case).
int KEYAPI QZ_IsQZDevice(const char* devicePath);

// Allocates the list of inserted keys' reader names ("Velmora Virtual Key N", each NUL-terminated,
// an empty name ending the list) into *list, and their number into *count. 0, or -1 when either
// pointer is null or memory runs out. Free it with QZ_DestroyReaderList.
int KEYAPI QZ_GetReaderList(char** list, int* count);

// Frees a list from QZ_GetReaderList: 0, or -1 for null or a pointer this library did not hand out.
int KEYAPI QZ_DestroyReaderList(char* list);

// ---- KeyNum.dll -------------------------------------------------------------------------------

// Writes the decimal value of the hexadecimal digits hexDigits (any number, leading zeros allowed)
// into decimal512 with its NUL. 0; 1 for a character that is no hex digit or no digit at all; 2 when
// the decimal would not fit 512 bytes; 3 for a null pointer. On failure decimal512 holds "".
int KEYAPI HexToDec(const char* hexDigits, char* decimal512);

#ifdef __cplusplus
}
#endif
