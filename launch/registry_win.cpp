#include "launch/registry_win.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/handle_win.h"

namespace sondrel {
namespace {

HKEY RootKey(RegistryRoot root) {
  switch (root) {
    case RegistryRoot::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RegistryRoot::CurrentUser:
      return HKEY_CURRENT_USER;
    case RegistryRoot::LocalMachine:
      return HKEY_LOCAL_MACHINE;
  }
  return HKEY_CLASSES_ROOT;
}

std::string ExpandEnvironment(const std::string& text) {
  DWORD size = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (size == 0) return text;
  std::string out(size, '\0');
  size = ExpandEnvironmentStringsA(text.c_str(), out.data(), size);
  if (size == 0 || size > out.size()) return text;
  out.resize(size - 1);
  return out;
}

}  // namespace

std::optional<std::string> Win32RegistryReader::ReadString(RegistryRoot root, const std::string& key,
                                                           const std::string& name) const {
  HKEY h = nullptr;
  if (RegOpenKeyExA(RootKey(root), key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS) return std::nullopt;
  UniqueRegKey k(h);
  const char* value_name = name.empty() ? nullptr : name.c_str();
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(k.get(), value_name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  // The value may grow between the two queries; one retry with the new size covers that.
  std::vector<char> buf;
  LONG rc = ERROR_MORE_DATA;
  for (int attempt = 0; attempt < 2 && rc == ERROR_MORE_DATA; ++attempt) {
    buf.assign(size + 1, '\0');
    rc = RegQueryValueExA(k.get(), value_name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size);
  }
  if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
  // A stored string may or may not include its terminating zero.
  std::string text(buf.data(), std::min<size_t>(size, buf.size()));
  if (size_t zero = text.find('\0'); zero != std::string::npos) text.resize(zero);
  return type == REG_EXPAND_SZ ? ExpandEnvironment(text) : text;
}

}  // namespace sondrel
