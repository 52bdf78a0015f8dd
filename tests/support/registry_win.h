#pragma once
// Test helper: writes keys and values into the prefix's registry (HKCR, HKCU, HKLM).
#include <windows.h>

#include <optional>
#include <string>

namespace sondrel::test {

// Creates the key path as needed and sets a string value ("" names the key's default value).
void WriteRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value);
void WriteRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value);
// Removes a key with everything under it; no error when it is not there.
void DeleteRegTree(HKEY root, const std::string& key);
std::optional<std::string> ReadRegString(HKEY root, const std::string& key, const std::string& name);

}  // namespace sondrel::test
