// Decodes the key's device information file and container directories, and builds the report lines.
#include "key_layout.h"

#include <string.h>

#include "bounded_text.h"
#include "texts.h"

static unsigned ReadLe32(const unsigned char* p)
{
    return (unsigned)p[0] | (unsigned)p[1] << 8 | (unsigned)p[2] << 16 | (unsigned)p[3] << 24;
}

// A 32-bit field wholly inside the buffer; anything past the end reads as 0.
static unsigned FieldAt(const unsigned char* bytes, size_t size, size_t offset)
{
    return offset + 4 <= size ? ReadLe32(bytes + offset) : 0;
}

int FormatHexUpper(const unsigned char* bytes, char* output, int count)
{
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        output[2 * i] = digits[bytes[i] >> 4];
        output[2 * i + 1] = digits[bytes[i] & 0x0F];
    }
    output[2 * count] = '\0';
    return 2 * count;
}

void ReadKeyLabel(const unsigned char* deviceInfo, size_t infoSize, char* label, size_t labelSize)
{
    if (labelSize == 0)
        return;
    label[0] = '\0';
    size_t field = infoSize < (size_t)KEY_LABEL_FIELD ? infoSize : (size_t)KEY_LABEL_FIELD;
    TextAppendBytes(label, labelSize, (const char*)deviceInfo, field);
}

int ApplicationListed(const unsigned char* deviceInfo, size_t infoSize, int applicationIndex)
{
    if (applicationIndex < 0 || applicationIndex >= APPLICATION_COUNT)
        return 0;
    return FieldAt(deviceInfo, infoSize, ApplicationEntryOffset(applicationIndex)) != 0;
}

ContainerState ReadContainerState(const unsigned char* directory, size_t directorySize, int container)
{
    ContainerState state = { 0, 0, 0 };
    if (container < 0 || container >= CONTAINERS_PER_APPLICATION)
        return state;
    size_t base = ContainerEntryOffset(container);
    state.inUse = base + CONTAINER_IN_USE_BYTE < directorySize && directory[base + CONTAINER_IN_USE_BYTE] != 0;
    if (state.inUse) {
        state.hasEncryption = FieldAt(directory, directorySize, base + CONTAINER_ENCRYPTION_FIELD) != 0;
        state.hasSignature = FieldAt(directory, directorySize, base + CONTAINER_SIGNATURE_FIELD) != 0;
    }
    return state;
}

void FormatSerialHex(const unsigned char* serialLsbFirst, size_t count, char* text, size_t size)
{
    if (size == 0)
        return;
    memset(text, 0, size);
    size_t fits = (size - 1) / 2;
    size_t taken = 0;
    for (size_t i = count; i > 0 && taken < fits; --i, ++taken)
        FormatHexUpper(serialLsbFirst + i - 1, text + 2 * taken, 1);
}

// A name, its value and the line's ending.
static void AppendField(char* report, size_t size, const char* name, const char* value, const char* ending)
{
    TextAppend(report, size, name);
    TextAppend(report, size, value);
    TextAppend(report, size, ending);
}

void AppendKeyReportLines(char* report, size_t size, const char* serialText)
{
    TextAppend(report, size, REPORT_DEVICE_NAME_LINE);
    AppendField(report, size, REPORT_DEVICE_SERIAL, serialText, "\n");
}

void AppendLabelReportLine(char* report, size_t size, const char* label)
{
    AppendField(report, size, REPORT_DEVICE_LABEL, label, "\n\n");
}

void AppendSubjectReportLine(char* report, size_t size, const char* subject, int encryption)
{
    AppendField(report, size, REPORT_CERT_SUBJECT, subject, encryption ? REPORT_CERT_ENCRYPTION : REPORT_CERT_SIGNATURE);
    TextAppend(report, size, "\n");
}

void AppendIssuerReportLine(char* report, size_t size, const char* issuer)
{
    AppendField(report, size, REPORT_CERT_ISSUER, issuer, "\n");
}

void AppendSerialReportLine(char* report, size_t size, const char* serialDecimal)
{
    AppendField(report, size, REPORT_CERT_SERIAL, serialDecimal, "\n");
}

void AppendReportDate(char* report, size_t size, const char* name, const ReportDate* date)
{
    TextAppendFormat(report, size, REPORT_DATE_FORMAT, name, date->year, date->month, date->day,
                     date->hour, date->minute, date->second);
}

void AppendValidityReportLines(char* report, size_t size, const ReportDate* start, const ReportDate* end)
{
    AppendReportDate(report, size, REPORT_CERT_VALID_FROM, start);
    TextAppend(report, size, "\n");
    AppendReportDate(report, size, REPORT_CERT_VALID_TO, end);
    TextAppend(report, size, "\n\n");
}
