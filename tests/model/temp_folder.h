#pragma once
// A fresh, empty folder per test under the system's temporary folder, with a trailing separator.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/file.h"

namespace sondrel::test {

inline char Separator() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

inline std::string TempRoot() {
#ifdef _WIN32
  const char* t = std::getenv("TEMP");
#else
  const char* t = std::getenv("TMPDIR");
#endif
  std::string base = t ? t : (Separator() == '/' ? "/tmp" : ".");
  if (base.back() != Separator()) base += Separator();
  return base;
}

// Removes whatever an earlier run left in the folder.
inline std::string FreshFolder(const std::string& name) {
  const std::string dir = TempRoot() + "sondrel-model-test" + Separator() + name + Separator();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  ForceDirectories(dir);
  return dir;
}

}  // namespace sondrel::test
