#include "skin/controls_win.h"

#include <commctrl.h>

namespace sondrel {
namespace {

void TrackLeave(HWND h) {
  TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, h, 0};
  TrackMouseEvent(&t);
}

// Messages after which a BUTTON-class control may have drawn itself without WM_PAINT (a state
// change): the skin paints over that at once.
bool ButtonDrawsOn(UINT m) {
  switch (m) {
    case WM_SETTEXT:
    case WM_ENABLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CAPTURECHANGED:
    case WM_UPDATEUISTATE:
    case WM_SETFONT:
    case BM_SETSTATE:
    case BM_SETSTYLE:
      return true;
    default:
      return false;
  }
}

// A click sent to a disabled control (BM_CLICK simulates the mouse without asking whether the control
// takes input) is dropped, as the mouse itself would be.
bool RefusesClick(HWND h, UINT m) { return m == BM_CLICK && !IsWindowEnabled(h); }

// The paint messages of a control the skin paints whole, in place of its own painting; true (with the
// result) when m was one of them.
template <class PaintFn>
bool SkinPaintMessage(HWND h, UINT m, WPARAM w, PaintFn paint, LRESULT& result) {
  switch (m) {
    case WM_PAINT:
      if (w) {
        paint(reinterpret_cast<HDC>(w));
      } else {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        paint(dc);
        EndPaint(h, &ps);
      }
      result = 0;
      return true;
    case WM_PRINTCLIENT:
      paint(reinterpret_cast<HDC>(w));
      result = 0;
      return true;
    case WM_ERASEBKGND:
      result = 1;  // the painting covers every pixel
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- TButton ----

TButton::TButton(TForm& form, HWND parent, const std::string& caption, int left, int top, int width, int height)
    : form_(form) {
  CreateHandle(parent, form.NextControlId(), "BUTTON", caption, BS_OWNERDRAW | WS_TABSTOP, 0, left, top, width,
               height);
  Subclass();
}

void TButton::OnCommand(WORD code) {
  // An owner-drawn button reports the second click of a quick pair as a double click; to the user
  // both were clicks.
  if ((code == BN_CLICKED || code == BN_DOUBLECLICKED) && OnClick) OnClick();
}

bool TButton::OnDrawItem(DRAWITEMSTRUCT* dis) {
  TBufferedPaint buf(dis->hDC, dis->rcItem);
  HDC dc = buf.Dc();
  FillRect(dc, &dis->rcItem, CurrentPainter().Brush(background_));
  TButtonLook look;
  look.pressed = (dis->itemState & ODS_SELECTED) != 0;
  look.focused = (dis->itemState & ODS_FOCUS) != 0;
  look.enabled = (dis->itemState & ODS_DISABLED) == 0;
  // The button Enter would press wears the default look: the focused one while a button has the focus.
  look.is_default = form_.EnterTarget(GetFocus()) == this;
  look.hot = hot_;
  CurrentPainter().DrawButton(dc, dis->rcItem, Caption(), look);
  return true;
}

LRESULT TButton::WndProc(UINT m, WPARAM w, LPARAM l) {
  if (RefusesClick(handle_, m)) return 0;
  if (m == WM_MOUSEMOVE && !hot_) {
    hot_ = true;
    TrackLeave(handle_);
    InvalidateRect(handle_, nullptr, FALSE);
  } else if (m == WM_MOUSELEAVE) {
    hot_ = false;
    InvalidateRect(handle_, nullptr, FALSE);
  } else if (m == WM_ERASEBKGND) {
    return 1;  // the owner drawing covers every pixel
  } else if ((m == WM_SETFOCUS || m == WM_KILLFOCUS) && form_.DefaultControl() && form_.DefaultControl() != this) {
    // The default look moves between this button and the default one.
    InvalidateRect(form_.DefaultControl()->Handle(), nullptr, FALSE);
  }
  return DefaultProc(m, w, l);
}

// ---- TCheckBox ----

TCheckBox::TCheckBox(TForm& form, HWND parent, const std::string& caption, int left, int top, int width,
                     int height) {
  CreateHandle(parent, form.NextControlId(), "BUTTON", caption, BS_AUTOCHECKBOX | WS_TABSTOP, 0, left, top, width,
               height);
  Subclass();
}

bool TCheckBox::Checked() const { return SendMessageA(handle_, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void TCheckBox::SetChecked(bool on) {
  setting_ = true;
  SendMessageA(handle_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  setting_ = false;
  NoticeState();
}

void TCheckBox::SetBold(bool on) {
  if (bold_ == on) return;
  bold_ = on;
  // The font is the control's own too, so WM_GETFONT tells automation what the user sees.
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(CurrentPainter().Font(on)), FALSE);
  Repaint();
}

void TCheckBox::OnCommand(WORD code) {
  if (code == BN_CLICKED) NoticeState();
}

void TCheckBox::NoticeState() {
  const bool now = Checked();
  if (now == last_checked_) return;
  last_checked_ = now;
  if (OnClick) OnClick();
}

// A box not on screen is drawn whole when it is shown; drawing it now would only cost time (at
// start-up every box changes state several times before the window appears).
void TCheckBox::Repaint() {
  if (IsWindowVisible(handle_)) RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void TCheckBox::Paint(HDC dc) {
  RECT r;
  GetClientRect(handle_, &r);
  TBufferedPaint buf(dc, r);
  TCheckLook look;
  look.checked = Checked();
  look.enabled = Enabled();
  look.focused = GetFocus() == handle_ && !(SendMessageA(handle_, WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS);
  look.hot = hot_;
  look.bold = bold_;
  CurrentPainter().DrawCheckBox(buf.Dc(), r, Caption(), look, background_);
}

LRESULT TCheckBox::WndProc(UINT m, WPARAM w, LPARAM l) {
  if (RefusesClick(handle_, m)) return 0;
  LRESULT painted = 0;
  if (SkinPaintMessage(handle_, m, w, [this](HDC dc) { Paint(dc); }, painted)) return painted;
  switch (m) {
    case BM_SETCHECK: {
      LRESULT r = DefaultProc(m, w, l);
      // A change by the control itself (a click) or from outside runs the event here; SetChecked runs
      // it itself so that its exceptions reach its caller.
      if (!setting_) NoticeState();
      Repaint();
      return r;
    }
    case WM_MOUSEMOVE:
      if (!hot_) {
        hot_ = true;
        TrackLeave(handle_);
        Repaint();
      }
      break;
    case WM_MOUSELEAVE:
      hot_ = false;
      Repaint();
      break;
    default:
      if (ButtonDrawsOn(m)) {
        LRESULT r = DefaultProc(m, w, l);
        if (IsWindow(handle_)) Repaint();
        return r;
      }
      break;
  }
  return DefaultProc(m, w, l);
}

// ---- TLabel ----

TLabel::TLabel(TForm& form, HWND parent, const std::string& caption, int left, int top, int width, int height) {
  CreateHandle(parent, form.NextControlId(), "STATIC", caption, SS_LEFT | SS_NOPREFIX, 0, left, top, width, height);
}

void TLabel::SetBold(bool on) {
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(CurrentPainter().Font(on)), TRUE);
}

// ---- TEdit ----

TEdit::TEdit(TForm& form, HWND parent, int left, int top, int width, int height) {
  CreateHandle(parent, form.NextControlId(), "EDIT", "", ES_AUTOHSCROLL | WS_TABSTOP | WS_BORDER, 0, left, top, width,
               height);
  Subclass();
}

void TEdit::SetMaxLength(int n) { SendMessageA(handle_, EM_LIMITTEXT, static_cast<WPARAM>(n < 0 ? 0 : n), 0); }

void TEdit::OnCommand(WORD code) {
  if (code == EN_CHANGE && OnChange) OnChange();
}

HBRUSH TEdit::OnCtlColor(HDC dc) {
  const TSkinPainter& p = CurrentPainter();
  SetTextColor(dc, p.Color(Enabled() ? TSkinPart::kText : TSkinPart::kDisabledText));
  const TSkinPart face = Enabled() ? TSkinPart::kEditFace : TSkinPart::kFace;
  SetBkColor(dc, p.Color(face));
  return p.Brush(face);
}

LRESULT TEdit::WndProc(UINT m, WPARAM w, LPARAM l) {
  if (m == WM_NCPAINT) {
    // The one-pixel border in the skin's colour, the accent while the edit has the focus.
    HDC dc = GetWindowDC(handle_);
    RECT r;
    GetWindowRect(handle_, &r);
    OffsetRect(&r, -r.left, -r.top);
    CurrentPainter().Outline(dc, r, GetFocus() == handle_ ? TSkinPart::kAccent : TSkinPart::kBorder);
    ReleaseDC(handle_, dc);
    return 0;
  }
  LRESULT r = DefaultProc(m, w, l);
  if (m == WM_SETFOCUS || m == WM_KILLFOCUS) RedrawWindow(handle_, nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
  return r;
}

// ---- TItemsControl ----

void TItemsControl::Clear() { SendMessageA(handle_, msg_.reset, 0, 0); }

void TItemsControl::Add(const std::string& item) {
  SendMessageA(handle_, msg_.add, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

void TItemsControl::SetItems(const std::vector<std::string>& items) {
  SendMessageA(handle_, WM_SETREDRAW, FALSE, 0);
  Clear();
  for (const std::string& s : items) Add(s);
  SendMessageA(handle_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(handle_, nullptr, TRUE);
}

int TItemsControl::Count() const { return static_cast<int>(SendMessageA(handle_, msg_.count, 0, 0)); }

std::string TItemsControl::Item(int index) const {
  LRESULT n = SendMessageA(handle_, msg_.get_text_len, static_cast<WPARAM>(index), 0);
  if (n < 0) return {};
  std::string s(static_cast<size_t>(n) + 1, '\0');
  n = SendMessageA(handle_, msg_.get_text, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(s.data()));
  s.resize(n < 0 ? 0 : static_cast<size_t>(n));
  return s;
}

std::vector<std::string> TItemsControl::Items() const {
  std::vector<std::string> all;
  for (int i = 0, n = Count(); i < n; ++i) all.push_back(Item(i));
  return all;
}

int TItemsControl::ItemIndex() const { return static_cast<int>(SendMessageA(handle_, msg_.get_sel, 0, 0)); }

void TItemsControl::SetItemIndex(int index) { SendMessageA(handle_, msg_.set_sel, static_cast<WPARAM>(index), 0); }

HBRUSH TItemsControl::OnCtlColor(HDC dc) {
  const TSkinPainter& p = CurrentPainter();
  SetTextColor(dc, p.Color(Enabled() ? TSkinPart::kText : TSkinPart::kDisabledText));
  SetBkColor(dc, p.Color(TSkinPart::kEditFace));
  return p.Brush(TSkinPart::kEditFace);
}

// ---- TComboBox ----

namespace {
constexpr TItemsControl::Messages kComboMessages{CB_ADDSTRING,   CB_RESETCONTENT, CB_GETCOUNT, CB_GETLBTEXT,
                                                 CB_GETLBTEXTLEN, CB_GETCURSEL,   CB_SETCURSEL};
constexpr TItemsControl::Messages kListMessages{LB_ADDSTRING,   LB_RESETCONTENT, LB_GETCOUNT, LB_GETTEXT,
                                                LB_GETTEXTLEN, LB_GETCURSEL,    LB_SETCURSEL};
}  // namespace

TComboBox::TComboBox(TForm& form, HWND parent, bool editable, int left, int top, int width, int rows_shown)
    : TItemsControl(kComboMessages) {
  // Created short; the height that shows rows_shown rows is set once the row height is known.
  CreateHandle(parent, form.NextControlId(), "COMBOBOX", "",
               (editable ? CBS_DROPDOWN | CBS_AUTOHSCROLL : CBS_DROPDOWNLIST) | WS_VSCROLL | WS_TABSTOP, 0, left, top,
               width, 200);
  const int field = static_cast<int>(SendMessageA(handle_, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  const int row = static_cast<int>(SendMessageA(handle_, CB_GETITEMHEIGHT, 0, 0));
  SendMessageA(handle_, CB_SETMINVISIBLE, static_cast<WPARAM>(rows_shown), 0);
  SetWindowPos(handle_, nullptr, 0, 0, width, field + 8 + row * rows_shown, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TComboBox::SetText(const std::string& text) { SetCaption(text); }

void TComboBox::OnCommand(WORD code) {
  if (code == CBN_SELCHANGE && OnChange) OnChange();
}

// ---- TListBox ----

TListBox::TListBox(TForm& form, HWND parent, int left, int top, int width, int height)
    : TItemsControl(kListMessages) {
  CreateHandle(parent, form.NextControlId(), "LISTBOX", "",
               LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | WS_VSCROLL | WS_BORDER |
                   WS_TABSTOP,
               0, left, top, width, height);
}

void TListBox::OnCommand(WORD code) {
  if (code == LBN_SELCHANGE && OnChange) OnChange();
  if (code == LBN_DBLCLK && OnDblClick) OnDblClick();
}

bool TListBox::OnDrawItem(DRAWITEMSTRUCT* dis) {
  const TSkinPainter& p = CurrentPainter();
  if (dis->itemID == static_cast<UINT>(-1)) {
    FillRect(dis->hDC, &dis->rcItem, p.Brush(TSkinPart::kEditFace));
  } else {
    p.DrawListRow(dis->hDC, dis->rcItem, Item(static_cast<int>(dis->itemID)), (dis->itemState & ODS_SELECTED) != 0,
                  Enabled());
  }
  if (dis->itemState & ODS_FOCUS) DrawFocusRect(dis->hDC, &dis->rcItem);
  return true;
}

// ---- TPanel ----

TPanel::TPanel(TForm& form, HWND parent, const std::string& caption, int left, int top, int width, int height) {
  CreateHandle(parent, form.NextControlId(), kPanelClass, caption, WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
               WS_EX_CONTROLPARENT, left, top, width, height);
}

// ---- TTabControl ----

TTabControl::TTabControl(TForm& form, HWND parent, const std::vector<std::string>& tabs, int tab_width, int left,
                         int top, int width, int height) {
  CreateHandle(parent, form.NextControlId(), WC_TABCONTROLA, "", TCS_FIXEDWIDTH | WS_TABSTOP | WS_CLIPSIBLINGS, 0,
               left, top, width, height);
  SendMessageA(handle_, TCM_SETITEMSIZE, 0, MAKELPARAM(tab_width, CurrentPainter().LineHeight() + 8));
  for (size_t i = 0; i < tabs.size(); ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(tabs[i].c_str());
    SendMessageA(handle_, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&item));
  }
  Subclass();
}

int TTabControl::TabCount() const { return static_cast<int>(SendMessageA(handle_, TCM_GETITEMCOUNT, 0, 0)); }

std::string TTabControl::TabCaption(int index) const {
  char buf[256] = {};
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = buf;
  item.cchTextMax = sizeof buf;
  if (!SendMessageA(handle_, TCM_GETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item))) return {};
  return item.pszText ? std::string(item.pszText) : std::string();
}

void TTabControl::SetTabCaption(int index, const std::string& text) {
  TCITEMA item{};
  item.mask = TCIF_TEXT;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessageA(handle_, TCM_SETITEMA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
  InvalidateRect(handle_, nullptr, FALSE);
}

int TTabControl::TabIndex() const { return static_cast<int>(SendMessageA(handle_, TCM_GETCURSEL, 0, 0)); }

void TTabControl::SetTabIndex(int index) {
  SendMessageA(handle_, TCM_SETCURSEL, static_cast<WPARAM>(index), 0);
  InvalidateRect(handle_, nullptr, FALSE);
}

RECT TTabControl::PageRect() const {
  RECT client;
  GetClientRect(handle_, &client);
  RECT tab{};
  SendMessageA(handle_, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&tab));
  // Inside the panel's one-pixel outline, under the row of tabs.
  RECT r{client.left + 1, tab.bottom + 1, client.right - 1, client.bottom - 1};
  MapWindowPoints(handle_, GetParent(handle_), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LRESULT TTabControl::OnNotify(NMHDR* hdr) {
  if (hdr->code == TCN_SELCHANGE) {
    InvalidateRect(handle_, nullptr, FALSE);
    if (OnChange) OnChange();
  }
  return 0;
}

void TTabControl::Paint(HDC dc) {
  const TSkinPainter& p = CurrentPainter();
  RECT client;
  GetClientRect(handle_, &client);
  TBufferedPaint buf(dc, client);
  HDC d = buf.Dc();
  FillRect(d, &client, p.Brush(background_));
  RECT first{};
  SendMessageA(handle_, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
  RECT panel{client.left, first.bottom, client.right, client.bottom};
  p.DrawPanel(d, panel);
  const int selected = TabIndex();
  const bool focused = GetFocus() == handle_;
  for (int i = 0, n = TabCount(); i < n; ++i) {
    RECT r{};
    SendMessageA(handle_, TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    r.bottom = first.bottom;
    if (i == selected) r.top -= 2;  // the selected tab stands a little taller
    p.DrawTab(d, r, TabCaption(i), i == selected, focused && i == selected);
    if (i == selected) {
      // Open the panel's top line under the selected tab so that both read as one surface.
      RECT gap{r.left + 1, panel.top, r.right - 1, panel.top + 1};
      FillRect(d, &gap, p.Brush(TSkinPart::kPanel));
    }
  }
}

LRESULT TTabControl::WndProc(UINT m, WPARAM w, LPARAM l) {
  LRESULT painted = 0;
  if (SkinPaintMessage(handle_, m, w, [this](HDC dc) { Paint(dc); }, painted)) return painted;
  switch (m) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      LRESULT r = DefaultProc(m, w, l);
      InvalidateRect(handle_, nullptr, FALSE);
      return r;
    }
    default:
      return DefaultProc(m, w, l);
  }
}

// ---- TNotebook ----

TNotebook::TNotebook(TForm& form, HWND parent, const std::vector<std::string>& pages, const RECT& r) {
  const int width = r.right - r.left, height = r.bottom - r.top;
  CreateHandle(parent, form.NextControlId(), kPanelClass, "", WS_CLIPCHILDREN | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
               r.left, r.top, width, height);
  // Above its siblings (the tab strip it lies on), which clip themselves around it.
  SetWindowPos(handle_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  for (const std::string& name : pages) {
    TPanel* page = form.Add<TPanel>(handle_, name, 0, 0, width, height);
    ShowWindow(page->Handle(), pages_.empty() ? SW_SHOW : SW_HIDE);
    pages_.push_back(page);
  }
}

void TNotebook::SetPageIndex(int index) {
  if (index < 0 || index >= PageCount()) return;
  page_index_ = index;
  // Show the new page before hiding the others, so that the area is never empty.
  ShowWindow(pages_[static_cast<size_t>(index)]->Handle(), SW_SHOW);
  for (int i = 0; i < PageCount(); ++i)
    if (i != index) ShowWindow(pages_[static_cast<size_t>(i)]->Handle(), SW_HIDE);
}

}  // namespace sondrel
