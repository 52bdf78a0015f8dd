#include "errorreport/delivery/base64.h"

#include <algorithm>
#include <cstdint>

namespace sondrel {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr size_t kBytesPerLine = 60;

}  // namespace

std::string EncodeBase64Lines(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4 + (bytes.size() / kBytesPerLine + 1) * 2);
  for (size_t line = 0; line < bytes.size(); line += kBytesPerLine) {
    const std::string_view chunk = bytes.substr(line, kBytesPerLine);
    for (size_t i = 0; i < chunk.size(); i += 3) {
      const size_t n = std::min<size_t>(3, chunk.size() - i);
      uint32_t v = 0;
      for (size_t k = 0; k < 3; ++k)
        v = (v << 8) | (k < n ? static_cast<unsigned char>(chunk[i + k]) : 0u);
      for (size_t k = 0; k < 4; ++k) out += k <= n ? kAlphabet[(v >> (18 - 6 * k)) & 0x3F] : '=';
    }
    out += "\r\n";
  }
  return out;
}

}  // namespace sondrel
