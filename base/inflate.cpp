#include "base/inflate.h"

#include <zlib.h>

#include <algorithm>

namespace sondrel {

std::optional<std::string> InflateZlib(std::string_view data, size_t max_size) {
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) return std::nullopt;
  std::string out;
  // The output grows in steps so that a stream claiming far more than it holds cannot make us reserve
  // max_size up front; the bound is checked before every step.
  const size_t step = std::max<size_t>(256, data.size() * 2);
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    if (out.size() >= max_size) {
      // Full: the stream may still end exactly here without producing more bytes.
      char probe;
      zs.next_out = reinterpret_cast<Bytef*>(&probe);
      zs.avail_out = 1;
      rc = inflate(&zs, Z_NO_FLUSH);
      if (rc == Z_STREAM_END && zs.avail_out == 1) break;
      rc = Z_BUF_ERROR;
      break;
    }
    const size_t used = out.size();
    const size_t grow = std::min(step, max_size - used);
    out.resize(used + grow);
    zs.next_out = reinterpret_cast<Bytef*>(out.data() + used);
    zs.avail_out = static_cast<uInt>(grow);
    rc = inflate(&zs, Z_NO_FLUSH);
    out.resize(used + grow - zs.avail_out);
    // No progress with input left means the stream is cut short.
    if (rc == Z_BUF_ERROR || (rc == Z_OK && zs.avail_in == 0 && zs.avail_out != 0)) {
      rc = Z_BUF_ERROR;
      break;
    }
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

}  // namespace sondrel
