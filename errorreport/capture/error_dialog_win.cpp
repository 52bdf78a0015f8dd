#include "errorreport/capture/error_dialog_win.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "base/exception.h"
#include "errorreport/capture/dialog_look_win.h"
#include "errorreport/capture/error_dialog.h"
#include "errorreport/capture/error_dialog_pages_win.h"

namespace sondrel {
namespace {

constexpr UINT_PTR kPaintCheckTimer = 1;
constexpr int kPictureLeft = 8, kPictureTop = 8;

void Move(HWND h, const DialogRect& r) { MoveWindow(h, r.x, r.y, r.w, r.h, TRUE); }

class ErrorDialog : public ReporterDialog {
 public:
  ErrorDialog(const DialogRequest& request, HMODULE templates)
      : templates_(templates),
        request_(request),
        options_(*request.record->HandlingOptions),
        settings_(ErrorReportIni()),
        state_(ErrorDialogStateFor(options_, request.duplicate, request.exceptions_reported)),
        look_(options_.PaintedDialogs()),
        caption_(options_.CustomText(mtDialog_Caption)) {}

  // One modal run; false when the dialog could not be made or was never painted.
  bool Run() {
    const INT_PTR r = DialogBoxParamA(templates_, "DIALOG", nullptr, Proc,
                                      reinterpret_cast<LPARAM>(static_cast<ReporterDialog*>(this)));
    return r != -1 && painted_;
  }
  const DialogChoices& Choices() const { return choices_; }

 private:
  INT_PTR OnMessage(UINT m, WPARAM w, LPARAM l) override;
  // The boxes read as they are.
  void OnFailure() override { EndDialog(h_, kIdOk); }
  void OnInit();
  void SetView(bool detailed);
  void PlaceCompact();
  void Layout();
  void ShowPage(int index);
  void SaveGeometry();
  void Paint();
  HWND Item(int id) const { return GetDlgItem(h_, id); }
  int TextWidth(HDC dc, const std::string& s) const;

  HMODULE templates_;
  const DialogRequest& request_;
  const TReportModuleOptions& options_;
  DialogSettingsStore& settings_;
  const ErrorDialogState state_;
  DialogLook look_;
  const std::string caption_;
  bool detailed_ = false;
  bool painted_ = false;
  // The detailed view's last normal size (height without the band), position and state.
  DetailedGeometry geometry_;
  bool size_remembered_ = false;
  int button_width_ = 75;
  struct ImageListTraits {
    static HIMAGELIST invalid() noexcept { return nullptr; }
    static void close(HIMAGELIST h) noexcept { ImageList_Destroy(h); }
  };
  Unique<HIMAGELIST, ImageListTraits> monitor_;
  std::unique_ptr<DetailPage> page_;
  DialogChoices choices_;
};

INT_PTR ErrorDialog::OnMessage(UINT m, WPARAM w, LPARAM l) {
  switch (m) {
    case WM_INITDIALOG:
      OnInit();
      return FALSE;  // the focus is on the OK button already
    case WM_TIMER:
      if (w != kPaintCheckTimer) break;
      KillTimer(h_, kPaintCheckTimer);
      // A dialog the system could not show: the caller puts a message box up instead.
      if (!painted_) EndDialog(h_, kIdOk);
      return TRUE;
    case WM_PAINT:
      Paint();
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(w)) {
        case IDOK:
        case kIdOk:  // also Escape and the close command
          EndDialog(h_, kIdOk);
          return TRUE;
        case kIdTerminate:
          choices_.terminate = true;
          EndDialog(h_, kIdTerminate);
          return TRUE;
        case kIdDetails:
          SetView(!detailed_);
          return TRUE;
        case kIdSendBox:
          EnableWindow(Item(kIdScreenshotBox), IsDlgButtonChecked(h_, kIdSendBox) == BST_CHECKED);
          return TRUE;
        default:
          break;
      }
      break;
    case WM_NOTIFY: {
      const auto* n = reinterpret_cast<const NMHDR*>(l);
      if (n->idFrom == kIdTabs && n->code == TCN_SELCHANGE) {
        ShowPage(static_cast<int>(SendMessageA(Item(kIdTabs), TCM_GETCURSEL, 0, 0)));
        return TRUE;
      }
      break;
    }
    case WM_SIZE:
      if (detailed_) {
        if (w == SIZE_MAXIMIZED) {
          geometry_.state = kStateMaximised;
        } else if (w == SIZE_MINIMIZED) {
          geometry_.state = kStateMinimised;
        } else {
          RECT r;
          GetWindowRect(h_, &r);
          geometry_.state = kStateNormal;
          geometry_.width = r.right - r.left;
          geometry_.height = r.bottom - r.top - state_.band;
          size_remembered_ = true;
        }
      }
      Layout();
      return TRUE;
    case WM_MOVE:
      // A minimised window's position is none the user chose.
      if (detailed_ && !IsZoomed(h_) && !IsIconic(h_)) {
        RECT r;
        GetWindowRect(h_, &r);
        geometry_.left = r.left;
        geometry_.top = r.top;
      }
      return TRUE;
    case WM_GETMINMAXINFO:
      if (detailed_) {
        auto* mm = reinterpret_cast<MINMAXINFO*>(l);
        mm->ptMinTrackSize = {kMinDetailedWidth, kMinDetailedHeight + state_.band};
        return TRUE;
      }
      break;
    case WM_DESTROY:
      KillTimer(h_, kPaintCheckTimer);
      if (detailed_) SaveGeometry();
      choices_.send = IsDlgButtonChecked(h_, kIdSendBox) == BST_CHECKED;
      choices_.attach_screenshot = IsDlgButtonChecked(h_, kIdScreenshotBox) == BST_CHECKED;
      choices_.copy_to_clipboard = IsDlgButtonChecked(h_, kIdCopyBox) == BST_CHECKED;
      page_.reset();
      return TRUE;
    default:
      break;
  }
  INT_PTR result = 0;
  if (look_.HandleMessage(h_, m, w, l, caption_, result)) return result;
  return FALSE;
}

int ErrorDialog::TextWidth(HDC dc, const std::string& s) const {
  SIZE size{};
  GetTextExtentPoint32A(dc, s.c_str(), static_cast<int>(s.size()), &size);
  return size.cx;
}

void ErrorDialog::OnInit() {
  look_.Prepare(h_);
  SetWindowTextA(h_, caption_.c_str());
  monitor_.reset(LoadMaskedBitmaps({"MONITOR"}, 32));

  SetDlgItemTextA(h_, kIdOk, options_.CustomText(mtDialog_OKButtonCaption).c_str());
  SetDlgItemTextA(h_, kIdTerminate, TerminateButtonText(options_).c_str());
  SetDlgItemTextA(h_, kIdSendBox, options_.CustomText(mtDialog_SendMessage).c_str());
  SetDlgItemTextA(h_, kIdScreenshotBox, options_.CustomText(mtDialog_ScreenshotMessage).c_str());
  SetDlgItemTextA(h_, kIdCopyBox, options_.CustomText(mtDialog_CopyMessage).c_str());
  CheckDlgButton(h_, kIdSendBox, state_.send_checked ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(h_, kIdScreenshotBox, state_.screenshot_checked ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(h_, kIdCopyBox, BST_UNCHECKED);
  ShowWindow(Item(kIdSendBox), state_.send_visible ? SW_SHOW : SW_HIDE);
  ShowWindow(Item(kIdScreenshotBox), state_.screenshot_visible ? SW_SHOW : SW_HIDE);
  EnableWindow(Item(kIdScreenshotBox), state_.send_checked);
  ShowWindow(Item(kIdTerminate), state_.terminate_visible ? SW_SHOW : SW_HIDE);
  ShowWindow(Item(kIdEtchedLine), SW_HIDE);

  HWND tabs = Item(kIdTabs);
  for (int i = 0; i < kDetailPageCount; ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    std::string text = options_.CustomText(DetailTabText(i));
    item.pszText = text.data();
    SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  SendMessageA(tabs, TCM_SETCURSEL, state_.first_page, 0);

  if (HDC dc = GetDC(h_)) {
    HGDIOBJ old = SelectObject(dc, look_.DialogFont());
    std::vector<int> widths;
    for (const std::string& t : ButtonWidthTexts(options_)) widths.push_back(TextWidth(dc, t));
    button_width_ = ButtonWidth(widths);
    SelectObject(dc, old);
    ReleaseDC(h_, dc);
  }
  ShowPage(state_.first_page);
  SetView(false);
  // Shown here, not when the modal loop first finds its queue empty: the paint check below must find
  // a dialog that the system had every chance to paint.
  ShowWindow(h_, SW_SHOWNORMAL);
  SetForegroundWindow(h_);
  SetFocus(Item(kIdOk));
  SetTimer(h_, kPaintCheckTimer, 1, nullptr);
}

void ErrorDialog::SetView(bool detailed) {
  if (detailed_ && !detailed) {
    SaveGeometry();
    if (IsZoomed(h_) || IsIconic(h_)) ShowWindow(h_, SW_RESTORE);
  }
  detailed_ = detailed;
  const LONG sizing = WS_THICKFRAME | WS_MAXIMIZEBOX | WS_SYSMENU;
  LONG style = GetWindowLongA(h_, GWL_STYLE) & ~sizing;
  if (detailed) style |= WS_THICKFRAME | WS_MAXIMIZEBOX | (look_.Painted() ? 0 : WS_SYSMENU);
  SetWindowLongA(h_, GWL_STYLE, style);
  SetDlgItemTextA(h_, kIdMessage,
                  (detailed ? options_.CustomText(mtDialog_ErrorMsgCaption) : request_.message).c_str());
  SetDlgItemTextA(h_, kIdDetails, DetailsButtonText(options_, detailed).c_str());
  ShowWindow(Item(kIdTabs), detailed ? SW_SHOW : SW_HIDE);
  if (page_) page_->Show(detailed);
  if (detailed) {
    geometry_ = ReadDetailedGeometry(settings_, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                     state_.band);
    const int saved_state = geometry_.state;
    size_remembered_ = false;
    SetWindowPos(h_, nullptr, geometry_.left, geometry_.top, geometry_.width, geometry_.height + state_.band,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    // A window asked for its details opens in sight: a saved minimised state opens it normal.
    if (saved_state == kStateMaximised) ShowWindow(h_, SW_MAXIMIZE);
  } else {
    PlaceCompact();
  }
  Layout();
  RedrawWindow(h_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void ErrorDialog::PlaceCompact() {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, GetWindowLongA(h_, GWL_STYLE), FALSE, GetWindowLongA(h_, GWL_EXSTYLE));
  CompactMetrics m;
  m.frame_width = -frame.left;
  m.frame_height = frame.bottom;
  m.caption_height = -frame.top - frame.bottom;
  m.screen_width = GetSystemMetrics(SM_CXSCREEN);
  m.screen_height = GetSystemMetrics(SM_CYSCREEN);

  const std::vector<std::string> lines = CompactMeasureLines(request_.message, options_);
  std::vector<int> widths;
  CompactLayout layout;
  if (HDC dc = GetDC(h_)) {
    HGDIOBJ old = SelectObject(dc, look_.DialogFont());
    TEXTMETRICA tm{};
    GetTextMetricsA(dc, &tm);
    m.line_height = tm.tmHeight;
    for (const std::string& s : lines) widths.push_back(TextWidth(dc, s));
    // A line wider than the text breaks at words, as the text control will break it.
    auto lines_at = [&](size_t i, int width) {
      RECT r{0, 0, width, 0};
      DrawTextA(dc, lines[i].c_str(), static_cast<int>(lines[i].size()), &r,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EDITCONTROL);
      return m.line_height > 0 ? (r.bottom + m.line_height - 1) / m.line_height : 1;
    };
    layout = LayoutCompactView(widths, m, lines_at);
    SelectObject(dc, old);
    ReleaseDC(h_, dc);
  } else {
    layout = LayoutCompactView(std::vector<int>(lines.size(), 0), m);
  }
  SetWindowPos(h_, nullptr, layout.window.x, layout.window.y, layout.window.w, layout.window.h + state_.band,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  Move(Item(kIdMessage), layout.message);
}

void ErrorDialog::Layout() {
  RECT c;
  GetClientRect(h_, &c);
  const ErrorDialogLayout l = LayoutErrorDialog(c.right, c.bottom, state_.band, button_width_);
  Move(Item(kIdTabs), l.tabs);
  if (detailed_) Move(Item(kIdMessage), l.message);
  Move(Item(kIdOk), l.ok);
  Move(Item(kIdTerminate), l.terminate);
  Move(Item(kIdDetails), l.details);
  Move(Item(kIdSendBox), l.send_box);
  Move(Item(kIdCopyBox), l.copy_box);
  Move(Item(kIdScreenshotBox), l.screenshot_box);
  if (page_) {
    RECT area{0, 0, l.tabs.w, l.tabs.h};
    SendMessageA(Item(kIdTabs), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
    OffsetRect(&area, l.tabs.x, l.tabs.y);
    page_->Place(area);
  }
}

void ErrorDialog::ShowPage(int index) {
  if (index < 0 || index >= kDetailPageCount) return;
  page_.reset();
  page_ = DetailPage::Create(h_, index, request_, look_, settings_);
  if (!page_) return;
  Layout();
  page_->Show(detailed_);
}

void ErrorDialog::SaveGeometry() {
  if (size_remembered_) WriteDetailedGeometry(settings_, geometry_);
}

void ErrorDialog::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(h_, &ps);
  // The picture's bottom-left pixel is its background.
  if (dc && monitor_) ImageList_Draw(monitor_.get(), 0, dc, kPictureLeft, kPictureTop, ILD_TRANSPARENT);
  EndPaint(h_, &ps);
  painted_ = true;
}

bool IsNtPlatform() { return (GetVersion() & 0x80000000u) == 0; }

}  // namespace

DialogChoices ShowErrorDialogWindow(const DialogRequest& request, HMODULE templates) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  MessageBeep(MB_ICONHAND);
  HWND previous = GetForegroundWindow();
  DialogChoices choices;
  bool painted = false;
  for (;;) {
    ErrorDialog dialog(request, templates ? templates : ModuleHoldingReporter());
    painted = dialog.Run();
    choices = dialog.Choices();
    if (!painted) {
      if (IsNtPlatform())
        MessageBoxA(nullptr, request.message.c_str(), request.record->HandlingOptions->CustomText(mtDialog_Caption).c_str(),
                    MB_OK | MB_ICONSTOP | MB_TASKMODAL | MB_TOPMOST | MB_SERVICE_NOTIFICATION);
      break;
    }
    // A handler may keep the program running: the dialog comes back.
    if (choices.terminate && request.confirm_terminate && !request.confirm_terminate()) continue;
    break;
  }
  if (previous) SetForegroundWindow(previous);
  if (!painted) throw Exception("Cannot show the DialogBox window.");
  return choices;
}

}  // namespace sondrel
