#include "skin/picture_win.h"

namespace sondrel {

TImage::TImage(TForm& form, HWND parent, int left, int top, int width, int height) {
  CreateHandle(parent, form.NextControlId(), "STATIC", "", SS_OWNERDRAW | SS_NOTIFY, 0, left, top, width, height);
}

bool TImage::LoadJpeg(std::string_view bytes) {
  auto decoded = DecodeJpeg(bytes);
  picture_ = decoded ? std::move(*decoded) : RgbImage{};
  dib_.clear();
  if (decoded) {
    const size_t stride = (static_cast<size_t>(picture_.width) * 3 + 3) & ~size_t{3};
    dib_.assign(stride * picture_.height, 0);
    for (int y = 0; y < picture_.height; ++y) {
      const uint8_t* src = picture_.rgb.data() + static_cast<size_t>(y) * picture_.width * 3;
      uint8_t* dst = dib_.data() + stride * (picture_.height - 1 - y);
      for (int x = 0; x < picture_.width; ++x) {
        dst[x * 3 + 0] = src[x * 3 + 2];
        dst[x * 3 + 1] = src[x * 3 + 1];
        dst[x * 3 + 2] = src[x * 3 + 0];
      }
    }
  }
  InvalidateRect(handle_, nullptr, TRUE);
  return decoded.has_value();
}

void TImage::OnCommand(WORD code) {
  if (code == STN_CLICKED && OnClick) OnClick();
}

bool TImage::OnDrawItem(DRAWITEMSTRUCT* dis) {
  const RECT& r = dis->rcItem;
  if (dib_.empty()) {
    FillRect(dis->hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    return true;
  }
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = picture_.width;
  bi.bmiHeader.biHeight = picture_.height;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 24;
  bi.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dis->hDC, HALFTONE);
  StretchDIBits(dis->hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, 0, 0, picture_.width, picture_.height,
                dib_.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
  return true;
}

}  // namespace sondrel
