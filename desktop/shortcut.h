#pragma once
// Where a program shortcut goes and what it records, apart from the shell objects that write it.
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// The two places a shortcut can go; CreateShortcut's `where` text, compared exactly.
inline constexpr char kWhereDesktop[] = "DESKTOP";
inline constexpr char kWhereQuickLaunch[] = "QUICKLAUNCH";
// Below the user's application-data folder.
inline constexpr char kQuickLaunchSubfolder[] = "\\Microsoft\\Internet Explorer\\Quick Launch\\";
// The longest shortcut file path the shell can save (the platform's path limit, without its zero).
inline constexpr size_t kMaxShortcutPath = 259;

// The shortcut file's full path: the desktop folder, "\", name and ".lnk" for kWhereDesktop; the
// application-data folder, the Quick Launch subfolder, name and ".lnk" for kWhereQuickLaunch.
// nullopt for any other `where`, for a folder the shell did not name (empty), and for a path longer
// than kMaxShortcutPath.
std::optional<std::string> ShortcutFilePath(std::string_view where, const std::string& desktop_folder,
                                            const std::string& appdata_folder, std::string_view link_name);

// The working folder recorded for a target: its folder, with the trailing backslash.
std::string ShortcutWorkingFolder(std::string_view target_path);

}  // namespace sondrel
