// The PIN verification dialog.
#include "manager.h"

// The dialog arrives with its own change; the button does nothing until then.
INT_PTR OpenVerifyPinDialog(HWND)
{
    return 0;
}
