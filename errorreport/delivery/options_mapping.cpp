#include "errorreport/delivery/options_mapping.h"

#include <cstdio>

#include "errorreport/delivery/byte_stream.h"

namespace sondrel {

std::string OptionsMappingName(uint32_t process_id, uintptr_t module_handle) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%08X%08XMODULE", static_cast<unsigned>(process_id),
                static_cast<unsigned>(module_handle & 0xFFFFFFFFu));
  return buf;
}

std::string EncodeOptionsMapping(std::string_view payload) {
  ByteWriter out;
  out.Write<uint32_t>(static_cast<uint32_t>(payload.size() + 4));
  out.WriteBytes(payload);
  return out.Take();
}

std::optional<std::string_view> DecodeOptionsMapping(std::string_view available) {
  ByteReader in(available);
  auto total = in.Read<uint32_t>();
  if (!total || *total < 4 || *total > available.size()) return std::nullopt;
  return available.substr(4, *total - 4);
}

std::optional<std::string_view> PublishedOptionsStream(std::string_view payload) {
  if (payload.empty() || payload[0] == 0) return std::nullopt;
  return payload.substr(1);
}

}  // namespace sondrel
