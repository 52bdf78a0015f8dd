#pragma once
// Inflating zlib streams held in memory (the stored skin, compressed option payloads).
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace sondrel {

// The inflated bytes of one complete zlib stream; nullopt when the data is not a zlib stream, is cut
// short, fails its checksum, or would inflate to more than max_size bytes. Bytes after the end of the
// stream are ignored.
std::optional<std::string> InflateZlib(std::string_view data, size_t max_size);

}  // namespace sondrel
