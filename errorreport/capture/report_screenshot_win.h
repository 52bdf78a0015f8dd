#pragma once
// Screen capture for a report: taken before the handlers run, saved as a PNG only when the report is
// sent with a screenshot, released after the dialog.
#include <windows.h>

#include <string>

#include "base/handle_win.h"

namespace sondrel {

class TScreenCapture {
 public:
  TScreenCapture() = default;
  TScreenCapture(const TScreenCapture&) = delete;
  TScreenCapture& operator=(const TScreenCapture&) = delete;

  // Copies the whole screen with the mouse cursor drawn in; false when the display could not be read.
  bool Capture() noexcept;
  bool Captured() const { return static_cast<bool>(bitmap_); }
  // Writes the capture as an 8-bit palette PNG; raises EOSError or std::exception on failure.
  void Save(const std::string& path) const;
  void Release() noexcept;
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  UniqueMemDc dc_;
  UniqueGdiObject bitmap_;
  UniqueGdiObject palette_;
  HGDIOBJ old_bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// The temporary folder + "Screenshot.png".
std::string ScreenshotPath();

}  // namespace sondrel
