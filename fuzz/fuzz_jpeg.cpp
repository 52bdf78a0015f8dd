// The JPEG decoder returns for any bytes, without faults or leaks.
#include <cstdint>
#include <string_view>

#include "skin/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)sondrel::DecodeJpeg(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
