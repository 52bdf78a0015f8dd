#pragma once
// A clickable picture that shows a JPEG image stretched to its size.
#include <functional>
#include <string_view>

#include "skin/forms_win.h"
#include "skin/jpeg.h"
#include "skin/skin_win.h"

namespace sondrel {

class TImage : public TControl {
 public:
  TImage(TForm& form, HWND parent, int left, int top, int width, int height);
  // Decodes the JPEG bytes; false (and an empty picture) when they cannot be decoded.
  bool LoadJpeg(std::string_view bytes);
  const RgbImage& Picture() const { return picture_; }
  std::function<void()> OnClick;

  void OnCommand(WORD code) override;
  bool OnDrawItem(DRAWITEMSTRUCT* dis) override;

 private:
  RgbImage picture_;
  std::vector<uint8_t> dib_;  // the picture as a bottom-up 24-bit DIB, rows padded to 4 bytes
};

}  // namespace sondrel
