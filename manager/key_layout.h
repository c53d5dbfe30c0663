// What the key's files mean: the device information file, the container directories, and the
// report lines built from them. Portable: no windows.h.
#pragma once

#include <stddef.h>

#include "key_files.h"

enum {
    KEY_ITEM_TEXT_LIMIT = 80,    // 79 bytes and the NUL
    CERT_ITEM_TEXT_LIMIT = 180,  // 179 bytes and the NUL
    CERT_NAME_SIZE = 256,
    SERIAL_HEX_SIZE = 256,
    SERIAL_DECIMAL_SIZE = 512
};

// Upper bounds of the report text: the key lines, and one certificate block with the longest names,
// serial number and dates the fields above allow.
enum {
    REPORT_KEY_LINES_MAX = 32 + 32 + 16 + KEY_LABEL_FIELD,
    REPORT_CERT_BLOCK_MAX = 16 + 2 * CERT_NAME_SIZE + 16 + SERIAL_DECIMAL_SIZE + 2 * 80 + 8,
    REPORT_TEXT_LIMIT = 4 * (REPORT_KEY_LINES_MAX + 8 * REPORT_CERT_BLOCK_MAX) + 1
};

// A date and time of day as the report prints it.
struct ReportDate {
    int year, month, day, hour, minute, second;
};

// Two upper-case hexadecimal digits per byte, high nibble first, then a NUL. Returns 2 * count.
int FormatHexUpper(const unsigned char* bytes, char* output, int count);

// The volume label of a device information file: at most 63 bytes, cut on a GBK character boundary
// when the file holds no NUL within the label field.
void ReadKeyLabel(const unsigned char* deviceInfo, size_t infoSize, char* label, size_t labelSize);

// Whether the device information file lists application index i (0 or 1).
int ApplicationListed(const unsigned char* deviceInfo, size_t infoSize, int applicationIndex);

// Container j (0 or 1) of a container directory: whether it is in use and which certificates it holds.
// Indicators of a container not in use count as 0.
struct ContainerState {
    int inUse;
    int hasEncryption;
    int hasSignature;
};
ContainerState ReadContainerState(const unsigned char* directory, size_t directorySize, int container);

// The serial number as the report shows it in hexadecimal: bytes stored least significant first
// are written most significant first, two digits each. At most (size - 1) / 2 bytes are taken, the
// most significant ones.
void FormatSerialHex(const unsigned char* serialLsbFirst, size_t count, char* text, size_t size);

// Report lines, appended within size.
void AppendKeyReportLines(char* report, size_t size, const char* serialText);
void AppendLabelReportLine(char* report, size_t size, const char* label);
void AppendSubjectReportLine(char* report, size_t size, const char* subject, int encryption);
void AppendIssuerReportLine(char* report, size_t size, const char* issuer);
void AppendSerialReportLine(char* report, size_t size, const char* serialDecimal);
// The name and the date with REPORT_DATE_FORMAT, in one piece.
void AppendReportDate(char* report, size_t size, const char* name, const ReportDate* date);
void AppendValidityReportLines(char* report, size_t size, const ReportDate* start, const ReportDate* end);
