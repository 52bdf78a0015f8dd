#pragma once
// The Quick access dialog: puts a shortcut to the program on the desktop or in the Quick Launch
// folder. Created per use, shown modally and destroyed; it keeps nothing.
#include <string>

#include "skin/controls_win.h"

namespace sondrel {

// The message after a shortcut was written.
inline constexpr char kShortcutAdded[] = "Shortcut added.";

class TfrmQuickAccess : public TForm {
 public:
  TfrmQuickAccess();
  static constexpr int kClientWidth = 330;
  static constexpr int kClientHeight = 92;

  TButton* btnQuickLaunch = nullptr;
  TButton* btnOk = nullptr;
  TButton* btnDesktop = nullptr;

 private:
  void btnQuickLaunchClick();
  void btnDesktopClick();
  void AddShortcut(const char* where);
};

// What the user is told when a shortcut could not be written to path (empty when no path could be
// made for it).
std::string ShortcutFailedText(const std::string& path);

}  // namespace sondrel
