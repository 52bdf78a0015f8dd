#pragma once
// The custom entry dialog: a description and a search command for one slot, checked and split at the
// placeholder into the address parts a custom entry keeps. It changes nothing in the model; on OK the
// caller reads edtDescription (as typed), edtLeading and edtPost.
#include <functional>

#include "dialogs/browser_list_win.h"
#include "skin/controls_win.h"

namespace sondrel {

class TfrmCustomSite final : public TForm {
 public:
  // Runs one step of making the dialog's controls.
  using TStepRunner = std::function<void(std::function<void()>)>;
  // shell_windows: where "Insert browser location" looks for open browser pages. application_owned:
  // belongs to the application window rather than to the main window (see TForm). run_step: by default
  // the controls are made at once; a dialog made only to be kept hidden can have them made in steps
  // (between the user's messages), and then its controls are null until their step has run.
  explicit TfrmCustomSite(ShellWindowsSource shell_windows = CreateShellWindows, bool application_owned = false,
                          TStepRunner run_step = {});

  TLabel* lblEntryName = nullptr;  // the caller sets "Entry name:  " and the slot's row text
  TLabel* lblDescription = nullptr;
  TEdit* edtDescription = nullptr;  // at most 12 characters; has the focus when the dialog opens
  TLabel* lblSearchCommand = nullptr;
  TEdit* edtSearchCommand = nullptr;  // always starts empty
  TButton* btnOk = nullptr;
  TButton* btnCancel = nullptr;
  TButton* btnInsertBrowserLocation = nullptr;
  TEdit* edtLeading = nullptr;  // hidden: the address parts, in and out
  TEdit* edtPost = nullptr;

  // Checks the texts (the first failure is shown and the dialog stays open as typed), then splits the
  // command into edtLeading and edtPost and closes with OK.
  void btnOkClick();
  // Offers the qualifying addresses of open browser pages; the one chosen replaces the search command.
  // With none, says so and shows no list.
  void btnInsertBrowserLocationClick();

 private:
  ShellWindowsSource shell_windows_;
};

}  // namespace sondrel
