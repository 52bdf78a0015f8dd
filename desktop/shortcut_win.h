#pragma once
// Program shortcuts on the desktop and in the Quick Launch folder, written through the shell's link
// objects.
#include <string>

namespace sondrel {

struct ShortcutOutcome {
  std::string path;    // the shortcut file's full path; empty when no path could be made
  bool saved = false;  // the shell reported the file written
};

// Writes the shell link <folder>\<linkName>.lnk whose target is targetPath and whose working folder is
// targetPath's folder with its trailing backslash; nothing else is set. `where` is "DESKTOP" (the
// user's desktop folder) or "QUICKLAUNCH" (the Quick Launch folder under the application-data folder).
// No folder is created and an existing file of that name is replaced.
// Raises EOleSysError when the link object or one of its interfaces cannot be had; every later failure
// (unknown folder, path too long, folder missing or not writable) comes back as saved == false.
ShortcutOutcome CreateShortcut(const std::string& targetPath, const std::string& linkName, const std::string& where);

}  // namespace sondrel
