// key.ini, the human-readable description of one virtual key: reading it (untrusted text) and writing it.
// Portable: no windows.h.
#pragma once

#include <stddef.h>

#include "key_model.h"

// Parses length bytes of text. 0 on success; -1 with a one-line reason in error (e.g.
// "line 7: unknown name 'retrys_left'") when the text is not a complete, consistent description.
int ParseKeyIni(const char* text, size_t length, KeyDescription* key, char* error, size_t errorSize);

// Writes the description as key.ini text with its NUL; the text's length, or -1 when size is too small.
int FormatKeyIni(const KeyDescription* key, char* text, size_t size);
