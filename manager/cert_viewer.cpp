// Shows a certificate stored in DeviceTable in the system certificate dialog.
#include "manager.h"

// The viewer arrives with the certificate listing; until then no certificate item exists to show.
void ShowCertificateDialog(HWND, HTREEITEM)
{
}

void OnTreeDoubleClick(HWND)
{
}
