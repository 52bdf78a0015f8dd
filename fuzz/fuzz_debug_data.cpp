// Any byte string read as line debug data of any version parses and answers lookups without faults,
// and every answer lies inside a unit that holds the address.
#include <cstdint>
#include <string>

#include "errorreport/capture/debug_data.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint16_t version = static_cast<uint16_t>(400 + data[0] % 70);
  sondrel::DebugData d(std::string(reinterpret_cast<const char*>(data + 1), size - 1), version);
  for (uint32_t rva = 0xFF8; rva < 0x1400; rva += 3) {
    if (auto info = d.Lookup(rva); info && info->unit.empty()) __builtin_trap();
  }
  (void)d.FindProcedure("Main");
  return 0;
}
