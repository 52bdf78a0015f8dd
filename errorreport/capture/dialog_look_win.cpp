#include "errorreport/capture/dialog_look_win.h"

#include <cstddef>

#include "errorreport/capture/error_dialog.h"

namespace sondrel {
namespace {

class PrivateProfileSettings : public DialogSettingsStore {
 public:
  std::string Read(const std::string& key, const std::string& def) override {
    char buf[64] = {};
    // The bare file name: the system keeps it in its Windows folder.
    GetPrivateProfileStringA(kDialogSettingsSection, key.c_str(), def.c_str(), buf, sizeof buf, kDialogSettingsFile);
    return buf;
  }
  void Write(const std::string& key, const std::string& value) override {
    WritePrivateProfileStringA(kDialogSettingsSection, key.c_str(), value.c_str(), kDialogSettingsFile);
  }
};

bool AnsiCharacterSet() {
  CHARSETINFO info{};
  if (!TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<uintptr_t>(GetACP())), &info, TCI_SRCCODEPAGE))
    return true;
  return info.ciCharset == ANSI_CHARSET;
}

int PointsToHeight(int points) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return -MulDiv(points, dpi, 72);
}

HFONT MakeFont(const char* face, int points, int weight, BYTE pitch = DEFAULT_PITCH | FF_DONTCARE) {
  LOGFONTA lf{};
  lf.lfHeight = PointsToHeight(points);
  lf.lfWeight = weight;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = pitch;
  lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectA(&lf);
}

HFONT MessageFont() {
  NONCLIENTMETRICSA m{};
  // The size of the oldest form of the structure, which every system accepts.
  m.cbSize = offsetof(NONCLIENTMETRICSA, iPaddedBorderWidth);
  if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, m.cbSize, &m, 0)) return CreateFontIndirectA(&m.lfMessageFont);
  return MakeFont("MS Shell Dlg", 8, FW_NORMAL);
}

void FillSolid(HDC dc, const RECT& r, COLORREF c) {
  SetBkColor(dc, c);
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

BOOL CALLBACK SetFontProc(HWND child, LPARAM font) {
  SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), FALSE);
  return TRUE;
}

BOOL CALLBACK PlainButtonProc(HWND child, LPARAM) {
  char cls[16] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Button") == 0)
    SetWindowLongA(child, GWL_STYLE, GetWindowLongA(child, GWL_STYLE) & ~static_cast<LONG>(BS_FLAT));
  return TRUE;
}

}  // namespace

DialogSettingsStore& ErrorReportIni() {
  static PrivateProfileSettings store;
  return store;
}

INT_PTR CALLBACK ReporterDialog::Proc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept {
  if (m == WM_INITDIALOG) {
    SetWindowLongPtrA(h, DWLP_USER, l);
    reinterpret_cast<ReporterDialog*>(l)->h_ = h;
  }
  auto* self = reinterpret_cast<ReporterDialog*>(GetWindowLongPtrA(h, DWLP_USER));
  if (!self) return FALSE;
  try {
    return self->OnMessage(m, w, l);
  } catch (...) {
    self->OnFailure();
    return FALSE;
  }
}

HIMAGELIST LoadMaskedBitmaps(std::initializer_list<const char*> names, int size) {
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, static_cast<int>(names.size()), 0);
  if (!list) return nullptr;
  for (const char* name : names) {
    UniqueGdiObject bmp(LoadImageA(ModuleHoldingReporter(), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bmp) continue;
    COLORREF key = RGB(255, 0, 255);
    if (UniqueMemDc dc{CreateCompatibleDC(nullptr)}) {
      HGDIOBJ old = SelectObject(dc.get(), bmp.get());
      key = GetPixel(dc.get(), 0, size - 1);
      SelectObject(dc.get(), old);
    }
    ImageList_AddMasked(list, static_cast<HBITMAP>(bmp.get()), key);
  }
  return list;
}

void SetChildFonts(HWND parent, HFONT font) { EnumChildWindows(parent, SetFontProc, reinterpret_cast<LPARAM>(font)); }

DialogLook::DialogLook(bool painted) : painted_(painted) {
  const bool ansi = AnsiCharacterSet();
  const FontChoice fixed = FixedFontFor(ansi);
  dialog_font_.reset(MessageFont());
  // Where the face is missing, the font mapper must still pick a fixed-width one: the report's tables
  // are aligned by character count.
  fixed_font_.reset(MakeFont(fixed.face, fixed.points, FW_NORMAL, FIXED_PITCH | FF_MODERN));
  caption_font_.reset(MakeFont(CaptionFontFor(ansi), 8, FW_BOLD));
  face_brush_.reset(CreateSolidBrush(kFaceColour));
  white_brush_.reset(CreateSolidBrush(kWhite));
}

int DialogLook::CaptionHeight() const { return GetSystemMetrics(painted_ ? SM_CYSMCAPTION : SM_CYCAPTION); }

void DialogLook::Prepare(HWND dialog) const {
  if (!painted_) {
    SetWindowLongA(dialog, GWL_EXSTYLE, GetWindowLongA(dialog, GWL_EXSTYLE) & ~WS_EX_TOOLWINDOW);
    EnumChildWindows(dialog, PlainButtonProc, 0);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  SendMessageA(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  SetChildFonts(dialog, DialogFont());
}

INT_PTR DialogLook::WhiteControl(HDC dc, HBRUSH white) {
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, kWhite);
  return reinterpret_cast<INT_PTR>(white);
}

void DialogLook::PaintFrame(HWND dialog, const std::string& caption) const {
  RECT wr, cr;
  GetWindowRect(dialog, &wr);
  GetClientRect(dialog, &cr);
  POINT origin{0, 0};
  ClientToScreen(dialog, &origin);
  const int width = wr.right - wr.left, height = wr.bottom - wr.top;
  const int left = origin.x - wr.left, top = origin.y - wr.top;
  const int right = width - left - cr.right, bottom = height - top - cr.bottom;
  HDC dc = GetWindowDC(dialog);
  if (!dc) return;
  const PaintedColours colours = PaintedColoursFor(active_);
  ExcludeClipRect(dc, left, top, left + cr.right, top + cr.bottom);
  const RECT all{0, 0, width, height};
  FillSolid(dc, all, colours.border);
  HBRUSH outer = CreateSolidBrush(colours.outer_frame);
  FrameRect(dc, &all, outer);
  DeleteObject(outer);
  // The caption lies between the top frame (as thick as the bottom one) and the client area.
  RECT bar{left, bottom, width - right, top};
  for (const GradientStep& s : CaptionGradient(bar.top, bar.bottom, colours.caption_start))
    FillSolid(dc, RECT{bar.left, s.top, bar.right, s.bottom}, s.colour);
  RECT text = bar;
  text.left += 4;
  text.right -= 2;
  HGDIOBJ old_font = SelectObject(dc, caption_font_.get());
  SetBkMode(dc, TRANSPARENT);
  const UINT fmt = DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX;
  if (active_) {
    RECT shadow = text;
    OffsetRect(&shadow, 1, 0);
    SetTextColor(dc, kCaptionShadowColour);
    DrawTextA(dc, caption.c_str(), -1, &shadow, fmt);
  }
  SetTextColor(dc, colours.caption_text);
  DrawTextA(dc, caption.c_str(), -1, &text, fmt);
  SelectObject(dc, old_font);
  ReleaseDC(dialog, dc);
}

bool DialogLook::HandleMessage(HWND dialog, UINT m, WPARAM w, LPARAM, const std::string& caption, INT_PTR& result) {
  if (!painted_) return false;
  switch (m) {
    case WM_NCPAINT:
      PaintFrame(dialog, caption);
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, 0);
      result = TRUE;
      return true;
    case WM_NCACTIVATE:
      active_ = w != FALSE;
      PaintFrame(dialog, caption);
      // TRUE lets the activation change go ahead; the system's own caption is not drawn.
      SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
      result = TRUE;
      return true;
    default:
      return ControlColour(m, w, result);
  }
}

bool DialogLook::ControlColour(UINT m, WPARAM w, INT_PTR& result) const {
  if (!painted_ || (m != WM_CTLCOLORDLG && m != WM_CTLCOLORSTATIC && m != WM_CTLCOLORBTN)) return false;
  HDC dc = reinterpret_cast<HDC>(w);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkColor(dc, kFaceColour);
  result = reinterpret_cast<INT_PTR>(FaceBrush());
  return true;
}

}  // namespace sondrel
