#include "launch/launch_platform_win.h"

#include <windows.h>
#include <shellapi.h>

#include "base/file.h"
#include "launch/registry_win.h"

namespace sondrel {

std::string Win32LaunchPlatform::IEVersion() {
  return ReadIEVersion(Win32RegistryReader());
}

std::string Win32LaunchPlatform::ProgramFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  return ExtractFilePath(path);
}

void Win32LaunchPlatform::WriteTextFile(const std::string& path, std::string_view text) {
  WriteFileAtomic(path, text);
}

void Win32LaunchPlatform::ShellOpen(const std::string& file, const std::string& parameters) {
  ShellExecuteA(nullptr, "open", file.c_str(), parameters.c_str(), nullptr, SW_SHOW);
}

void Win32LaunchPlatform::Wait(unsigned milliseconds) {
  Sleep(milliseconds);
}

IndexDraw Win32LaunchPlatform::NewDraw() {
  return ClockSeededDraw();
}

void RunSearch(SearchForm& form, TSearchManager& manager, const std::string& default_browser) {
  Win32LaunchPlatform platform;
  RunSearch(form, manager, default_browser, platform);
}

}  // namespace sondrel
