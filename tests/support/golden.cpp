// Reading the golden files and filling in their placeholders.
#include "golden.h"

#include <gtest/gtest.h>

#include <map>

#include "win_harness.h"

std::string GoldenFile(const std::string& name)
{
    // Read once per test program: the fault sweeps ask for the same texts hundreds of times.
    static std::map<std::string, std::string> read;
    auto found = read.find(name);
    if (found == read.end()) {
        std::vector<unsigned char> bytes = ReadBytes(WindowsPath(KIT_SOURCE_DIR "/tests/golden/" + name));
        EXPECT_FALSE(bytes.empty()) << "no golden file " << name;
        found = read.emplace(name, std::string(bytes.begin(), bytes.end())).first;
    }
    return found->second;
}

std::string GoldenText(const std::string& list, const std::string& role)
{
    // Tab and line feed never occur inside a GBK character, so the lines split on them safely.
    const std::string file = GoldenFile(list), key = role + "\t";
    for (size_t line = 0; line < file.size(); line = file.find('\n', line) + 1) {
        size_t end = file.find('\n', line);
        if (file.compare(line, key.size(), key) == 0)
            return file.substr(line + key.size(), (end == std::string::npos ? file.size() : end) - line - key.size());
        if (end == std::string::npos)
            break;
    }
    ADD_FAILURE() << "no text for " << role << " in " << list;
    return "<no golden text for " + role + ">";
}

std::string FillIn(std::string text, const std::string& name, const std::string& value)
{
    const std::string placeholder = "{" + name + "}";
    for (size_t at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, at + value.size()))
        text.replace(at, placeholder.size(), value);
    return text;
}

static std::string FillInSecond(std::string text, const SYSTEMTIME& t)
{
    const std::pair<const char*, WORD> fields[] = { { "year", t.wYear },     { "month", t.wMonth },
                                                    { "day", t.wDay },       { "hour", t.wHour },
                                                    { "minute", t.wMinute }, { "second", t.wSecond } };
    for (const auto& field : fields)
        text = FillIn(text, field.first, std::to_string(field.second));
    return text;
}

std::string FillInTime(const std::string& golden, const std::string& actual, const SYSTEMTIME& from,
                       const SYSTEMTIME& to)
{
    FILETIME first, last;
    SystemTimeToFileTime(&from, &first);
    SystemTimeToFileTime(&to, &last);
    ULARGE_INTEGER at = { { first.dwLowDateTime, first.dwHighDateTime } };
    const ULARGE_INTEGER end = { { last.dwLowDateTime, last.dwHighDateTime } };
    at.QuadPart -= at.QuadPart % 10000000; // whole seconds, as the program prints them
    for (; at.QuadPart <= end.QuadPart; at.QuadPart += 10000000) {
        FILETIME time = { at.LowPart, at.HighPart };
        SYSTEMTIME second;
        FileTimeToSystemTime(&time, &second);
        if (FillInSecond(golden, second) == actual)
            return actual;
    }
    return FillInSecond(golden, from);
}
