// The skin description reader returns a usable skin for any text, and for any stored (compressed)
// bytes, without faults or leaks; what it returns always stays within the ranges it promises.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "skin/skin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (const sondrel::TSkin& skin : {sondrel::ParseSkin(bytes), sondrel::LoadStoredSkin(bytes)}) {
    if (skin.font_size < 6 || skin.font_size > 24) std::abort();
    if (skin.corner_radius < 0 || skin.corner_radius > 12) std::abort();
    if (skin.check_size < 9 || skin.check_size > 20) std::abort();
    if (skin.font_name.empty() || skin.font_name.size() > 31) std::abort();
  }
  return 0;
}
