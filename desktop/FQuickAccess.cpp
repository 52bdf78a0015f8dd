#include "desktop/FQuickAccess.h"

#include "base/shell_folder_win.h"
#include "desktop/shortcut.h"
#include "desktop/shortcut_win.h"

namespace sondrel {

TfrmQuickAccess::TfrmQuickAccess() : TForm("Create Quick Access ", kClientWidth, kClientHeight, false) {
  // Created in the tab order: Quick Launch, Ok, Desktop.
  btnQuickLaunch = Add<TButton>(Handle(), "Add a Quick Launch toolbar entry", 16, 16, 220, 24);
  btnQuickLaunch->OnClick = [this] { btnQuickLaunchClick(); };
  btnOk = Add<TButton>(Handle(), "Ok", 250, 16, 64, 24);
  btnOk->OnClick = [this] { ModalResult = mrOk; };
  btnDesktop = Add<TButton>(Handle(), "Add a shortcut to the Desktop", 16, 52, 220, 24);
  btnDesktop->OnClick = [this] { btnDesktopClick(); };
  SetDefaultControl(btnOk);
  SetCancelControl(btnOk);
  ActiveControl = btnQuickLaunch;
}

void TfrmQuickAccess::btnQuickLaunchClick() { AddShortcut(kWhereQuickLaunch); }

void TfrmQuickAccess::btnDesktopClick() { AddShortcut(kWhereDesktop); }

void TfrmQuickAccess::AddShortcut(const char* where) {
  const ShortcutOutcome outcome = CreateShortcut(ProgramFileName(), "Sondrel", where);
  InformationBox(Handle(), outcome.saved ? kShortcutAdded : ShortcutFailedText(outcome.path), false);
}

std::string ShortcutFailedText(const std::string& path) {
  if (path.empty())
    return "The shortcut could not be created: the folder for it is unknown or its path would be too long.";
  return "The shortcut could not be saved as\r\n" + path + "\r\nThe folder may be missing or read-only.";
}

}  // namespace sondrel
