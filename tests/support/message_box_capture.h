// Captures the program's own MessageBoxA calls in-process and answers each with OK.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct CapturedBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT style;
};

// While one exists, every MessageBoxA call of this executable (the code under test is linked into it)
// is recorded instead of shown.
class MessageBoxCapture {
public:
    MessageBoxCapture();
    ~MessageBoxCapture();
    MessageBoxCapture(const MessageBoxCapture&) = delete;
    MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

    std::vector<CapturedBox> boxes;
    // Runs while the box would be on screen (to look at state the caller holds then).
    std::function<void(const CapturedBox&)> whileShown;
};

// Replaces the import of function in dll by this executable; returns the previous address or NULL.
void* PatchImport(const char* dll, const char* function, void* replacement);
