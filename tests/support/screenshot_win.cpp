#include "tests/support/screenshot_win.h"

#include <stdexcept>

#include "base/file.h"
#include "base/handle_win.h"
#include "tests/support/process_win.h"

namespace sondrel::test {

PngImage CaptureWindow(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  const int w = r.right - r.left, hgt = r.bottom - r.top;
  if (w <= 0 || hgt <= 0) throw std::runtime_error("CaptureWindow: the window has no area");
  HDC screen = GetDC(nullptr);
  UniqueMemDc mem(CreateCompatibleDC(screen));
  UniqueGdiObject bmp(CreateCompatibleBitmap(screen, w, hgt));
  HGDIOBJ old = SelectObject(mem.get(), bmp.get());
  BitBlt(mem.get(), 0, 0, w, hgt, screen, r.left, r.top, SRCCOPY | CAPTUREBLT);
  SelectObject(mem.get(), old);

  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -hgt;  // top-down rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  std::vector<uint8_t> bgra(static_cast<size_t>(w) * hgt * 4);
  GetDIBits(mem.get(), static_cast<HBITMAP>(bmp.get()), 0, hgt, bgra.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);

  PngImage img;
  img.width = static_cast<uint32_t>(w);
  img.height = static_cast<uint32_t>(hgt);
  img.kind = PngImage::Kind::kRgb;
  img.pixels.resize(static_cast<size_t>(w) * hgt * 3);
  for (size_t i = 0, n = static_cast<size_t>(w) * hgt; i < n; ++i) {
    img.pixels[i * 3 + 0] = bgra[i * 4 + 2];
    img.pixels[i * 3 + 1] = bgra[i * 4 + 1];
    img.pixels[i * 3 + 2] = bgra[i * 4 + 0];
  }
  return img;
}

std::string ScreenshotFolder() {
  char env[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("SONDREL_SCREENSHOTS", env, sizeof env);
  std::string folder = n && n < sizeof env ? IncludeBackslash(env) : ProgramFolder() + "..\\..\\screenshots\\";
  ForceDirectories(folder);
  return folder;
}

uint32_t CaptionTopColour(HWND h) {
  const PngImage shot = CaptureWindow(h);
  RECT wr;
  GetWindowRect(h, &wr);
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  const int frame = origin.x - wr.left;
  const size_t at = (static_cast<size_t>(frame) * shot.width + shot.width / 2) * 3;
  return shot.pixels[at] << 16 | shot.pixels[at + 1] << 8 | shot.pixels[at + 2];
}

int DarkPixels(HWND h) {
  const PngImage img = CaptureWindow(h);
  int n = 0;
  for (size_t i = 0; i + 2 < img.pixels.size(); i += 3)
    if (img.pixels[i] + img.pixels[i + 1] + img.pixels[i + 2] < 300) ++n;
  return n;
}

std::string SaveScreenshot(HWND h, const std::string& name) {
  // Let the window finish painting before the capture.
  RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  const std::string path = ScreenshotFolder() + name + ".png";
  WriteFileAtomic(path, EncodePng(CaptureWindow(h)));
  return path;
}

}  // namespace sondrel::test
