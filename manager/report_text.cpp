// Builds the device information report: version line, current time, heading, device text.
#include "report_text.h"

#include "bounded_text.h"
#include "texts.h"

enum { PLATFORM_WINDOWS = 1, PLATFORM_NT = 2 };

int ClassifyVersionNumbers(unsigned platformId, unsigned major, unsigned minor)
{
    if (platformId == PLATFORM_WINDOWS) {
        // Only the minor version tells the old consumer systems apart.
        switch (minor) {
        case 0: return 2;
        case 10: return 3;
        case 90: return 4;
        }
        return 0;
    }
    if (platformId != PLATFORM_NT)
        return 0;
    switch (major) {
    case 3: return 1;
    case 4: return 5;
    case 5:
        if (minor <= 2)
            return 6 + (int)minor;
        return 0;
    case 6:
        if (minor == 0) return 9;
        if (minor == 1) return 10;
        return 11;
    }
    return 0;
}

const char* VersionLine(int versionClass)
{
    switch (versionClass) {
    case 6: return REPORT_VERSION_2000;
    case 7: return REPORT_VERSION_XP;
    case 8: return REPORT_VERSION_2003;
    case 9: return REPORT_VERSION_VISTA;
    case 10: return REPORT_VERSION_7;
    case 11: return REPORT_VERSION_8;
    }
    return REPORT_VERSION_UNKNOWN;
}

void BuildReportText(char* text, size_t size, int versionClass, const ReportDate* now, const char* deviceText)
{
    TextCopy(text, size, VersionLine(versionClass));
    AppendReportDate(text, size, REPORT_TIME, now);
    TextAppend(text, size, REPORT_HEADING);
    TextAppend(text, size, deviceText);
}

void AppendSavedNotice(char* text, size_t size)
{
    TextAppend(text, size, REPORT_SAVED_NOTICE);
}
