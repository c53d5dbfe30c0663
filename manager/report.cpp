// The device information report written to c:\KeyInfo.txt.
#include "manager.h"

// Writing the report arrives with the certificate listing that fills ReportText.
void WriteDeviceReport(HWND)
{
}
