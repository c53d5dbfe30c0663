// The PIN change dialog.
#include "manager.h"

// The dialog arrives with its own change; the button does nothing until then.
INT_PTR OpenChangePinDialog(HWND)
{
    return 0;
}
