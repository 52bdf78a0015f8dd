// Options streams of any version: the first two bytes pick the layout version, the rest is the stream.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "errorreport/delivery/block_format.h"
#include "errorreport/delivery/byte_stream.h"
#include "errorreport/delivery/report_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint16_t version = static_cast<uint16_t>(data[0] | data[1] << 8);
  sondrel::TReportModuleOptions o("", false);
  sondrel::ByteReader in(std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2));
  if (o.LoadFromStream(in, version)) {
    // Whatever loaded must save to a stream that loads again.
    sondrel::ByteWriter w;
    o.SaveToStream(w);
    sondrel::TReportModuleOptions again("", false);
    sondrel::ByteReader r(w.Bytes());
    if (!again.LoadFromStream(r, sondrel::kLibraryVersion)) __builtin_trap();
  }
  return 0;
}
