// The PIN verification dialog: the PIN box, its checks, and the verification against the key.
#include "manager.h"

#include "../common/bounded_text.h"
#include "pin_rules.h"


INT_PTR OpenVerifyPinDialog(HWND owner)
{
    return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_VERIFY_PIN), owner, VerifyPinDlgProc, 0);
}

static void OnInitDialog(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    SetFocus(GetDlgItem(dialog, IDC_PIN_BOX));
    SendDlgItemMessageA(dialog, IDC_PIN_BOX, EM_LIMITTEXT, PIN_BOX_LIMIT, 0);
    InitOnScreenKeyboard(dialog);
    NotePinDialogKey(dialog);
}

static void OnPinBoxChanged(HWND dialog)
{
    char pin[PIN_READ_SIZE];
    int length = ReadPinBox(dialog, IDC_PIN_BOX, pin, sizeof pin);
    int acceptable = IsVerifiablePin(pin);
    WipeBytes(pin, sizeof pin);
    if (!acceptable) {
        // The text stays in the box and OK keeps its state.
        ShowPinMessage(dialog, TEXT_PIN_CHARACTERS_WRONG, MB_OK | MB_ICONWARNING);
        SetFocus(GetDlgItem(dialog, IDC_PIN_BOX));
        return;
    }
    EnableWindow(GetDlgItem(dialog, IDOK), length >= PIN_MIN_TO_VERIFY);
}

void VerifyPin(HWND dialog, int controlId)
{
    char pin[PIN_VERIFY_BUFFER];
    int length = ReadPinBox(dialog, IDC_PIN_BOX, pin, sizeof pin);
    const char* refusal = NULL;
    if (length == 0)
        refusal = TEXT_PIN_LENGTH_WRONG;
    else if (!IsVerifiablePin(pin))
        refusal = TEXT_PIN_CHARACTERS_WRONG;
    if (refusal) {
        WipeBytes(pin, sizeof pin);
        ShowPinMessage(dialog, refusal, MB_OK | MB_ICONWARNING);
        SetFocus(GetDlgItem(dialog, IDC_PIN_BOX));
        return;
    }

    int result = VerifyDialogPin(dialog, (const unsigned char*)pin, length);
    WipeBytes(pin, sizeof pin);
    if (ReportPinResult(dialog, result, TEXT_VERIFY_SUCCEEDED, TEXT_VERIFY_FAILED) == PIN_OUTCOME_DONE) {
        EndDialog(dialog, controlId);
        return;
    }
    ClearAndFocus(dialog, IDC_PIN_BOX);
}

static void OnCommand(HWND dialog, int id, int notification)
{
    switch (id) {
    case IDC_PIN_BOX:
        if (notification == EN_CHANGE)
            OnPinBoxChanged(dialog);
        break;
    case IDOK:
    case KEY_ENTER:
        VerifyPin(dialog, id);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    default:
        OnScreenKeyPressed(dialog, id);
        break;
    }
}

INT_PTR CALLBACK VerifyPinDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        // The focus is set by hand, so the procedure returns FALSE here too.
        OnInitDialog(dialog);
        return FALSE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    case WM_DESTROY:
        FreeOnScreenKeyboard(dialog);
        return FALSE;
    }
    return FALSE;
}
