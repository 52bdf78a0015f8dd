// The information message box, built from the framework's own form and controls so that it wears
// the skin like every other window.
#include "skin/controls_win.h"
#include "skin/msgbox_layout.h"

namespace sondrel {
namespace {

class TMessageForm : public TForm {
 public:
  TMessageForm(const std::string& caption, const std::string& text, bool with_cancel, const TMessageBoxLayout& layout)
      : TForm(caption, layout.client_width, layout.client_height, /*minimize_box=*/false),
        icon_(layout.icon),
        has_cancel_(with_cancel) {
    const TBoxRect& t = layout.text;
    Add<TLabel>(Handle(), text, t.left, t.top, t.width, t.height);
    const TBoxRect& b0 = layout.buttons[0];
    TButton* ok = Add<TButton>(Handle(), "OK", b0.left, b0.top, b0.width, b0.height);
    ok->OnClick = [this] { ModalResult = mrOk; };
    SetDefaultControl(ok);
    SetCancelControl(ok);
    if (with_cancel) {
      const TBoxRect& b1 = layout.buttons[1];
      TButton* cancel = Add<TButton>(Handle(), "Cancel", b1.left, b1.top, b1.width, b1.height);
      cancel->OnClick = [this] { ModalResult = mrCancel; };
      SetCancelControl(cancel);
    }
    ActiveControl = ok;
  }
  bool HasCancel() const { return has_cancel_; }

 protected:
  void OnPaint(HDC dc, const RECT& /*client*/) override {
    DrawIconEx(dc, icon_.left, icon_.top, LoadIconA(nullptr, MAKEINTRESOURCEA(32516)) /* IDI_INFORMATION */,
               icon_.width, icon_.height, 0, nullptr, DI_NORMAL);
  }

 private:
  TBoxRect icon_;
  bool has_cancel_;
};

// The size the text takes in the skin's font, wrapped at the widest line the box allows.
SIZE MeasureText(const std::string& text, int max_width) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, CurrentPainter().Font());
  RECT r{0, 0, max_width, 0};
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{r.right - r.left + 2, r.bottom - r.top};
}

}  // namespace

int InformationBox(HWND owner, const std::string& text, bool with_cancel) {
  const std::string title = Application ? Application->Title() : std::string();
  if (!Application) {
    return MessageBoxA(owner, text.c_str(), title.c_str(), MB_ICONINFORMATION | (with_cancel ? MB_OKCANCEL : MB_OK));
  }
  const TMessageBoxMetrics metrics;
  const SIZE need = MeasureText(text, metrics.max_text_width);
  const TMessageBoxLayout layout = LayoutMessageBox(need.cx, need.cy, with_cancel ? 2 : 1, metrics);
  TMessageForm box(title, text, with_cancel, layout);
  const int result = box.ShowModal();
  if (!with_cancel) return IDOK;
  return result == mrOk ? IDOK : IDCANCEL;
}

}  // namespace sondrel
