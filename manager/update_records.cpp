// Certificate update records that another program leaves for the main window.
#include "manager.h"

// Applying a record to DeviceTable arrives with the certificate listing; the record is ignored for now.
int ApplyCertificateUpdate(HWND, const unsigned char*, int)
{
    return 0;
}
