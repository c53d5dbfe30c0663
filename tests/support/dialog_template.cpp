// Parses DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items.
#include "dialog_template.h"

#include <string.h>

namespace {

struct Reader {
    const BYTE* base;
    size_t pos;
    size_t size;
    bool ok = true;

    template <typename T> T Get()
    {
        T value = T();
        if (pos + sizeof(T) > size) {
            ok = false;
            return value;
        }
        memcpy(&value, base + pos, sizeof(T));
        pos += sizeof(T);
        return value;
    }
    std::string Text()
    {
        std::wstring wide;
        for (;;) {
            WORD c = Get<WORD>();
            if (!ok || c == 0)
                break;
            wide += (wchar_t)c;
        }
        if (wide.empty())
            return "";
        char text[1024] = "";
        WideCharToMultiByte(936, 0, wide.c_str(), -1, text, sizeof text, NULL, NULL);
        return text;
    }
    // sz_Or_Ord: 0 (none), 0xFFFF and an ordinal, or a string.
    std::string TextOrOrdinal(bool* isOrdinal = nullptr, WORD* ordinal = nullptr)
    {
        WORD first = Get<WORD>();
        if (first == 0)
            return "";
        if (first == 0xFFFF) {
            WORD value = Get<WORD>();
            if (isOrdinal) *isOrdinal = true;
            if (ordinal) *ordinal = value;
            return "#" + std::to_string(value);
        }
        pos -= 2;
        return Text();
    }
    void AlignDword() { pos = (pos + 3) & ~(size_t)3; }
};

std::string ClassOfOrdinal(WORD ordinal)
{
    switch (ordinal) {
    case 0x80: return "Button";
    case 0x81: return "Edit";
    case 0x82: return "Static";
    case 0x83: return "ListBox";
    case 0x84: return "ScrollBar";
    case 0x85: return "ComboBox";
    }
    return "#" + std::to_string(ordinal);
}

} // namespace

DialogTemplate LoadDialogTemplate(HMODULE module, int id)
{
    DialogTemplate dialog;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), (LPCSTR)RT_DIALOG);
    if (!resource)
        return dialog;
    HGLOBAL loaded = LoadResource(module, resource);
    Reader r = { (const BYTE*)LockResource(loaded), 0, SizeofResource(module, resource) };
    if (r.Get<WORD>() != 1 || r.Get<WORD>() != 0xFFFF)
        return dialog;
    r.Get<DWORD>(); // help id
    dialog.exStyle = r.Get<DWORD>();
    dialog.style = r.Get<DWORD>();
    WORD count = r.Get<WORD>();
    dialog.x = r.Get<short>();
    dialog.y = r.Get<short>();
    dialog.cx = r.Get<short>();
    dialog.cy = r.Get<short>();
    dialog.menu = r.TextOrOrdinal();
    dialog.className = r.TextOrOrdinal();
    dialog.title = r.Text();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = r.Get<WORD>();
        dialog.weight = r.Get<WORD>();
        dialog.italic = r.Get<BYTE>();
        dialog.charset = r.Get<BYTE>();
        dialog.font = r.Text();
    }
    for (int i = 0; i < count && r.ok; ++i) {
        r.AlignDword();
        TemplateControl c;
        r.Get<DWORD>(); // help id
        c.exStyle = r.Get<DWORD>();
        c.style = r.Get<DWORD>();
        c.x = r.Get<short>();
        c.y = r.Get<short>();
        c.cx = r.Get<short>();
        c.cy = r.Get<short>();
        c.id = (int)r.Get<DWORD>();
        bool classIsOrdinal = false;
        WORD classOrdinal = 0;
        std::string className = r.TextOrOrdinal(&classIsOrdinal, &classOrdinal);
        c.className = classIsOrdinal ? ClassOfOrdinal(classOrdinal) : className;
        c.text = r.TextOrOrdinal();
        WORD extra = r.Get<WORD>();
        r.pos += extra;
        dialog.controls.push_back(c);
    }
    dialog.found = r.ok;
    return dialog;
}
