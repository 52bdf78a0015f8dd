#pragma once
// The Customize dialog: edits the ten entries and the name of the main window's current tab. Every
// change is made at once in the model and on the main window's slot boxes; there is no Cancel, and
// nothing is written to disk here.
#include "dialogs/browser_list_win.h"
#include "model/UGeneral.h"
#include "skin/controls_win.h"

namespace sondrel {

// What the Customize dialog reads and changes on the main window. Slot boxes keep the main window's
// convention: an assigned slot's box is enabled and reads a blank and the entry's description; an
// unassigned one is disabled, unticked and reads " custom".
class TCustomizeHost {
 public:
  virtual ~TCustomizeHost() = default;
  virtual TSearchManager& Model() = 0;
  virtual TTabControl& TabStrip() = 0;
  // The slot box of slot 1 to 10.
  virtual TCheckBox* GetSiteCheckBox(int slot) = 0;
  // Refills the keyword box and the slot boxes from tab number n.
  virtual void ShowTab(int n) = 0;
};

// The caption of a slot box without an entry.
inline constexpr char kUnassignedBoxCaption[] = " custom";

class TfrmEdit final : public TForm {
 public:
  // shell_windows: handed on to the custom entry dialog for its browser-location import.
  explicit TfrmEdit(TCustomizeHost& host, ShellWindowsSource shell_windows = CreateShellWindows);

  TLabel* lblTitle = nullptr;
  TButton* btnChangeTabName = nullptr;
  TButton* btnChangeOrder = nullptr;
  TLabel* lblEntry = nullptr;
  TComboBox* cbxEntry = nullptr;  // row i is slot i + 1
  TButton* btnBuiltIn = nullptr;
  TButton* btnCustom = nullptr;
  TButton* btnClear = nullptr;
  TButton* btnOk = nullptr;

  void FormCreate() override;
  void btnBuiltInClick();
  void btnCustomClick();
  void btnClearClick();
  void btnChangeOrderClick();
  void btnChangeTabNameClick();
  void btnOkClick() { ModalResult = mrOk; }

 private:
  int TabNumber() const;
  // The selected row, or -1 after saying that none is selected.
  int SelectedRowOrSay();
  void FillEntryRows(bool trimmed);
  void SetRowText(int row, const std::string& text);
  void ShowAssigned(int slot, const std::string& description);

  TCustomizeHost& host_;
  ShellWindowsSource shell_windows_;
};

}  // namespace sondrel
