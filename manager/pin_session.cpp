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

// Kept in the dialog's own user data: slot + 1, so 0 is no key.
void NotePinDialogSlot(HWND dialog)
{
    SetWindowLongPtrA(dialog, DWLP_USER, (LONG_PTR)(FindSelectedSlot() + 1));
}

int PinDialogSlot(HWND dialog)
{
    // A refresh under the dialog (a key arriving, an update message any program may send) selects the
    // first key: the PIN typed for one key must not be presented to another.
    int noted = (int)GetWindowLongPtrA(dialog, DWLP_USER) - 1;
    return noted >= 0 && FindSelectedSlot() == noted ? noted : -1;
}

int VerifySlotPin(int slot, const unsigned char* pin, int length)
{
    return VerifyKeyPin(&KeyAccessHost, slot, pin, length);
}

int ChangeSlotPin(int slot, const unsigned char* change, int changeLength, const unsigned char* undo, int undoLength)
{
    return ChangeKeyPin(&KeyAccessHost, slot, change, changeLength, undo, undoLength);
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
    ShowPinMessage(dialog, failureText, MB_OK | MB_ICONWARNING);
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
