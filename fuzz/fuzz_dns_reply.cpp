// DNS replies as they come off the network: the first-answer reader, and the name reader started at
// every offset (pointer loops and cut labels must end, never read outside the bytes).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "errorreport/delivery/dns_mx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  sondrel::ReadMxReply(bytes);
  for (size_t start = 0; start < size && start < 512; ++start) {
    size_t pos = start;
    if (auto name = sondrel::ReadDnsName(bytes, pos)) {
      if (pos <= start || pos > size) __builtin_trap();
    }
  }
  return 0;
}
