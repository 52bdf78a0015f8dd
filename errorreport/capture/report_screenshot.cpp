#include "errorreport/capture/report_screenshot.h"

#include <cstring>

namespace sondrel {

PngImage PaletteImageFromRows(uint32_t width, uint32_t height, const uint8_t* rows, size_t stride,
                              const uint8_t* bgrx_table) {
  PngImage img;
  img.width = width;
  img.height = height;
  img.kind = PngImage::Kind::kPalette;
  img.pixels.resize(static_cast<size_t>(width) * height);
  for (uint32_t y = 0; y < height; ++y) std::memcpy(&img.pixels[static_cast<size_t>(y) * width], rows + y * stride, width);
  img.palette.resize(256);
  for (size_t i = 0; i < 256; ++i)
    img.palette[i] = {bgrx_table[i * 4 + 2], bgrx_table[i * 4 + 1], bgrx_table[i * 4 + 0]};
  return img;
}

std::string ScreenshotPng(const PngImage& image) { return EncodePng(image, 9, 262143); }

}  // namespace sondrel
