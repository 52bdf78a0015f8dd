#include "dialogs/FEnumerator.h"

#include "dialogs/browser_list.h"

namespace sondrel {
namespace {

constexpr int kClientWidth = 460, kClientHeight = 220;
constexpr int kMargin = 8, kButtonWidth = 90, kButtonHeight = 22, kButtonGap = 6, kListTop = 26;

}  // namespace

TfrmEnumerator::TfrmEnumerator(ShellWindowsSource shell_windows)
    : TForm("Insert browser location", kClientWidth, kClientHeight, /*minimize_box=*/false),
      shell_windows_(std::move(shell_windows)) {
  // The only dialog the user may resize (long addresses): a sizing frame, the same client area, and
  // still centred on the screen.
  SetWindowLongA(Handle(), GWL_STYLE, GetWindowLongA(Handle(), GWL_STYLE) | WS_THICKFRAME);
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(Handle(), GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(Handle(), GWL_EXSTYLE)));
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int w = frame.right - frame.left, h = frame.bottom - frame.top;
  SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - w) / 2,
               work.top + (work.bottom - work.top - h) / 2, w, h,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

  lblBrowsers = Add<TLabel>(Handle(), "Select location from actives browsers:", kMargin, kMargin, 300, 16);
  lbxBrowsers = Add<TListBox>(Handle(), kMargin, kListTop, 100, 100);
  btnSave = Add<TButton>(Handle(), "Ok", 0, 0, kButtonWidth, kButtonHeight);
  btnSave->OnClick = [this] { btnSaveClick(); };
  btnCancel = Add<TButton>(Handle(), "Cancel", 0, 0, kButtonWidth, kButtonHeight);
  btnCancel->OnClick = [this] { ModalResult = mrCancel; };
  SetDefaultControl(btnSave);
  SetCancelControl(btnCancel);
  ActiveControl = lbxBrowsers;
  Arrange();
  FormCreate();
}

void TfrmEnumerator::RefreshBrowserList() {
  lbxBrowsers->Clear();
  StringList rows;
  try {
    if (ComPtr<IShellWindows> windows = shell_windows_ ? shell_windows_() : ComPtr<IShellWindows>())
      CollectBrowserLocations(*windows.get(), rows);
  } catch (...) {
    // Reported, and the import goes on with what was found so far.
    if (Application) Application->HandleException(std::current_exception());
  }
  lbxBrowsers->SetItems(rows);
}

void TfrmEnumerator::btnSaveClick() {
  if (lbxBrowsers->ItemIndex() < 0) {
    InformationBox(Handle(), kSelectUrlMessage, false);
    return;
  }
  ModalResult = mrOk;
}

void TfrmEnumerator::Arrange() {
  const int w = ClientWidth(), h = ClientHeight();
  const int buttons_top = h - kMargin - kButtonHeight;
  SetWindowPos(lbxBrowsers->Handle(), nullptr, kMargin, kListTop, w - 2 * kMargin,
               buttons_top - kMargin - kListTop, SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(btnCancel->Handle(), nullptr, w - kMargin - kButtonWidth, buttons_top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SetWindowPos(btnSave->Handle(), nullptr, w - kMargin - 2 * kButtonWidth - kButtonGap, buttons_top, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(Handle(), nullptr, TRUE);
}

LRESULT TfrmEnumerator::OnMessage(UINT m, WPARAM w, LPARAM l) {
  switch (m) {
    case WM_SIZE:
      if (lbxBrowsers) Arrange();
      return 0;
    case WM_GETMINMAXINFO: {
      // Never so small that the buttons cover the label or each other.
      RECT least{0, 0, 2 * kButtonWidth + kButtonGap + 2 * kMargin + 40,
                 kListTop + 40 + kButtonHeight + 2 * kMargin};
      AdjustWindowRectEx(&least, static_cast<DWORD>(GetWindowLongA(Handle(), GWL_STYLE)), FALSE,
                         static_cast<DWORD>(GetWindowLongA(Handle(), GWL_EXSTYLE)));
      auto* info = reinterpret_cast<MINMAXINFO*>(l);
      info->ptMinTrackSize = POINT{least.right - least.left, least.bottom - least.top};
      return 0;
    }
    default:
      return TForm::OnMessage(m, w, l);
  }
}

}  // namespace sondrel
