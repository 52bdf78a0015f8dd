// The request dialog: asks the user for the steps that led to the error.
#include <windows.h>

#include "errorreport/capture/dialog_look_win.h"
#include "errorreport/capture/error_dialog.h"
#include "errorreport/capture/error_dialog_win.h"

namespace sondrel {
namespace {

// Spare room at the bottom of the template, taken off at run time.
constexpr int kTemplateSpare = 18;

class RequestDialog : public ReporterDialog {
 public:
  explicit RequestDialog(const TReportModuleOptions& o)
      : options_(o), look_(o.PaintedDialogs()), caption_(o.CustomText(mtReproduceDialog_Caption)) {}

  std::string Run() {
    DialogBoxParamA(ModuleHoldingReporter(), "REQUEST", nullptr, Proc,
                    reinterpret_cast<LPARAM>(static_cast<ReporterDialog*>(this)));
    return steps_;
  }

 private:
  void OnFailure() override { EndDialog(h_, kIdOk); }

  INT_PTR OnMessage(UINT m, WPARAM w, LPARAM l) override {
    switch (m) {
      case WM_INITDIALOG:
        OnInit();
        return FALSE;
      case WM_COMMAND:
        // OK, Escape and the close command all take the text.
        if (LOWORD(w) == kIdOk || LOWORD(w) == IDOK) {
          HWND edit = GetDlgItem(h_, kIdRequestEdit);
          std::string text(static_cast<size_t>(GetWindowTextLengthA(edit)) + 1, '\0');
          text.resize(static_cast<size_t>(GetWindowTextA(edit, text.data(), static_cast<int>(text.size()))));
          steps_ = ReproduceStepsText(text);
          EndDialog(h_, kIdOk);
          return TRUE;
        }
        break;
      default:
        break;
    }
    INT_PTR result = 0;
    if (look_.HandleMessage(h_, m, w, l, caption_, result)) return result;
    return FALSE;
  }

  void OnInit() {
    // The template comes with the small caption of a tool window; the normal caption needs the
    // difference in height to keep the client area.
    const int small = GetSystemMetrics(SM_CYSMCAPTION);
    look_.Prepare(h_);
    SetWindowTextA(h_, caption_.c_str());
    SetDlgItemTextA(h_, kIdRequestLabel, options_.CustomText(mtReproduceDialog_Request).c_str());
    SetDlgItemTextA(h_, kIdOk, options_.CustomText(mtReproduceDialog_OKButtonCaption).c_str());
    SendDlgItemMessageA(h_, kIdRequestEdit, WM_SETFONT, reinterpret_cast<WPARAM>(look_.FixedFont()), FALSE);
    RECT r;
    GetWindowRect(h_, &r);
    const int height = r.bottom - r.top - kTemplateSpare + (look_.CaptionHeight() - small);
    SetWindowPos(h_, nullptr, r.left, r.top - (height - (r.bottom - r.top)) / 2, r.right - r.left, height,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    SetForegroundWindow(h_);
    SetFocus(GetDlgItem(h_, kIdRequestEdit));
  }

  const TReportModuleOptions& options_;
  DialogLook look_;
  const std::string caption_;
  std::string steps_;
};

}  // namespace

std::string AskReproduceStepsWindow(const TReportModuleOptions& o) { return RequestDialog(o).Run(); }

}  // namespace sondrel
