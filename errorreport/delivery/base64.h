#pragma once
// Base64 as the mail client writes it: the standard alphabet with "=" padding, 60 input bytes to a
// line (80 characters), every line ended with CR LF, the last one too.
#include <string>
#include <string_view>

namespace sondrel {

// Empty input gives an empty text.
std::string EncodeBase64Lines(std::string_view bytes);

}  // namespace sondrel
