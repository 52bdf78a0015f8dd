#pragma once
// The screenshot that may go with a report: an 8-bit palette picture of the whole screen.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/png.h"

namespace sondrel {

// An 8-bit image from device-independent rows (top-down, each padded to stride bytes) and a colour
// table of 256 entries in blue, green, red, reserved order.
PngImage PaletteImageFromRows(uint32_t width, uint32_t height, const uint8_t* rows, size_t stride,
                              const uint8_t* bgrx_table);
// The PNG bytes of such an image: zlib level 9, IDAT chunks of at most 262143 bytes.
std::string ScreenshotPng(const PngImage& image);

}  // namespace sondrel
