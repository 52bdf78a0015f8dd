#pragma once
// What the reporter's dialogs share: the module whose resources hold their templates, the fonts and
// brushes of one dialog, and the painted style (own caption and frame, face-coloured backgrounds).
#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <string>

#include "base/handle_win.h"
#include "errorreport/delivery/reporter_module_win.h"

namespace sondrel {

// A private-profile section of "ErrorReport.ini" in the system's Windows folder.
class DialogSettingsStore;
DialogSettingsStore& ErrorReportIni();

class DialogLook {
 public:
  // Fonts and brushes are made here and freed with the object.
  explicit DialogLook(bool painted);
  bool Painted() const { return painted_; }
  HFONT DialogFont() const { return static_cast<HFONT>(dialog_font_.get()); }
  HFONT FixedFont() const { return static_cast<HFONT>(fixed_font_.get()); }
  HBRUSH FaceBrush() const { return static_cast<HBRUSH>(face_brush_.get()); }
  HBRUSH WhiteBrush() const { return static_cast<HBRUSH>(white_brush_.get()); }
  // The caption height in use: the small caption for the painted style, else the normal one.
  int CaptionHeight() const;

  // Right after the template made the dialog: without the painted style the tool-window frame and the
  // flat buttons and boxes go; every control gets the dialog font.
  void Prepare(HWND dialog) const;
  // The painted style's share of a dialog procedure: its own caption and frame on non-client paint and
  // activation changes, face-coloured dialog and static backgrounds. True when the message was
  // handled; result is then what the dialog procedure returns.
  bool HandleMessage(HWND dialog, UINT m, WPARAM w, LPARAM l, const std::string& caption, INT_PTR& result);
  void PaintFrame(HWND dialog, const std::string& caption) const;
  // The painted style's face-coloured dialog, static and button backgrounds (child pages use only this).
  bool ControlColour(UINT m, WPARAM w, INT_PTR& result) const;
  // Colours a static-like control (read-only memo, static text) white.
  static INT_PTR WhiteControl(HDC dc, HBRUSH white);

 private:
  bool painted_;
  bool active_ = true;
  UniqueGdiObject dialog_font_, fixed_font_, caption_font_, face_brush_, white_brush_;
};

// A dialog object: its procedure finds the object (handed over with WM_INITDIALOG) and lets nothing
// escape into the system.
class ReporterDialog {
 public:
  virtual ~ReporterDialog() = default;

 protected:
  static INT_PTR CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept;
  virtual INT_PTR OnMessage(UINT m, WPARAM w, LPARAM l) = 0;
  // After something escaped OnMessage: a modal dialog that cannot go on closes.
  virtual void OnFailure() {}
  HWND h_ = nullptr;
};

// The bitmaps of the reporter's resources, each size by size pixels, in one image list with each
// bitmap's bottom-left pixel colour as transparent. Null when the list cannot be made.
HIMAGELIST LoadMaskedBitmaps(std::initializer_list<const char*> names, int size);

// Sets the font of every child window of parent.
void SetChildFonts(HWND parent, HFONT font);

}  // namespace sondrel
