// Key manager: the process-wide state and the functions that one file offers the others,
// grouped by the file that owns them.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "resource.h"
#include "token/token_api.h"
#include "token/key_file.h"
#include "key_layout.h"
#include "key_pin.h"
#include "key_walk.h"
#include "keyboard_layout.h"
#include "texts.h"

#define INSTANCE_NAME       "QuvaneClientClass_VLCA"
#define TRAY_WINDOW_TITLE   "KeyTray"
#define DIALOG_CLASS        "#32770"

// Private message another program sends when it has left a certificate update record.
#define WM_UPDATEINFO (WM_USER + 50)

enum { UPDATE_RECORD_SIZE = 3000,
       // Room for four keys with four full containers each: the report is never cut in practice.
       REPORT_TEXT_SIZE = REPORT_TEXT_LIMIT };

// How a library is loaded, looked up and released; tests put in loaders of their own.
struct LibraryLoader {
    HMODULE(WINAPI* load)(LPCSTR name);
    FARPROC(WINAPI* lookup)(HMODULE module, LPCSTR name);
    BOOL(WINAPI* release)(HMODULE module);
};

// main_window.cpp (instance and icon written by the entry point in main.cpp)
extern HINSTANCE AppInstance;
extern HICON AppIcon;
extern HTREEITEM SelectedKeyItem;
INT_PTR CALLBACK MainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Enables the certificate button and the three key buttons of the main window.
void SetKeyButtons(HWND mainWindow, BOOL certificateOn, BOOL keyOn);

// device_table.cpp
extern DeviceRecord DeviceTable[KEY_SLOT_COUNT];
extern char ReportText[REPORT_TEXT_SIZE];
// Empties both and the tree, then reads every key into them and into the tree.
int RefreshDeviceTree(HWND mainWindow);

// certificate_facts.cpp
// Decodes a certificate; facts->subject is also its text in the tree. 0 when the bytes are no
// certificate; otherwise decoded is released with ReleaseCertificate.
int DecodeCertificate(const unsigned char* der, int length, CertificateFacts* facts, void** decoded);
void ReleaseCertificate(void* decoded);

// device_tree.cpp
// Inserts an item under parent (TVI_ROOT for a key) with its text cut to limit bytes with the NUL.
HTREEITEM InsertTreeItem(HWND tree, HTREEITEM parent, const char* text, size_t limit, int image);
// Inserts a key's item at the root and enables the key buttons.
HTREEITEM InsertKeyItem(HWND mainWindow, HWND tree, const char* label);
// Inserts a certificate's item under its key's item and expands the key.
HTREEITEM InsertCertificateItem(HWND tree, HTREEITEM keyItem, const char* subject);
// Empties the tree and gives it a fresh image list from bitmap 107, destroying the previous one. The
// tree stops drawing until FinishTree, which must follow.
void ClearTreeWithImages(HWND tree);
// Selects the first key item, or shows the placeholder and disables the key buttons when none; then
// lets the tree draw again.
void FinishTree(HWND mainWindow, HTREEITEM firstKey);

// update_records.cpp
int ApplyCertificateUpdate(HWND mainWindow, const unsigned char* record, int byteCount);

// report.cpp
extern const char* ReportFilePath; // "c:\\KeyInfo.txt"; tests point it elsewhere
void WriteDeviceReport(HWND mainWindow);
int ClassifyWindowsVersion(void);

// pin_session.cpp
enum PinOutcome { PIN_OUTCOME_DONE, PIN_OUTCOME_LOCKED, PIN_OUTCOME_RETRY, PIN_OUTCOME_FAILED };
// The slot whose key item is SelectedKeyItem, or -1.
int FindSelectedSlot(void);
// Notes, as a PIN dialog opens, the slot and serial number of the key it is opened for.
void NotePinDialogKey(HWND dialog);
// VerifyKeyPin and ChangeKeyPin on that key, opened with OpenUsbKey; PIN_NO_ANSWER, without opening
// anything, once the key is no longer the one selected.
int VerifyDialogPin(HWND dialog, const unsigned char* pin, int length);
int ChangeDialogPin(HWND dialog, const unsigned char* change, int changeLength, const unsigned char* undo,
                    int undoLength);
// Shows the message for a key's answer under the dialog; returns what the answer means.
PinOutcome ReportPinResult(HWND dialog, int result, const char* successText, const char* failureText);
void ShowPinMessage(HWND dialog, const char* text, UINT style);
// Reads a PIN box into a zeroed buffer (at most 31 characters); returns the length.
int ReadPinBox(HWND dialog, int id, char* pin, size_t size);
void ClearAndFocus(HWND dialog, int id);

// verify_pin_dialog.cpp
INT_PTR OpenVerifyPinDialog(HWND owner);
INT_PTR CALLBACK VerifyPinDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Runs the verification of the PIN in the box; controlId (OK or Enter) ends the dialog on success.
void VerifyPin(HWND dialog, int controlId);

// onscreen_keyboard.cpp
extern unsigned char DigitOrder[KEY_ORDER_BUFFER];
extern unsigned char LetterOrder[KEY_ORDER_BUFFER];
extern int ShiftOn;
extern int CapsOn;
void InitOnScreenKeyboard(HWND dialog);
// Frees the held-key bitmaps; called when the dialog is destroyed.
void FreeOnScreenKeyboard(HWND dialog);
// Handles a press of an on-screen key; returns 0 for ids that are no key.
int OnScreenKeyPressed(HWND dialog, int id);

// change_pin_dialog.cpp
INT_PTR OpenChangePinDialog(HWND owner);
INT_PTR CALLBACK ChangePinDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// cert_viewer.cpp
extern LibraryLoader ViewerLoader; // how cryptui is loaded; tests put in their own
void ShowCertificateDialog(HWND owner, HTREEITEM item);
void OnTreeDoubleClick(HWND owner);

// token/token_library.cpp
extern LibraryLoader TokenLoader;
extern HMODULE KeyDevModule;
extern HMODULE KeyNumModule;
extern HMODULE KeyCmdModule;
// Binds KeyDev.dll and then KeyNum.dll; 1 when both are bound, else 0 with neither bound.
int BindDeviceLibraries(void);
// Stops the device notifications and releases KeyDev.dll (KeyNum.dll stays loaded).
void ReleaseDeviceLibrary(void);
// Loads KeyCmd.dll and binds its 17 names; 1 on success, else 0 with nothing bound.
int BindCommandLibrary(void);
void ReleaseCommandLibrary(void);

// token/key_access.cpp
int OpenUsbKey(int slot);
void CloseUsbKey(int handle);
// OpenUsbKey and CloseUsbKey for the walk; the certificate and tree entries are left NULL.
extern const KeyWalkHost KeyAccessHost;
