#include "dialogs/FCustomSite.h"

#include "dialogs/FEnumerator.h"
#include "dialogs/browser_list.h"
#include "dialogs/checks.h"

namespace sondrel {
namespace {

constexpr char kCommandHelp[] =
    "Enter a search command containing the text \"stubtext\".  (Example: https://duckduckgo.com/?q=stubtext)";

// The help label wraps over three lines of the skin's font; the search command box sits below it.
int CommandTop() {
  return 72 + 3 * CurrentPainter().LineHeight();
}
int ButtonsTop() {
  return CommandTop() + 33;
}

}  // namespace

TfrmCustomSite::TfrmCustomSite(ShellWindowsSource shell_windows, bool application_owned, TStepRunner run_step)
    : TForm("Enter custom entry", 420, ButtonsTop() + 22 + 12, /*minimize_box=*/false, application_owned),
      shell_windows_(std::move(shell_windows)) {
  // Each step makes a control or two: every window costs the window system several round trips.
  const auto step = [&run_step](std::function<void()> s) {
    if (run_step)
      run_step(std::move(s));
    else
      s();
  };
  step([this] {
    lblEntryName = Add<TLabel>(Handle(), "Entry name:", 12, 12, 396, 16);
    lblDescription = Add<TLabel>(Handle(), "Description:", 12, 41, 80, 16);
  });
  // Created in the order the Tab key visits them: description, command, Ok, Cancel, browser location.
  step([this] {
    edtDescription = Add<TEdit>(Handle(), 96, 38, 120, 21);
    edtDescription->SetMaxLength(kDescriptionMaxLength);
  });
  step([this] {
    lblSearchCommand = Add<TLabel>(Handle(), kCommandHelp, 12, 68, 396, 3 * CurrentPainter().LineHeight() + 2);
    edtSearchCommand = Add<TEdit>(Handle(), 12, CommandTop(), 396, 21);
  });
  step([this] {
    btnOk = Add<TButton>(Handle(), "Ok", 222, ButtonsTop(), 90, 22);
    btnOk->OnClick = [this] { btnOkClick(); };
  });
  step([this] {
    btnCancel = Add<TButton>(Handle(), "Cancel", 318, ButtonsTop(), 90, 22);
    btnCancel->OnClick = [this] { ModalResult = mrCancel; };
  });
  step([this] {
    btnInsertBrowserLocation = Add<TButton>(Handle(), "Insert browser location", 12, ButtonsTop(), 150, 22);
    btnInsertBrowserLocation->OnClick = [this] { btnInsertBrowserLocationClick(); };
  });
  step([this] {
    edtLeading = Add<TEdit>(Handle(), 0, 0, 10, 21);
    edtLeading->SetVisible(false);
    edtPost = Add<TEdit>(Handle(), 0, 0, 10, 21);
    edtPost->SetVisible(false);
    SetDefaultControl(btnOk);
    SetCancelControl(btnCancel);
    ActiveControl = edtDescription;
  });
}

void TfrmCustomSite::btnOkClick() {
  const std::string command = edtSearchCommand->Text();
  if (auto message = CheckCustomEntry(edtDescription->Text(), command)) {
    InformationBox(Handle(), *message, false);
    return;
  }
  const TSearchCommandParts parts = *SplitSearchCommand(command);
  edtLeading->SetText(parts.leading);
  edtPost->SetText(parts.post);
  ModalResult = mrOk;
}

void TfrmCustomSite::btnInsertBrowserLocationClick() {
  TfrmEnumerator browsers(shell_windows_);
  if (browsers.lbxBrowsers->Count() == 0) {
    InformationBox(Handle(), kNoBrowserPagesMessage, false);
    return;
  }
  if (browsers.ShowModal() != mrOk) return;
  if (const int i = browsers.lbxBrowsers->ItemIndex(); i >= 0)
    edtSearchCommand->SetText(browsers.lbxBrowsers->Item(i));
}

}  // namespace sondrel
