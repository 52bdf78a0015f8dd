#include "launch/browser_win.h"

#include "launch/launch_platform_win.h"
#include "launch/registry_win.h"

namespace sondrel {

std::string GetDefaultBrowser() {
  return DetectDefaultBrowser(Win32RegistryReader());
}

std::string GetIEVersion() {
  return ReadIEVersion(Win32RegistryReader());
}

bool IsIE7() {
  return IsIE7Version(GetIEVersion());
}

bool OpenInDefaultBrowser(const std::string& address) {
  Win32LaunchPlatform platform;
  return OpenInDefaultBrowserWith(Win32RegistryReader(), platform, address);
}

}  // namespace sondrel
