// Options blocks as found in a module: the bytes as a resource, and the same bytes as a file that may
// end with a trailer.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "errorreport/delivery/options_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  sondrel::TReportModuleOptions o("", false);
  sondrel::ReadResourceBlock(bytes, o);
  if (size >= 8) {
    if (auto length = sondrel::TrailerBodyLength(bytes.substr(size - 8), size))
      sondrel::ReadTrailerBody(bytes.substr(size - 8 - *length, *length), o);
  }
  return 0;
}
