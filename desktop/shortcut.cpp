#include "desktop/shortcut.h"

#include "base/file.h"

namespace sondrel {

std::optional<std::string> ShortcutFilePath(std::string_view where, const std::string& desktop_folder,
                                            const std::string& appdata_folder, std::string_view link_name) {
  std::string path;
  if (where == kWhereDesktop) {
    if (desktop_folder.empty()) return std::nullopt;
    path = desktop_folder + "\\";
  } else if (where == kWhereQuickLaunch) {
    if (appdata_folder.empty()) return std::nullopt;
    path = appdata_folder + kQuickLaunchSubfolder;
  } else {
    return std::nullopt;
  }
  path.append(link_name).append(".lnk");
  // The shell would cut or refuse a longer path; saying so beats writing somewhere unexpected.
  if (path.size() > kMaxShortcutPath) return std::nullopt;
  return path;
}

std::string ShortcutWorkingFolder(std::string_view target_path) { return ExtractFilePath(target_path); }

}  // namespace sondrel
