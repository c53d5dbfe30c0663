// What both PIN dialogs share: finding the selected key, presenting a PIN to each application,
// and telling the user the key's answer.
#include "manager.h"

#include "../common/bounded_text.h"
#include "pin_rules.h"

int FindSelectedSlot(void)
{
    // No selection matches no key, not an empty record.
    if (!SelectedKeyItem)
        return -1;
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot)
        if (DeviceTable[slot].keyItem == SelectedKeyItem)
            return slot;
    return -1;
}

// The key the open PIN dialog was opened for: its slot and serial number as the tree was built. One
// PIN dialog is open at a time; the dialog is noted too, so another one never takes this key.
static struct {
    HWND dialog;
    int slot;
    unsigned char serial[KEY_SERIAL_SIZE];
} PinDialogKey;

void NotePinDialogKey(HWND dialog)
{
    ZeroMemory(&PinDialogKey, sizeof PinDialogKey);
    PinDialogKey.dialog = dialog;
    PinDialogKey.slot = FindSelectedSlot();
    if (PinDialogKey.slot >= 0)
        CopyMemory(PinDialogKey.serial, DeviceTable[PinDialogKey.slot].serial, sizeof PinDialogKey.serial);
}

// The noted slot while its key is still the one selected, else -1.
static int PinDialogSlot(HWND dialog)
{
    // A refresh under the dialog (a key arriving, an update message any program may send) selects the
    // first key: the PIN typed for one key must not be presented to another.
    if (PinDialogKey.dialog != dialog || PinDialogKey.slot < 0)
        return -1;
    return FindSelectedSlot() == PinDialogKey.slot ? PinDialogKey.slot : -1;
}

int VerifyDialogPin(HWND dialog, const unsigned char* pin, int length)
{
    int slot = PinDialogSlot(dialog);
    return slot < 0 ? PIN_NO_ANSWER : VerifyKeyPin(&KeyAccessHost, slot, PinDialogKey.serial, pin, length);
}

int ChangeDialogPin(HWND dialog, const unsigned char* change, int changeLength, const unsigned char* undo,
                    int undoLength)
{
    int slot = PinDialogSlot(dialog);
    return slot < 0 ? PIN_NO_ANSWER
                    : ChangeKeyPin(&KeyAccessHost, slot, PinDialogKey.serial, change, changeLength, undo, undoLength);
}

void ShowPinMessage(HWND dialog, const char* text, UINT style)
{
    MessageBoxA(dialog, text, MESSAGE_CAPTION, style);
}

PinOutcome ReportPinResult(HWND dialog, int result, const char* successText, const char* failureText)
{
    if (result == 0) {
        ShowPinMessage(dialog, successText, MB_OK | MB_ICONINFORMATION);
        return PIN_OUTCOME_DONE;
    }
    if (result == -1) {
        ShowPinMessage(dialog, TEXT_PIN_LOCKED, MB_OK | MB_ICONWARNING);
        return PIN_OUTCOME_LOCKED;
    }
    if (result == 1) {
        ShowPinMessage(dialog, TEXT_PIN_WRONG_LAST_TRY,
                       MB_OK | MB_ICONWARNING);
        return PIN_OUTCOME_RETRY;
    }
    if (result >= 2) {
        char text[PIN_WORK_BUFFER];
        ZeroMemory(text, sizeof text);
        TextAppendFormat(text, sizeof text, TEXT_PIN_WRONG_RETRIES, result);
        ShowPinMessage(dialog, text, MB_OK | MB_ICONWARNING);
        return PIN_OUTCOME_RETRY;
    }
    // Failed all the same, but the user must know that part of the key now wants the new PIN.
    ShowPinMessage(dialog, result == PIN_CHANGE_PARTIAL ? TEXT_CHANGE_PARTIAL : failureText, MB_OK | MB_ICONWARNING);
    return PIN_OUTCOME_FAILED;
}

int ReadPinBox(HWND dialog, int id, char* pin, size_t size)
{
    if (size == 0)
        return 0;
    ZeroMemory(pin, size);
    GetDlgItemTextA(dialog, id, pin, (int)(size < (size_t)PIN_READ_SIZE ? size : (size_t)PIN_READ_SIZE));
    pin[size - 1] = '\0';
    return (int)strlen(pin);
}

void ClearAndFocus(HWND dialog, int id)
{
    SetDlgItemTextA(dialog, id, "");
    SetFocus(GetDlgItem(dialog, id));
}
