#pragma once
// The browser-location dialog: the addresses of open browser pages that hold the placeholder, for the
// custom entry dialog to take as its search command. The list is filled once, when it is created.
#include "dialogs/browser_list_win.h"
#include "skin/controls_win.h"

namespace sondrel {

class TfrmEnumerator final : public TForm {
 public:
  explicit TfrmEnumerator(ShellWindowsSource shell_windows = CreateShellWindows);

  TLabel* lblBrowsers = nullptr;
  TListBox* lbxBrowsers = nullptr;  // no row selected at first
  TButton* btnSave = nullptr;       // "Ok", the default button
  TButton* btnCancel = nullptr;

  void FormCreate() override { RefreshBrowserList(); }
  // Empties the list and fills it from the collection. A failing call of the collection or of a
  // browser is reported through the exception boundary; the rows found before it stay.
  void RefreshBrowserList();
  // Without a selected row says so and stays open; otherwise closes with OK.
  void btnSaveClick();

 protected:
  LRESULT OnMessage(UINT m, WPARAM w, LPARAM l) override;

 private:
  void Arrange();

  ShellWindowsSource shell_windows_;
};

}  // namespace sondrel
