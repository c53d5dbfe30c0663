// Reading the device interface path out of a WM_DEVICECHANGE broadcast record.
// Portable: no windows.h.
#pragma once

#include <stddef.h>

enum {
    DEVICE_TYPE_INTERFACE = 5,     // DBT_DEVTYP_DEVICEINTERFACE
    DEVICE_RECORD_NAME_OFFSET = 28 // size, type, reserved, class GUID, then the name
};

// Copies the interface path of a device-interface broadcast record into name (at most size bytes with
// the NUL). The record's own size field bounds every read. Returns 1 when the record is a device
// interface record with a complete name that fits, 0 otherwise (name is then empty).
int ReadDeviceInterfaceName(const void* record, char* name, size_t size);
