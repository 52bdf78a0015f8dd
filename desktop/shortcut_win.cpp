#include "desktop/shortcut_win.h"

#include <windows.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <vector>

#include "base/handle_win.h"
#include "base/ole_win.h"
#include "base/shell_folder_win.h"
#include "desktop/shortcut.h"

namespace sondrel {
namespace {

std::wstring Widen(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<size_t>(n > 0 ? n : 1), L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n);
  return wide.data();
}

}  // namespace

ShortcutOutcome CreateShortcut(const std::string& targetPath, const std::string& linkName, const std::string& where) {
  InitializeComForThread();
  IShellLinkA* raw_link = nullptr;
  OleCheck(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                            reinterpret_cast<void**>(&raw_link)),
           "Creating the shell link object");
  ComPtr<IShellLinkA> link(raw_link);
  IPersistFile* raw_file = nullptr;
  OleCheck(link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&raw_file)),
           "IShellLinkA.QueryInterface(IPersistFile)");
  ComPtr<IPersistFile> file(raw_file);

  // What the link records is not examined: a target the shell does not like still gets saved as
  // given, and the save's result says whether the file exists.
  link.get()->SetPath(targetPath.c_str());
  link.get()->SetWorkingDirectory(ShortcutWorkingFolder(targetPath).c_str());

  // Only the folder of the chosen place is asked for.
  const bool desktop = where == kWhereDesktop;
  const std::string folder = GetSpecialFolder(desktop ? CSIDL_DESKTOPDIRECTORY : CSIDL_APPDATA);
  ShortcutOutcome outcome;
  auto path = ShortcutFilePath(where, desktop ? folder : "", desktop ? "" : folder, linkName);
  if (!path) return outcome;
  outcome.path = *path;
  outcome.saved = SUCCEEDED(file.get()->Save(Widen(*path).c_str(), FALSE));
  return outcome;
}

}  // namespace sondrel
