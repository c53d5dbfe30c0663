// The text of the device information report. Portable: no windows.h.
#pragma once

#include <stddef.h>

#include "key_layout.h"

// Windows version class from the version numbers (0 when none of the known rows matches).
int ClassifyVersionNumbers(unsigned platformId, unsigned major, unsigned minor);
// The report's first line for a version class.
const char* VersionLine(int versionClass);

// The version line, the time line, the heading and the device text, within size.
void BuildReportText(char* text, size_t size, int versionClass, const ReportDate* now, const char* deviceText);
// The notice that the report was saved, appended within size.
void AppendSavedNotice(char* text, size_t size);
