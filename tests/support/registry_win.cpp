#include "tests/support/registry_win.h"

#include <stdexcept>

#include "base/handle_win.h"

namespace sondrel::test {
namespace {
UniqueRegKey CreateKey(HKEY root, const std::string& key) {
  HKEY h = nullptr;
  if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot create registry key " + key);
  return UniqueRegKey(h);
}
}  // namespace

void WriteRegString(HKEY root, const std::string& key, const std::string& name, const std::string& value) {
  UniqueRegKey k = CreateKey(root, key);
  if (RegSetValueExA(k.get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1)) != ERROR_SUCCESS)
    throw std::runtime_error("cannot write registry value " + key + "\\" + name);
  RegFlushKey(k.get());
}

void WriteRegDword(HKEY root, const std::string& key, const std::string& name, DWORD value) {
  UniqueRegKey k = CreateKey(root, key);
  if (RegSetValueExA(k.get(), name.empty() ? nullptr : name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                     sizeof value) != ERROR_SUCCESS)
    throw std::runtime_error("cannot write registry value " + key + "\\" + name);
  RegFlushKey(k.get());
}

void DeleteRegTree(HKEY root, const std::string& key) {
  // RegDeleteTree is not in every system; delete the children first by hand.
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &h) != ERROR_SUCCESS) return;
  UniqueRegKey k(h);
  char name[256];
  for (;;) {
    DWORD len = sizeof name;
    if (RegEnumKeyExA(k.get(), 0, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    DeleteRegTree(k.get(), name);
  }
  k.reset();
  RegDeleteKeyA(root, key.c_str());
}

std::optional<std::string> ReadRegString(HKEY root, const std::string& key, const std::string& name) {
  HKEY h = nullptr;
  if (RegOpenKeyExA(root, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return std::nullopt;
  UniqueRegKey k(h);
  char buf[2048];
  DWORD size = sizeof buf - 1, type = 0;
  if (RegQueryValueExA(k.get(), name.empty() ? nullptr : name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf),
                       &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  buf[size] = 0;
  return std::string(buf);
}

}  // namespace sondrel::test
