#include "errorreport/capture/report_screenshot_win.h"

#include <stdexcept>
#include <vector>

#include "base/file.h"
#include "errorreport/capture/report_screenshot.h"

namespace sondrel {
namespace {
struct DisplayDcTraits {
  static HDC invalid() noexcept { return nullptr; }
  static void close(HDC h) noexcept { DeleteDC(h); }
};
}  // namespace

bool TScreenCapture::Capture() noexcept {
  Release();
  Unique<HDC, DisplayDcTraits> screen(CreateDCA("DISPLAY", nullptr, nullptr, nullptr));
  if (!screen) return false;
  width_ = GetDeviceCaps(screen.get(), HORZRES);
  height_ = GetDeviceCaps(screen.get(), VERTRES);
  if (width_ <= 0 || height_ <= 0) return false;
  dc_.reset(CreateCompatibleDC(screen.get()));
  bitmap_.reset(CreateCompatibleBitmap(screen.get(), width_, height_));
  if (!dc_ || !bitmap_) {
    Release();
    return false;
  }
  old_bitmap_ = SelectObject(dc_.get(), bitmap_.get());
  BitBlt(dc_.get(), 0, 0, width_, height_, screen.get(), 0, 0, SRCCOPY);
  CURSORINFO ci{};
  ci.cbSize = sizeof ci;
  if (GetCursorInfo(&ci) && (ci.flags & CURSOR_SHOWING) && ci.hCursor) {
    ICONINFO ii{};
    int hx = 0, hy = 0;
    if (GetIconInfo(ci.hCursor, &ii)) {
      hx = static_cast<int>(ii.xHotspot);
      hy = static_cast<int>(ii.yHotspot);
      if (ii.hbmMask) DeleteObject(ii.hbmMask);
      if (ii.hbmColor) DeleteObject(ii.hbmColor);
    }
    DrawIconEx(dc_.get(), ci.ptScreenPos.x - hx, ci.ptScreenPos.y - hy, ci.hCursor, 32, 32, 0, nullptr, DI_NORMAL);
  }
  // On a palette display the picture's indexes only mean something with the system palette.
  if (GetDeviceCaps(screen.get(), RASTERCAPS) & RC_PALETTE) {
    struct {
      LOGPALETTE head;
      PALETTEENTRY more[255];
    } pal{};
    pal.head.palVersion = 0x300;
    pal.head.palNumEntries = 256;
    GetSystemPaletteEntries(screen.get(), 0, 256, pal.head.palPalEntry);
    palette_.reset(CreatePalette(&pal.head));
    if (palette_) {
      SelectPalette(dc_.get(), static_cast<HPALETTE>(palette_.get()), FALSE);
      RealizePalette(dc_.get());
    }
  }
  return true;
}

void TScreenCapture::Save(const std::string& path) const {
  if (!bitmap_) throw std::runtime_error("No screen capture.");
  // 8 bits a pixel: GDI maps the picture onto its 256-colour table while reading it.
  struct {
    BITMAPINFOHEADER head;
    RGBQUAD colours[256];
  } bi{};
  bi.head.biSize = sizeof bi.head;
  bi.head.biWidth = width_;
  bi.head.biHeight = -height_;  // top-down rows
  bi.head.biPlanes = 1;
  bi.head.biBitCount = 8;
  bi.head.biCompression = BI_RGB;
  bi.head.biClrUsed = 256;
  const size_t stride = (static_cast<size_t>(width_) + 3) & ~size_t{3};
  std::vector<uint8_t> rows(stride * static_cast<size_t>(height_));
  // GetDIBits wants the bitmap out of any device context.
  SelectObject(dc_.get(), old_bitmap_);
  const int got = GetDIBits(dc_.get(), static_cast<HBITMAP>(bitmap_.get()), 0, static_cast<UINT>(height_),
                            rows.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
  SelectObject(dc_.get(), bitmap_.get());
  if (got != height_) throw std::runtime_error("Cannot read the screen capture.");
  const PngImage img = PaletteImageFromRows(static_cast<uint32_t>(width_), static_cast<uint32_t>(height_), rows.data(),
                                            stride, reinterpret_cast<const uint8_t*>(bi.colours));
  WriteFileAtomic(path, ScreenshotPng(img));
}

void TScreenCapture::Release() noexcept {
  if (dc_ && old_bitmap_) SelectObject(dc_.get(), old_bitmap_);
  old_bitmap_ = nullptr;
  bitmap_.reset();
  dc_.reset();
  palette_.reset();
  width_ = height_ = 0;
}

std::string ScreenshotPath() {
  char buf[MAX_PATH + 1] = {};
  DWORD n = GetTempPathA(sizeof buf, buf);
  return IncludeBackslash(std::string(buf, n < sizeof buf ? n : 0)) + "Screenshot.png";
}

}  // namespace sondrel
