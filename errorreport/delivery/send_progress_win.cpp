#include "errorreport/delivery/send_progress_win.h"

#include <commctrl.h>

#include <atomic>
#include <cstdio>

#include "base/handle_win.h"
#include "errorreport/delivery/reporter_module_win.h"

namespace sondrel {
namespace {

constexpr int kStatusText = 100;
constexpr int kProgressBar = 101;
// How long the sending waits for the dialog: a dialog that cannot be shown must not hold the report.
constexpr DWORD kReadyWaitMs = 5000;
constexpr DWORD kReadyPollMs = 50;

// Shared by the sending thread and TSMTPThread.
struct ProgressState {
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> ready{false};
  std::atomic<int> recipient{0};
  std::atomic<int> count{0};
  // Read by the dialog thread only after the start has set them.
  std::string caption;
  std::string message_word;
};

ProgressState& State() {
  static ProgressState s;
  return s;
}

HFONT CreateMessageFont() {
  NONCLIENTMETRICSA m{};
  m.cbSize = sizeof m;
  if (!SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof m, &m, 0)) return nullptr;
  return CreateFontIndirectA(&m.lfMessageFont);
}

INT_PTR CALLBACK ProgressProc(HWND w, UINT m, WPARAM, LPARAM) noexcept {
  ProgressState& s = State();
  switch (m) {
    case WM_INITDIALOG: {
      s.window = w;
      SetWindowTextA(w, s.caption.c_str());
      if (HFONT font = CreateMessageFont()) {
        SetPropA(w, "SondrelFont", font);
        SendDlgItemMessageA(w, kStatusText, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      }
      return TRUE;
    }
    case WM_SETFOCUS:
      s.ready = true;
      return FALSE;
    case kCloseSendProgress:
      EndDialog(w, 0);
      return TRUE;
    case WM_DESTROY: {
      // A later dialog may already be recorded: forget only this one.
      HWND self = w;
      s.window.compare_exchange_strong(self, nullptr);
      if (HANDLE font = RemovePropA(w, "SondrelFont")) DeleteObject(font);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

DWORD WINAPI TSMTPThread(void*) noexcept {
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  DialogBoxParamA(ModuleHoldingReporter(), "SMTP", nullptr, ProgressProc, 0);
  return 0;
}

}  // namespace

void StartSendProgress(const TReportModuleOptions& options, bool gui_program) {
  ProgressState& s = State();
  s.window = nullptr;
  s.ready = false;
  s.recipient = 0;
  s.count = 0;
  if (!options.ShowSendProgress() || options.SendMode() == TReportSendMode::rsNone || !gui_program) return;
  s.caption = options.CustomText(mtSMTPDialog_Caption);
  s.message_word = options.CustomText(mtSMTPDialog_Message);
  DWORD id = 0;
  UniqueHandle thread(CreateThread(nullptr, 0, TSMTPThread, nullptr, CREATE_SUSPENDED, &id));
  if (!thread) return;
  ResumeThread(thread.get());
  // The dialog is ready once it has the focus; a thread that ended has no dialog to wait for.
  for (DWORD waited = 0; !s.ready && waited < kReadyWaitMs; waited += kReadyPollMs)
    if (WaitForSingleObject(thread.get(), kReadyPollMs) == WAIT_OBJECT_0) break;
}

void ShowSendStatus(const std::string& text) {
  ProgressState& s = State();
  HWND w = s.window;
  if (!w) return;
  char head[256];
  std::snprintf(head, sizeof head, "%s %d/%d: ", s.message_word.c_str(), s.recipient.load(), s.count.load());
  SetDlgItemTextA(w, kStatusText, (head + text).c_str());
}

void SetSendProgress(int percent) {
  if (HWND w = State().window) SendDlgItemMessageA(w, kProgressBar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void CloseSendProgress() {
  if (HWND w = State().window) SendMessageA(w, kCloseSendProgress, 0, 0);
}

HWND SendProgressWindow() { return State().window; }

void TSendProgress::SetRecipientCount(int count) { State().count = count; }
void TSendProgress::SetRecipientIndex(int index) { State().recipient = index; }

}  // namespace sondrel
