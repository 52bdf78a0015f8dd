#include "desktop/about_controls_win.h"

namespace sondrel {
namespace {

constexpr COLORREF kLinkColor = RGB(0, 128, 0);

HFONT UnderlinedFont(HFONT base) {
  LOGFONTA lf{};
  GetObjectA(base, sizeof lf, &lf);
  lf.lfUnderline = TRUE;
  return CreateFontIndirectA(&lf);
}

HINSTANCE ProgramInstance() { return Application ? Application->Instance() : GetModuleHandleA(nullptr); }

}  // namespace

// ---- TLinkLabel ----

TLinkLabel::TLinkLabel(TForm& form, HWND parent, const std::string& caption, int left, int top, int width,
                       int height) {
  // SS_NOTIFY makes the label take the mouse and report clicks and double-clicks to its parent.
  CreateHandle(parent, form.NextControlId(), "STATIC", caption, SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0, left, top,
               width, height);
  font_.reset(UnderlinedFont(CurrentPainter().Font()));
  if (font_) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  Subclass();
}

void TLinkLabel::OnCommand(WORD code) {
  if (code == STN_CLICKED && OnClick) OnClick();
  if (code == STN_DBLCLK && OnDblClick) OnDblClick();
}

HBRUSH TLinkLabel::OnCtlColor(HDC dc) {
  HBRUSH brush = TControl::OnCtlColor(dc);
  SetTextColor(dc, kLinkColor);
  return brush;
}

LRESULT TLinkLabel::WndProc(UINT m, WPARAM w, LPARAM l) {
  if (m == WM_SETCURSOR) {
    SetCursor(LoadCursor(nullptr, IDC_HAND));
    return TRUE;
  }
  return DefaultProc(m, w, l);
}

// ---- TIconImage ----

TIconImage::TIconImage(TForm& form, HWND parent, int left, int top, int width, int height) {
  CreateHandle(parent, form.NextControlId(), "STATIC", "", SS_OWNERDRAW, 0, left, top, width, height);
  // The icon's own size nearest the control; DrawIconEx scales the rest of the way.
  icon_ = static_cast<HICON>(LoadImageA(ProgramInstance(), MAKEINTRESOURCEA(1), IMAGE_ICON, 32, 32, 0));
}

TIconImage::~TIconImage() {
  if (icon_) DestroyIcon(icon_);
}

bool TIconImage::OnDrawItem(DRAWITEMSTRUCT* dis) {
  const RECT& r = dis->rcItem;
  FillRect(dis->hDC, &r, CurrentPainter().Brush(background_));
  if (icon_) DrawIconEx(dis->hDC, r.left, r.top, icon_, r.right - r.left, r.bottom - r.top, 0, nullptr, DI_NORMAL);
  return true;
}

}  // namespace sondrel
