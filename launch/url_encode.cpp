#include "launch/url_encode.h"

namespace sondrel {
namespace {

bool KeptAsIs(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' || c == '-' ||
         c == '.' || c == '@' || c == '_';
}

}  // namespace

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size() * 3);
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == 0) break;  // the keyword box never holds more than a C string
    if (KeptAsIs(c)) {
      out += ch;
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0f];
    }
  }
  return out;
}

}  // namespace sondrel
