#include "errorreport/delivery/options_block.h"

#include <zlib.h>

#include <algorithm>

#include "errorreport/delivery/byte_stream.h"
#include "errorreport/delivery/options_mapping.h"

namespace sondrel {
namespace {

// Version, reserved bytes and payload, shared by both forms after their own framing. The payload is
// read twice: first into a scratch object, so that a block that turns out corrupt changes nothing.
std::optional<ModuleBlock> ReadBody(ByteReader& in, bool compressed_form, TReportModuleOptions& options) {
  ModuleBlock block;
  block.found = true;
  auto version = in.Read<uint16_t>();
  auto reserved = in.ReadBytes(kBlockReservedSize);
  if (!version || !reserved) return std::nullopt;
  block.version = *version;
  std::copy(reserved->begin(), reserved->end(), block.reserved.begin());

  std::string inflated;
  std::string_view payload = in.Rest();
  if (compressed_form && block.version >= kFirstCompressedVersion) {
    auto out = InflatePayload(payload);
    if (!out) return std::nullopt;
    inflated = std::move(*out);
    payload = inflated;
  }

  TReportModuleOptions scratch("", false);
  ByteReader probe(payload);
  if (!scratch.LoadFromStream(probe, block.version)) return std::nullopt;
  auto n = probe.Read<uint32_t>();
  if (!n) return std::nullopt;
  auto debug = probe.ReadBytes(*n);
  if (!debug) return std::nullopt;
  block.debug_data.assign(*debug);

  ByteReader real(payload);
  options.LoadFromStream(real, block.version);
  return block;
}

}  // namespace

std::optional<std::string> InflatePayload(std::string_view compressed) {
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return std::nullopt;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  z.avail_in = static_cast<uInt>(compressed.size());
  // First size: the compressed length rounded up to 256; grown by doubling, so that a payload of high
  // ratio is not copied once per step.
  std::string out((compressed.size() + 255) / 256 * 256 + 256, '\0');
  size_t produced = 0;
  int rc = Z_OK;
  while (true) {
    if (produced == out.size()) {
      if (out.size() >= kMaxInflatedPayload) break;
      out.resize(std::min(out.size() * 2, kMaxInflatedPayload));
    }
    z.next_out = reinterpret_cast<Bytef*>(out.data() + produced);
    z.avail_out = static_cast<uInt>(out.size() - produced);
    rc = inflate(&z, Z_NO_FLUSH);
    produced = out.size() - z.avail_out;
    // Any other result, or no progress with input exhausted, is a corrupt or truncated stream: stop
    // rather than spin.
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR && z.avail_out != 0) break;
    if (rc != Z_OK && rc != Z_BUF_ERROR) break;
  }
  const bool whole = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  if (!whole) return std::nullopt;
  out.resize(produced);
  return out;
}

std::string DeflatePayload(std::string_view bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
            static_cast<uLong>(bytes.size()), Z_BEST_COMPRESSION);
  out.resize(size);
  return out;
}

bool HasBlockMagic(std::string_view resource) {
  ByteReader in(resource);
  auto magic = in.Read<uint32_t>();
  return magic && *magic == kOptionsBlockMagic;
}

std::optional<ModuleBlock> ReadResourceBlock(std::string_view resource, TReportModuleOptions& options) {
  if (!HasBlockMagic(resource)) return std::nullopt;
  ByteReader in(resource.substr(4));
  return ReadBody(in, true, options);
}

std::optional<uint32_t> TrailerBodyLength(std::string_view last_eight, uint64_t file_size) {
  ByteReader in(last_eight);
  auto length = in.Read<uint32_t>();
  auto magic = in.Read<uint32_t>();
  if (!length || !magic || *magic != kOptionsBlockMagic) return std::nullopt;
  if (*length < 2 + kBlockReservedSize || uint64_t{*length} + 8 > file_size) return std::nullopt;
  return *length;
}

std::optional<ModuleBlock> ReadTrailerBody(std::string_view body, TReportModuleOptions& options) {
  ByteReader in(body);
  return ReadBody(in, false, options);
}

bool ApplyPublishedOptions(std::string_view mapping_payload, uint16_t version, TReportModuleOptions& options) {
  auto stream = PublishedOptionsStream(mapping_payload);
  if (!stream) return false;
  ByteReader in(*stream);
  options.LoadFromStream(in, version);
  return true;
}

std::string BuildPayload(const TReportModuleOptions& options, std::string_view debug_data) {
  ByteWriter out;
  options.SaveToStream(out);
  out.Write<uint32_t>(static_cast<uint32_t>(debug_data.size()));
  out.WriteBytes(debug_data);
  return out.Take();
}

std::string BuildResourceBlock(const TReportModuleOptions& options, std::string_view debug_data,
                               const std::array<uint8_t, kBlockReservedSize>& reserved) {
  ByteWriter out;
  out.Write<uint32_t>(kOptionsBlockMagic);
  out.Write<uint16_t>(kLibraryVersion);
  for (uint8_t b : reserved) out.Write<uint8_t>(b);
  out.WriteBytes(DeflatePayload(BuildPayload(options, debug_data)));
  return out.Take();
}

std::string BuildTrailer(const TReportModuleOptions& options, std::string_view debug_data,
                         const std::array<uint8_t, kBlockReservedSize>& reserved) {
  ByteWriter out;
  out.Write<uint16_t>(kLibraryVersion);
  for (uint8_t b : reserved) out.Write<uint8_t>(b);
  out.WriteBytes(BuildPayload(options, debug_data));
  const uint32_t length = static_cast<uint32_t>(out.Bytes().size());
  out.Write<uint32_t>(length);
  out.Write<uint32_t>(kOptionsBlockMagic);
  return out.Take();
}

}  // namespace sondrel
