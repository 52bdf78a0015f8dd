#include "skin/skin_win.h"

namespace sondrel {
namespace {

COLORREF ToColorRef(TSkinColor c) { return RGB(c.r, c.g, c.b); }

// Selects an object into a DC for one scope.
class TSelect {
 public:
  TSelect(HDC dc, HGDIOBJ obj) : dc_(dc), old_(SelectObject(dc, obj)) {}
  ~TSelect() { SelectObject(dc_, old_); }
  TSelect(const TSelect&) = delete;
  TSelect& operator=(const TSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

void DrawTextIn(HDC dc, RECT r, std::string_view text, HFONT font, COLORREF color, UINT format) {
  TSelect f(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, color);
  DrawTextA(dc, text.data(), static_cast<int>(text.size()), &r, format);
}

}  // namespace

TSkinPainter::TSkinPainter(TSkin skin) : skin_(std::move(skin)) {
  for (size_t i = 0; i < brushes_.size(); ++i) brushes_[i].reset(CreateSolidBrush(ToColorRef(skin_.colors[i])));
  HDC screen = GetDC(nullptr);
  LOGFONTA lf{};
  lf.lfHeight = -MulDiv(skin_.font_size, GetDeviceCaps(screen, LOGPIXELSY), 72);
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  lstrcpynA(lf.lfFaceName, skin_.font_name.c_str(), LF_FACESIZE);
  font_.reset(CreateFontIndirectA(&lf));
  lf.lfWeight = FW_BOLD;
  bold_font_.reset(CreateFontIndirectA(&lf));
  if (!font_) font_.reset(GetStockObject(DEFAULT_GUI_FONT));  // stock objects ignore DeleteObject
  if (!bold_font_) bold_font_.reset(GetStockObject(DEFAULT_GUI_FONT));
  {
    TSelect f(screen, font_.get());
    TEXTMETRICA tm{};
    if (GetTextMetricsA(screen, &tm)) line_height_ = tm.tmHeight;
  }
  ReleaseDC(nullptr, screen);
}

COLORREF TSkinPainter::Color(TSkinPart part) const { return ToColorRef(skin_.Color(part)); }

HBRUSH TSkinPainter::Brush(TSkinPart part) const {
  return static_cast<HBRUSH>(brushes_[static_cast<size_t>(part)].get());
}

void TSkinPainter::RoundRect(HDC dc, const RECT& r, int radius, TSkinPart fill, TSkinPart border) const {
  UniqueGdiObject pen(CreatePen(PS_SOLID, 1, Color(border)));
  TSelect p(dc, pen.get());
  TSelect b(dc, Brush(fill));
  if (radius > 0)
    ::RoundRect(dc, r.left, r.top, r.right, r.bottom, radius * 2, radius * 2);
  else
    ::Rectangle(dc, r.left, r.top, r.right, r.bottom);
}

void TSkinPainter::Outline(HDC dc, const RECT& r, TSkinPart part) const { FrameRect(dc, &r, Brush(part)); }

void TSkinPainter::DrawButton(HDC dc, const RECT& r, std::string_view text, const TButtonLook& look) const {
  TSkinPart fill = TSkinPart::kButtonFace;
  if (!look.enabled)
    fill = TSkinPart::kFace;
  else if (look.pressed)
    fill = TSkinPart::kButtonPressed;
  else if (look.hot)
    fill = TSkinPart::kButtonHot;
  const TSkinPart border = look.enabled && (look.is_default || look.focused) ? TSkinPart::kAccent : TSkinPart::kBorder;
  RoundRect(dc, r, skin_.corner_radius, fill, border);
  if (look.enabled && look.is_default) {
    // The default button carries a second accent line inside the first, so it reads as the one Enter presses.
    RECT in{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    UniqueGdiObject pen(CreatePen(PS_SOLID, 1, Color(TSkinPart::kAccent)));
    TSelect p(dc, pen.get());
    TSelect b(dc, GetStockObject(NULL_BRUSH));
    const int radius = skin_.corner_radius > 1 ? skin_.corner_radius - 1 : 0;
    ::RoundRect(dc, in.left, in.top, in.right, in.bottom, radius * 2, radius * 2);
  }
  RECT tr = r;
  if (look.pressed) OffsetRect(&tr, 1, 1);
  DrawTextIn(dc, tr, text, Font(false), Color(look.enabled ? TSkinPart::kText : TSkinPart::kDisabledText),
             DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  if (look.focused && look.enabled) {
    RECT fr{r.left + 3, r.top + 3, r.right - 3, r.bottom - 3};
    SetTextColor(dc, Color(TSkinPart::kText));
    SetBkColor(dc, Color(fill));
    DrawFocusRect(dc, &fr);
  }
}

void TSkinPainter::DrawCheckBox(HDC dc, const RECT& r, std::string_view text, const TCheckLook& look,
                                TSkinPart bg) const {
  FillRect(dc, &r, Brush(bg));
  const int size = skin_.check_size;
  const int top = r.top + (r.bottom - r.top - size) / 2;
  RECT box{r.left + 1, top, r.left + 1 + size, top + size};
  TSkinPart fill = TSkinPart::kEditFace, border = TSkinPart::kBorder;
  if (!look.enabled)
    fill = TSkinPart::kFace;
  else if (look.checked)
    fill = border = TSkinPart::kAccent;
  else if (look.hot)
    border = TSkinPart::kAccent;
  RoundRect(dc, box, skin_.corner_radius > 2 ? 2 : skin_.corner_radius, fill, border);
  if (look.checked) {
    // A tick drawn as two strokes, scaled to the box.
    UniqueGdiObject pen(CreatePen(PS_SOLID, 2, Color(look.enabled ? TSkinPart::kCheckMark : TSkinPart::kDisabledText)));
    TSelect p(dc, pen.get());
    POINT pts[3] = {{box.left + size * 3 / 13, box.top + size * 6 / 13},
                    {box.left + size * 5 / 13, box.top + size * 9 / 13},
                    {box.left + size * 10 / 13, box.top + size * 3 / 13}};
    Polyline(dc, pts, 3);
  }
  RECT tr{box.right + 4, r.top, r.right, r.bottom};
  const UINT format = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS;
  DrawTextIn(dc, tr, text, Font(look.bold), Color(look.enabled ? TSkinPart::kText : TSkinPart::kDisabledText),
             format);
  if (look.focused) {
    RECT fr = tr;
    TSelect f(dc, Font(look.bold));
    DrawTextA(dc, text.data(), static_cast<int>(text.size()), &fr, format | DT_CALCRECT);
    InflateRect(&fr, 1, 0);
    fr.top = r.top;
    fr.bottom = r.bottom;
    if (fr.right > r.right) fr.right = r.right;
    SetTextColor(dc, Color(TSkinPart::kText));
    SetBkColor(dc, Color(bg));
    DrawFocusRect(dc, &fr);
  }
}

void TSkinPainter::DrawTab(HDC dc, const RECT& r, std::string_view text, bool selected, bool focused) const {
  const int radius = skin_.corner_radius;
  // The rounded top only: draw the tab taller and let the panel line cover the bottom.
  RECT body{r.left, r.top, r.right, r.bottom + radius + 1};
  RoundRect(dc, body, radius, selected ? TSkinPart::kPanel : TSkinPart::kTabFace, TSkinPart::kBorder);
  if (selected) {
    RECT accent{r.left + 1, r.top + 1, r.right - 1, r.top + 3};
    FillRect(dc, &accent, Brush(TSkinPart::kAccent));
  }
  DrawTextIn(dc, r, text, Font(selected), Color(TSkinPart::kText),
             DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (focused) {
    RECT fr{r.left + 3, r.top + 4, r.right - 3, r.bottom - 2};
    SetTextColor(dc, Color(TSkinPart::kText));
    SetBkColor(dc, Color(TSkinPart::kPanel));
    DrawFocusRect(dc, &fr);
  }
}

void TSkinPainter::DrawPanel(HDC dc, const RECT& r) const {
  FillRect(dc, &r, Brush(TSkinPart::kPanel));
  Outline(dc, r, TSkinPart::kBorder);
}

void TSkinPainter::DrawListRow(HDC dc, const RECT& r, std::string_view text, bool selected, bool enabled) const {
  FillRect(dc, &r, Brush(selected ? TSkinPart::kSelection : TSkinPart::kEditFace));
  RECT tr{r.left + 3, r.top, r.right - 2, r.bottom};
  TSkinPart color = selected ? TSkinPart::kSelectionText : TSkinPart::kText;
  if (!enabled) color = TSkinPart::kDisabledText;
  DrawTextIn(dc, tr, text, Font(false), Color(color), DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

std::string_view ResourceBytes(const char* name) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC res = FindResourceA(module, name, MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (!res) return {};
  HGLOBAL data = LoadResource(module, res);
  const void* p = data ? LockResource(data) : nullptr;
  return p ? std::string_view(static_cast<const char*>(p), SizeofResource(module, res)) : std::string_view();
}

TSkin ResourceSkin() {
  std::string_view stored = ResourceBytes("SKIN");
  return stored.empty() ? DefaultSkin() : LoadStoredSkin(stored);
}

TBufferedPaint::TBufferedPaint(HDC target, const RECT& r) : target_(target), r_(r) {
  mem_.reset(CreateCompatibleDC(target));
  if (!mem_) return;
  bitmap_.reset(CreateCompatibleBitmap(target, r.right - r.left, r.bottom - r.top));
  if (!bitmap_) {
    mem_.reset();
    return;
  }
  old_ = SelectObject(mem_.get(), bitmap_.get());
  SetWindowOrgEx(mem_.get(), r.left, r.top, nullptr);
}

TBufferedPaint::~TBufferedPaint() {
  if (!mem_) return;
  BitBlt(target_, r_.left, r_.top, r_.right - r_.left, r_.bottom - r_.top, mem_.get(), r_.left, r_.top, SRCCOPY);
  SelectObject(mem_.get(), old_);
}

}  // namespace sondrel
