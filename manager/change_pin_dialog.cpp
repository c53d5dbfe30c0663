// The PIN change dialog: three boxes with their character rules, the strength meter, the change.
#include "manager.h"

#include "../common/bounded_text.h"
#include "pin_rules.h"


INT_PTR OpenChangePinDialog(HWND owner)
{
    return DialogBoxParamA(AppInstance, MAKEINTRESOURCEA(IDD_CHANGE_PIN), owner, ChangePinDlgProc, 0);
}

static const int PinBoxes[] = { IDC_CURRENT_PIN, IDC_NEW_PIN, IDC_CONFIRM_PIN };

static void SetMeter(HWND dialog, MeterLevel level)
{
    static const struct { int id; MeterLevel level; } parts[] = {
        { IDC_METER_LOW_BAR, METER_LOW },     { IDC_METER_MEDIUM_BAR, METER_MEDIUM },
        { IDC_METER_HIGH_BAR, METER_HIGH },   { IDC_METER_LOW_TEXT, METER_LOW },
        { IDC_METER_MEDIUM_TEXT, METER_MEDIUM }, { IDC_METER_HIGH_TEXT, METER_HIGH },
    };
    for (const auto& part : parts)
        ShowWindow(GetDlgItem(dialog, part.id), part.level == level ? SW_SHOWNORMAL : SW_HIDE);
}

static void OnInitDialog(HWND dialog)
{
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    SetFocus(GetDlgItem(dialog, IDC_CURRENT_PIN));
    for (int id : PinBoxes)
        SendDlgItemMessageA(dialog, id, EM_LIMITTEXT, PIN_BOX_LIMIT, 0);
    SetMeter(dialog, METER_NONE);
    NotePinDialogKey(dialog);
}

// OK is usable once all three boxes hold something.
static void UpdateOk(HWND dialog)
{
    int filled = 1;
    for (int id : PinBoxes)
        filled &= GetWindowTextLengthA(GetDlgItem(dialog, id)) > 0;
    EnableWindow(GetDlgItem(dialog, IDOK), filled);
}

// A box holding anything but digits and ASCII letters is refused and emptied; the new PIN's box
// also drives the meter.
static void OnBoxChanged(HWND dialog, int id)
{
    char pin[PIN_READ_SIZE];
    ReadPinBox(dialog, id, pin, sizeof pin);
    int acceptable = IsAlphanumericPin(pin);
    // Only the new PIN is rated: the current one has no business in the rating's buffers.
    MeterLevel level = id == IDC_NEW_PIN ? MeterLevelFor(pin) : METER_NONE;
    WipeBytes(pin, sizeof pin);
    if (!acceptable) {
        if (id == IDC_NEW_PIN)
            SetMeter(dialog, METER_NONE);
        ShowPinMessage(dialog, id == IDC_CURRENT_PIN ? TEXT_PIN_CHARACTERS_WRONG : TEXT_NEW_PIN_CHARACTERS_WRONG,
                       MB_OK | MB_ICONWARNING);
        ClearAndFocus(dialog, id);
        return;
    }
    if (id == IDC_NEW_PIN)
        SetMeter(dialog, level);
    UpdateOk(dialog);
}

static void ChangePin(HWND dialog)
{
    char current[PIN_READ_SIZE], fresh[PIN_READ_SIZE], confirmation[PIN_READ_SIZE];
    unsigned char changeData[PIN_WORK_BUFFER], undoData[PIN_WORK_BUFFER];
    ZeroMemory(changeData, sizeof changeData);
    ZeroMemory(undoData, sizeof undoData);
    ReadPinBox(dialog, IDC_CURRENT_PIN, current, sizeof current);
    ReadPinBox(dialog, IDC_NEW_PIN, fresh, sizeof fresh);
    ReadPinBox(dialog, IDC_CONFIRM_PIN, confirmation, sizeof confirmation);
    int mismatch = strcmp(fresh, confirmation) != 0;
    int length = BuildChangeData(current, fresh, changeData, sizeof changeData);
    int undoLength = BuildChangeData(fresh, current, undoData, sizeof undoData);
    WipeBytes(current, sizeof current);
    WipeBytes(fresh, sizeof fresh);
    WipeBytes(confirmation, sizeof confirmation);
    if (mismatch) {
        WipeBytes(changeData, sizeof changeData);
        WipeBytes(undoData, sizeof undoData);
        ShowPinMessage(dialog, TEXT_NEW_PINS_DIFFER, MB_OK | MB_ICONWARNING);
        ClearAndFocus(dialog, IDC_CONFIRM_PIN);
        return;
    }

    int result = length < 0 ? PIN_NO_ANSWER : ChangeDialogPin(dialog, changeData, length, undoData, undoLength);
    WipeBytes(changeData, sizeof changeData);
    WipeBytes(undoData, sizeof undoData);
    if (result != 0 && result != -1)
        SetMeter(dialog, METER_NONE);
    PinOutcome outcome = ReportPinResult(dialog, result, TEXT_CHANGE_SUCCEEDED, TEXT_CHANGE_FAILED);
    if (outcome == PIN_OUTCOME_DONE || outcome == PIN_OUTCOME_LOCKED) {
        EndDialog(dialog, IDOK);
        return;
    }
    // Wrong, failed, or a key gone from the table: the current PIN is asked for again.
    ClearAndFocus(dialog, IDC_CURRENT_PIN);
}

static void OnCommand(HWND dialog, int id, int notification)
{
    switch (id) {
    case IDC_CURRENT_PIN:
    case IDC_NEW_PIN:
    case IDC_CONFIRM_PIN:
        if (notification == EN_CHANGE)
            OnBoxChanged(dialog, id);
        break;
    case IDOK:
        ChangePin(dialog);
        break;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        break;
    }
}

INT_PTR CALLBACK ChangePinDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return FALSE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    }
    return FALSE;
}
