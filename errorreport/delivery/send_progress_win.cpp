#include "errorreport/delivery/send_progress_win.h"

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

#include "base/handle_win.h"
#include "errorreport/capture/dialog_look_win.h"
#include "errorreport/delivery/reporter_module_win.h"

namespace sondrel {
namespace {

constexpr int kStatusText = 100;
constexpr int kProgressBar = 101;
constexpr DWORD kReadyPollMs = 50;

// Shared by the sending thread and TSMTPThread.
struct ProgressState {
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> ready{false};
  std::atomic<int> recipient{0};
  std::atomic<int> count{0};
  // The number of the start whose dialog may show; 0 once it is closed. A dialog that comes up under
  // another number (an earlier start's, or its own after the close) ends at once: the sending may
  // have given up waiting for it and be over, and nobody would close it afterwards.
  std::atomic<unsigned> live{0};
  // The sending thread's own: the number of starts, the dialog thread of the last one, the word of
  // the status line.
  unsigned starts = 0;
  UniqueHandle thread;
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

// What TSMTPThread is handed; it frees it.
struct DialogStart {
  unsigned number;
  HMODULE templates;
  bool painted;
  std::string caption;
};

class ProgressDialog final : public ReporterDialog {
 public:
  explicit ProgressDialog(const DialogStart& start)
      : number_(start.number), look_(start.painted), caption_(start.caption) {}
  void Run(HMODULE templates) {
    DialogBoxParamA(templates, "SMTP", nullptr, Proc, reinterpret_cast<LPARAM>(static_cast<ReporterDialog*>(this)));
  }

 private:
  void OnFailure() override { EndDialog(h_, 0); }

  INT_PTR OnMessage(UINT m, WPARAM w, LPARAM l) override {
    ProgressState& s = State();
    switch (m) {
      case WM_INITDIALOG:
        // Recorded before the number is checked, and the close clears the number before it looks for
        // the window: one of the two always sees the other.
        s.window = h_;
        if (s.live != number_) {
          Forget();
          EndDialog(h_, 0);
          return TRUE;
        }
        SetWindowTextA(h_, caption_.c_str());
        status_font_.reset(CreateMessageFont());
        if (status_font_)
          SendDlgItemMessageA(h_, kStatusText, WM_SETFONT, reinterpret_cast<WPARAM>(status_font_.get()), FALSE);
        return TRUE;
      case WM_SETFOCUS:
        s.ready = true;
        return FALSE;
      case kCloseSendProgress:
        EndDialog(h_, 0);
        return TRUE;
      case WM_DESTROY:
        Forget();
        return FALSE;
      default:
        break;
    }
    INT_PTR result = 0;
    return look_.HandleMessage(h_, m, w, l, caption_, result) ? result : FALSE;
  }

  // A later dialog may already be recorded: forget only this one.
  void Forget() {
    HWND self = h_;
    State().window.compare_exchange_strong(self, nullptr);
  }

  unsigned number_;
  DialogLook look_;
  std::string caption_;
  UniqueGdiObject status_font_;
};

DWORD WINAPI TSMTPThread(void* p) noexcept {
  std::unique_ptr<DialogStart> start(static_cast<DialogStart*>(p));
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&classes);
  try {
    ProgressDialog(*start).Run(start->templates);
  } catch (...) {
  }
  return 0;
}

// Waits, within the bound, for the last start's dialog thread to end and lets it go.
void EndDialogThread(ProgressState& s) {
  if (!s.thread) return;
  WaitForSingleObject(s.thread.get(), kReadyWaitMs);
  s.thread.reset();
}

}  // namespace

void StartSendProgress(const TReportModuleOptions& options, bool gui_program, HMODULE templates,
                       DWORD ready_wait_ms) {
  ProgressState& s = State();
  s.live = 0;
  EndDialogThread(s);
  s.window = nullptr;
  s.ready = false;
  s.recipient = 0;
  s.count = 0;
  if (!options.ShowSendProgress() || options.SendMode() == TReportSendMode::rsNone || !gui_program) return;
  s.message_word = options.CustomText(mtSMTPDialog_Message);
  if (++s.starts == 0) ++s.starts;
  auto start = std::make_unique<DialogStart>(DialogStart{s.starts, templates ? templates : ModuleHoldingReporter(),
                                                         options.PaintedDialogs(),
                                                         options.CustomText(mtSMTPDialog_Caption)});
  s.live = s.starts;
  DWORD id = 0;
  s.thread.reset(CreateThread(nullptr, 0, TSMTPThread, start.get(), CREATE_SUSPENDED, &id));
  if (!s.thread) return;
  start.release();
  ResumeThread(s.thread.get());
  // The dialog is ready once it has the focus; a thread that ended has no dialog to wait for.
  for (DWORD waited = 0; !s.ready && waited < ready_wait_ms; waited += kReadyPollMs)
    if (WaitForSingleObject(s.thread.get(), std::min(kReadyPollMs, ready_wait_ms - waited)) == WAIT_OBJECT_0) break;
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
  ProgressState& s = State();
  s.live = 0;
  if (HWND w = s.window) SendMessageA(w, kCloseSendProgress, 0, 0);
  EndDialogThread(s);
}

HWND SendProgressWindow() { return State().window; }

void TSendProgress::SetRecipientCount(int count) { State().count = count; }
void TSendProgress::SetRecipientIndex(int index) { State().recipient = index; }

}  // namespace sondrel
