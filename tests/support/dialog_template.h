// Reads an extended dialog template from the resources, so tests can compare it with its table.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct TemplateControl {
    int id;
    std::string className;   // "Button", "Static", "Edit", ... or the class text
    DWORD style;
    DWORD exStyle;
    int x, y, cx, cy;
    std::string text;        // GBK; "#102" for a resource ordinal
};

struct DialogTemplate {
    bool found = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, className, title;  // GBK
    int pointSize = 0, weight = 0, italic = 0, charset = 0;
    std::string font;
    std::vector<TemplateControl> controls;
};

DialogTemplate LoadDialogTemplate(HMODULE module, int id);
