#include "desktop/help_win.h"

#include "base/file.h"
#include "desktop/help.h"
#include "launch/registry_win.h"

namespace sondrel {
namespace {

constexpr UINT kDisplayTopic = 0x0000;  // HH_DISPLAY_TOPIC
constexpr UINT kCloseAll = 0x0012;      // HH_CLOSE_ALL

template <class Fn>
Fn Resolve(HMODULE library, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

}  // namespace

void THtmlHelp::Load(const RegistryReader& registry) {
  if (library_) return;
  const std::string path = HtmlHelpLibraryPath(registry, [](const std::string& p) { return FileExists(p); });
  if (path.empty()) return;
  library_.reset(LoadLibraryA(path.c_str()));
  if (!library_) return;
  HtmlHelpA_ = Resolve<HtmlHelpAFn>(library_.get(), "HtmlHelpA");
  HtmlHelpW_ = Resolve<HtmlHelpWFn>(library_.get(), "HtmlHelpW");
}

void THtmlHelp::Load() { Load(Win32RegistryReader()); }

void THtmlHelp::Free() noexcept {
  if (!library_) return;
  // The viewer's windows run on this thread with the library's code: once it is unmapped, one more
  // message to them would run nowhere.
  if (HtmlHelpA_) HtmlHelpA_(nullptr, nullptr, kCloseAll, 0);
  HtmlHelpA_ = nullptr;
  HtmlHelpW_ = nullptr;
  library_.reset();
}

void THtmlHelp::DisplayTopic(const std::string& help_file) const {
  if (HtmlHelpA_) HtmlHelpA_(GetDesktopWindow(), help_file.c_str(), kDisplayTopic, 0);
}

}  // namespace sondrel
