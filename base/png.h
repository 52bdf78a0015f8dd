#pragma once
// A small PNG writer (no interlace, filter 0 on every row), enough for screenshots.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sondrel {

struct PngImage {
  enum class Kind : uint8_t { kRgb = 2, kPalette = 3 };
  uint32_t width = 0;
  uint32_t height = 0;
  Kind kind = Kind::kRgb;
  // Rows from top to bottom without filter bytes: 3 bytes a pixel (R, G, B) for kRgb, one palette
  // index a pixel for kPalette.
  std::vector<uint8_t> pixels;
  std::vector<std::array<uint8_t, 3>> palette;  // kPalette only, at most 256 entries
};

// The PNG file's bytes. The image data is compressed with zlib at the given level and cut into IDAT
// chunks of at most max_idat bytes; every chunk carries the CRC-32 over its type and data.
// Throws std::invalid_argument when the pixel buffer does not match the size and kind.
std::string EncodePng(const PngImage& image, int level = 9, size_t max_idat = 262143);

}  // namespace sondrel
