#pragma once
// Percent-encoding of the search keyword for the middle of a search address.
#include <string>
#include <string_view>

namespace sondrel {

// Encodes byte by byte and stops at the first byte 0: letters, digits and "*-.@_" stay as they are, a
// blank becomes "+", every other byte (controls, other punctuation, and 128..255 as the byte itself in
// the user's code page, never as UTF-8) becomes "%" and two lower-case hexadecimal digits. The result
// is at most three times as long as the input.
std::string UrlEncode(std::string_view text);

}  // namespace sondrel
