#pragma once
// The HTML Help library, found through its COM registration, kept loaded from start-up to the end of
// the program, and the help call that opens the program's help file.
#include <windows.h>

#include <string>

#include "base/handle_win.h"
#include "launch/default_browser.h"

namespace sondrel {

class THtmlHelp {
 public:
  THtmlHelp() = default;
  ~THtmlHelp() { Free(); }
  THtmlHelp(const THtmlHelp&) = delete;
  THtmlHelp& operator=(const THtmlHelp&) = delete;

  // Loads the library the registration names and resolves "HtmlHelpA" and "HtmlHelpW", unless one is
  // loaded already. Nothing is loaded, and nothing is reported, when the registration or its file is
  // missing or the library does not load.
  void Load(const RegistryReader& registry);
  // The same with the system registry.
  void Load();
  // Closes the help windows the library opened for this program and frees it; the handle and the
  // entry points are cleared.
  void Free() noexcept;

  bool Loaded() const { return static_cast<bool>(library_); }
  HMODULE Library() const { return library_.get(); }

  // Opens the file's default topic (HH_DISPLAY_TOPIC) with the desktop window as caller. The result is
  // not examined: a missing file is the viewer's to report. Does nothing when no library is loaded or
  // it lacks "HtmlHelpA".
  void DisplayTopic(const std::string& help_file) const;

 private:
  using HtmlHelpAFn = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);
  using HtmlHelpWFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
  UniqueModule library_;
  HtmlHelpAFn HtmlHelpA_ = nullptr;
  HtmlHelpWFn HtmlHelpW_ = nullptr;
};

}  // namespace sondrel
