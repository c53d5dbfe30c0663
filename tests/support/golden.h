// What the key holder reads, as tests/golden/ holds it: a copy kept apart from the programs' own
// texts, so a text changed in a program's header fails the test that shows it.
#pragma once

#include <windows.h>

#include <string>

// The bytes of tests/golden/NAME.
std::string GoldenFile(const std::string& name);
// The text of role in a golden list ("role<TAB>text" lines); a role not there fails the test.
std::string GoldenText(const std::string& list, const std::string& role);
inline std::string ManagerText(const std::string& role) { return GoldenText("manager-boxes.txt", role); }
inline std::string SetupText(const std::string& role) { return GoldenText("setup-boxes.txt", role); }
inline std::string UninstallText(const std::string& role) { return GoldenText("uninstall-boxes.txt", role); }

// text with every "{name}" replaced by value.
std::string FillIn(std::string text, const std::string& name, const std::string& value);
// golden with its {year} ... {second} filled in with the second from `from` to `to` that gives
// actual, or with `from` when none does (so a difference shows in the failure).
std::string FillInTime(const std::string& golden, const std::string& actual, const SYSTEMTIME& from,
                       const SYSTEMTIME& to);
