#pragma once
// The options block stored in a module: the module's reporting options followed by its line debug data.
//
// Resource form (an RCDATA resource "ERDATA"): magic (4), version V (2), reserved (8), payload; from
// version 450 on the payload is one zlib stream.
// Trailer form (appended to the module file, never compressed): V (2), reserved (8), payload, a 32-bit
// length L of those three, then the magic as the file's last four bytes.
// Payload: an options stream of layout V, a 32-bit length N, N bytes of debug data.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "errorreport/delivery/block_format.h"
#include "errorreport/delivery/report_options.h"

namespace sondrel {

// What a module record keeps of its block. A module without a block has found == false, version
// kLibraryVersion, zero reserved bytes and no debug data.
struct ModuleBlock {
  bool found = false;
  uint16_t version = kLibraryVersion;
  std::array<uint8_t, kBlockReservedSize> reserved{};
  std::string debug_data;
  // Set instead of debug_data when a compressed block was read with its line data left for later:
  // inflates the rest of the stream (at most once) and gives the debug data, or nothing when that rest
  // turns out damaged.
  std::function<std::string()> deferred_debug_data;
};

// Largest payload the reader inflates. Real payloads are far smaller; the cap keeps a hostile stream
// of high ratio from taking all memory.
inline constexpr size_t kMaxInflatedPayload = 64u << 20;

// Inflates a zlib stream; nullopt on any inflation error, a truncated stream, data after its end or
// an output above the cap.
std::optional<std::string> InflatePayload(std::string_view compressed);
// A zlib stream of the bytes at the best compression.
std::string DeflatePayload(std::string_view bytes);

// Reads the resource form. The options are changed only when the whole block is sound; a block that
// fails any check gives nullopt and leaves the options as they were.
// With defer_debug_data, only the head of a compressed payload (the options and the debug-data length)
// is inflated and checked now; the rest waits in deferred_debug_data. A program reads its block before
// its first window and needs the line data only for a report.
std::optional<ModuleBlock> ReadResourceBlock(std::string_view resource, TReportModuleOptions& options,
                                             bool defer_debug_data = false);
// True when the bytes start with the block magic (the test for "this resource is a block").
bool HasBlockMagic(std::string_view resource);

// The length L of a trailer, from the file's last eight bytes and the file size; nullopt when the file
// does not end with the magic or L cannot fit in the file.
std::optional<uint32_t> TrailerBodyLength(std::string_view last_eight, uint64_t file_size);
// Reads the L bytes of a trailer (version, reserved, payload) with the same all-or-nothing rule.
std::optional<ModuleBlock> ReadTrailerBody(std::string_view body, TReportModuleOptions& options);

// Applies options that another module published in its options mapping (payload = flag byte and
// stream), read with the version of the module's own block. False when nothing was published.
bool ApplyPublishedOptions(std::string_view mapping_payload, uint16_t version, TReportModuleOptions& options);

// Writers, for the build tool and the tests: always the layout of kLibraryVersion.
std::string BuildPayload(const TReportModuleOptions& options, std::string_view debug_data);
std::string BuildResourceBlock(const TReportModuleOptions& options, std::string_view debug_data,
                               const std::array<uint8_t, kBlockReservedSize>& reserved = {});
std::string BuildTrailer(const TReportModuleOptions& options, std::string_view debug_data,
                         const std::array<uint8_t, kBlockReservedSize>& reserved = {});

}  // namespace sondrel
