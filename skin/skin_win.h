#pragma once
// The skin turned into GDI objects, and the drawing of every skinned part. Controls stay ordinary
// child windows; only their look comes from here.
#include <windows.h>

#include <array>
#include <string>
#include <string_view>

#include "base/handle_win.h"
#include "skin/skin.h"

namespace sondrel {

struct TButtonLook {
  bool pressed = false;
  bool hot = false;
  bool focused = false;
  bool is_default = false;
  bool enabled = true;
};

struct TCheckLook {
  bool checked = false;
  bool hot = false;
  bool focused = false;
  bool enabled = true;
  bool bold = false;
};

class TSkinPainter {
 public:
  explicit TSkinPainter(TSkin skin);
  TSkinPainter(const TSkinPainter&) = delete;
  TSkinPainter& operator=(const TSkinPainter&) = delete;

  const TSkin& Skin() const { return skin_; }
  COLORREF Color(TSkinPart part) const;
  // Brushes live as long as the painter.
  HBRUSH Brush(TSkinPart part) const;
  HFONT Font(bool bold = false) const { return static_cast<HFONT>(bold ? bold_font_.get() : font_.get()); }
  // Height of a line of text in the regular font, pixels.
  int LineHeight() const { return line_height_; }

  void DrawButton(HDC dc, const RECT& r, std::string_view text, const TButtonLook& look) const;
  // bg is the part the box sits on (the page or the window face).
  void DrawCheckBox(HDC dc, const RECT& r, std::string_view text, const TCheckLook& look, TSkinPart bg) const;
  // One tab; the selected one is drawn joined to the panel below it.
  void DrawTab(HDC dc, const RECT& r, std::string_view text, bool selected, bool focused) const;
  // The panel under the tabs: filled and outlined.
  void DrawPanel(HDC dc, const RECT& r) const;
  // A list row (list boxes).
  void DrawListRow(HDC dc, const RECT& r, std::string_view text, bool selected, bool enabled) const;
  // A one-pixel outline, for edit borders.
  void Outline(HDC dc, const RECT& r, TSkinPart part) const;

 private:
  void RoundRect(HDC dc, const RECT& r, int radius, TSkinPart fill, TSkinPart border) const;

  TSkin skin_;
  std::array<UniqueGdiObject, static_cast<size_t>(TSkinPart::kCount)> brushes_;
  UniqueGdiObject font_, bold_font_;
  int line_height_ = 13;
};

// The bytes of an RCDATA resource of the program, or empty.
std::string_view ResourceBytes(const char* name);

// The skin stored in the program's resources (resource SKIN), or the defaults when it is missing.
TSkin ResourceSkin();

// Draws into a memory bitmap and copies the result to dc in one step, so that nothing flickers.
class TBufferedPaint {
 public:
  TBufferedPaint(HDC target, const RECT& r);
  ~TBufferedPaint();
  TBufferedPaint(const TBufferedPaint&) = delete;
  TBufferedPaint& operator=(const TBufferedPaint&) = delete;
  HDC Dc() const { return mem_.get() ? mem_.get() : target_; }

 private:
  HDC target_;
  RECT r_;
  UniqueMemDc mem_;
  UniqueGdiObject bitmap_;
  HGDIOBJ old_ = nullptr;
};

}  // namespace sondrel
