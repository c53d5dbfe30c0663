// Reading the golden files and filling in their placeholders.
#include "win_harness.h"

#include <gtest/gtest.h>

std::string GoldenFile(const std::string& name)
{
    std::vector<unsigned char> bytes = ReadBytes(WindowsPath(KIT_SOURCE_DIR "/tests/golden/" + name));
    return std::string(bytes.begin(), bytes.end());
}

std::string GoldenText(const std::string& list, const std::string& role)
{
    // Tab and line feed never occur inside a GBK character.
    const std::string file = "\n" + GoldenFile(list), key = "\n" + role + "\t";
    size_t at = file.find(key);
    EXPECT_NE(at, std::string::npos) << "no text for " << role << " in " << list;
    return at == std::string::npos ? "" : file.substr(at + key.size(), file.find('\n', at + 1) - at - key.size());
}

std::string FillIn(std::string text, const std::string& name, const std::string& value)
{
    for (size_t at; (at = text.find("{" + name + "}")) != std::string::npos;)
        text.replace(at, name.size() + 2, value);
    return text;
}

std::string FillInNumbers(std::string golden, const std::string& actual)
{
    for (size_t at; (at = golden.find("{n}")) != std::string::npos && at < actual.size();)
        golden.replace(at, 3, actual.substr(at, actual.find_first_not_of("0123456789", at) - at));
    return golden;
}
