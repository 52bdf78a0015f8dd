#pragma once
// JPEG decoding through libjpeg's IJG interface, into 24-bit RGB rows.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace sondrel {

struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel
};

// The decoded picture; nullopt when the bytes are not a JPEG the library can read. Never throws for
// bad input: the library's fatal errors are caught through its error manager.
std::optional<RgbImage> DecodeJpeg(std::string_view bytes);

}  // namespace sondrel
