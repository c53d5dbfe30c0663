// The device information report: written to c:\KeyInfo.txt and shown in a message box.
#include "manager.h"

#include <stdio.h>
#include <string.h>

#include "report_text.h"

const char* ReportFilePath = "c:\\KeyInfo.txt";

int ClassifyWindowsVersion(void)
{
    OSVERSIONINFOA version;
    ZeroMemory(&version, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return 0;
    return ClassifyVersionNumbers(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
}

// Room for the whole device text, the lines before it and the saved notice.
static char FullReport[REPORT_TEXT_SIZE + 512];

void WriteDeviceReport(HWND)
{
    SYSTEMTIME time;
    GetLocalTime(&time);
    ReportDate now = { time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond };
    BuildReportText(FullReport, sizeof FullReport, ClassifyWindowsVersion(), &now, ReportText);

    // Text mode: every line feed reaches the file as carriage return and line feed.
    FILE* file = fopen(ReportFilePath, "w");
    if (file) {
        fwrite(FullReport, 1, strlen(FullReport), file);
        fclose(file);
        AppendSavedNotice(FullReport, sizeof FullReport);
    }
    MessageBoxA(NULL, FullReport, REPORT_CAPTION, MB_OK | MB_ICONINFORMATION);
}
