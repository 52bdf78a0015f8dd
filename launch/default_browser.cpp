#include "launch/default_browser.h"

#include "base/text.h"

namespace sondrel {

std::string BrowserPathFromCommand(std::string_view command) {
  std::string lower = LowerCase(command);
  const size_t exe = lower.find(".exe");
  // Without ".exe" there is no program to cut out; returning ".exe" alone would only make every
  // search try to start a file of that name.
  if (exe == std::string::npos) return {};
  lower.resize(exe + 4);
  return ReplaceAll(std::move(lower), "\"", "");
}

std::string DetectDefaultBrowser(const RegistryReader& registry) {
  if (std::optional<std::string> prog_id =
          registry.ReadString(RegistryRoot::CurrentUser, kUserChoiceKey, "ProgId");
      prog_id && !prog_id->empty()) {
    const std::optional<std::string> command =
        registry.ReadString(RegistryRoot::ClassesRoot, *prog_id + "\\shell\\open\\command", "");
    // A choice whose class has lost its command (the browser was removed) says nothing usable; the
    // class key below may still name a working browser.
    if (command) {
      if (std::string path = BrowserPathFromCommand(*command); !path.empty()) return path;
    }
  }
  return BrowserPathFromCommand(
      registry.ReadString(RegistryRoot::ClassesRoot, kHttpOpenCommandKey, "").value_or(""));
}

std::string ReadIEVersion(const RegistryReader& registry) {
  return registry.ReadString(RegistryRoot::LocalMachine, kInternetExplorerKey, "Version").value_or("");
}

bool IsIE7Version(std::string_view version) {
  return !version.empty() && version.front() == '7';
}

bool IsInternetExplorer(std::string_view browser_path) {
  return browser_path.find("iexplore") != std::string_view::npos;
}

}  // namespace sondrel
