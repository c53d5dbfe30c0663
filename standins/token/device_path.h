// Device interface paths of virtual keys, as the notifications carry them. Portable: no windows.h.
#pragma once

#include <stddef.h>
#include <stdint.h>

// What marks a key of this system in a device interface path (compared without regard to case).
#define KEY_DEVICE_ID "VID_5E2B&PID_0001"
#define USB_INTERFACE_CLASS_TEXT "{a5dcbf10-6530-11d2-901f-00c04fb951ed}"

// "\\?\USB#VID_5E2B&PID_0001#<serial as 8 hex digits>#{a5dcbf10-...}"; 0, or -1 when it does not fit.
int FormatKeyDevicePath(uint32_t serial, char* path, size_t size);

// 1 when path names a key of this system, 0 otherwise (also for null).
int IsKeyDevicePath(const char* path);
