#include "errorreport/delivery/options_block.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

#include "errorreport/delivery/byte_stream.h"
#include "errorreport/delivery/options_mapping.h"

namespace sondrel {
namespace {

// A zlib stream inflated in steps, so that a reader can stop once it has the part it needs. The input
// is either borrowed or, for a stream kept for later, owned.
class StreamInflater {
 public:
  StreamInflater(std::string_view compressed, bool own) {
    if (own) owned_.assign(compressed);
    const std::string_view in = own ? std::string_view(owned_) : compressed;
    ready_ = inflateInit(&z_) == Z_OK;
    z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z_.avail_in = static_cast<uInt>(in.size());
  }
  ~StreamInflater() {
    if (ready_) inflateEnd(&z_);
  }
  StreamInflater(const StreamInflater&) = delete;
  StreamInflater& operator=(const StreamInflater&) = delete;

  // Inflates until at least want bytes are out or the stream stops (its end, an error, the cap).
  void Fill(size_t want) {
    want = std::min(want, kMaxInflatedPayload);
    while (ready_ && !stopped_ && produced_ < want) {
      if (produced_ == out_.size()) {
        if (out_.size() >= kMaxInflatedPayload) {
          stopped_ = true;
          break;
        }
        // Grown by doubling, so that a payload of high ratio is not copied once per step.
        out_.resize(std::min(std::max<size_t>(out_.size() * 2, 64 * 1024), kMaxInflatedPayload));
      }
      z_.next_out = reinterpret_cast<Bytef*>(out_.data() + produced_);
      z_.avail_out = static_cast<uInt>(out_.size() - produced_);
      const int rc = inflate(&z_, Z_NO_FLUSH);
      produced_ = out_.size() - z_.avail_out;
      // Any other result, or no progress with the input exhausted, is a corrupt or truncated stream:
      // stop rather than spin.
      if (rc == Z_STREAM_END) ended_ = true;
      if (rc == Z_STREAM_END || (rc == Z_BUF_ERROR && z_.avail_out != 0) || (rc != Z_OK && rc != Z_BUF_ERROR))
        stopped_ = true;
    }
  }
  std::string_view Out() const { return std::string_view(out_).substr(0, produced_); }
  bool Stopped() const { return stopped_ || !ready_; }
  // The stream ended where its input did: nothing was cut off, nothing follows it.
  bool Whole() const { return ended_ && z_.avail_in == 0; }
  // The inflated bytes [from, from + n), taken out of the inflater.
  std::string Take(size_t from, size_t n) {
    std::string s = std::move(out_);
    s.resize(produced_);
    s.erase(0, from);
    s.resize(n);
    produced_ = 0;
    return s;
  }

 private:
  z_stream z_{};
  std::string owned_;
  std::string out_;
  size_t produced_ = 0;
  bool ready_ = false, stopped_ = false, ended_ = false;
};

// The options stream at the head of a payload and the debug-data length after it; the length of that
// head, or nullopt when the bytes do not hold all of it.
std::optional<size_t> PayloadHead(std::string_view payload, uint16_t version, uint32_t& debug_length) {
  TReportModuleOptions scratch("", false);
  ByteReader probe(payload);
  if (!scratch.LoadFromStream(probe, version)) return std::nullopt;
  auto n = probe.Read<uint32_t>();
  if (!n) return std::nullopt;
  debug_length = *n;
  return probe.Position();
}

// Version, reserved bytes and payload, shared by both forms after their own framing. The payload is
// read twice: first into a scratch object, so that a block that turns out corrupt changes nothing.
std::optional<ModuleBlock> ReadBody(ByteReader& in, bool compressed_form, TReportModuleOptions& options,
                                    bool defer_debug_data) {
  ModuleBlock block;
  block.found = true;
  auto version = in.Read<uint16_t>();
  auto reserved = in.ReadBytes(kBlockReservedSize);
  if (!version || !reserved) return std::nullopt;
  block.version = *version;
  std::copy(reserved->begin(), reserved->end(), block.reserved.begin());

  uint32_t n = 0;
  if (!compressed_form || block.version < kFirstCompressedVersion) {
    const std::string_view payload = in.Rest();
    auto head = PayloadHead(payload, block.version, n);
    if (!head || payload.size() - *head < n) return std::nullopt;
    block.debug_data.assign(payload.substr(*head, n));
    ByteReader real(payload);
    options.LoadFromStream(real, block.version);
    return block;
  }

  // The options are a few kilobytes at the head of a stream of megabytes: inflate more only while
  // they are not whole yet.
  auto inflater = std::make_shared<StreamInflater>(in.Rest(), defer_debug_data);
  std::optional<size_t> head;
  for (size_t want = 16 * 1024; !head; want *= 4) {
    inflater->Fill(want);
    head = PayloadHead(inflater->Out(), block.version, n);
    if (!head && inflater->Stopped()) return std::nullopt;
  }
  if (defer_debug_data && !inflater->Stopped() && n > 0) {
    ByteReader real(inflater->Out());
    options.LoadFromStream(real, block.version);
    const size_t from = *head;
    block.deferred_debug_data = [inflater, from, n]() -> std::string {
      inflater->Fill(kMaxInflatedPayload);
      // A damaged rest gives no line data rather than lines read from damaged bytes.
      const size_t out = inflater->Out().size();
      if (!inflater->Whole() || out < from || out - from < n) return {};
      return inflater->Take(from, n);
    };
    return block;
  }
  inflater->Fill(kMaxInflatedPayload);
  if (!inflater->Whole() || inflater->Out().size() - *head < n) return std::nullopt;
  ByteReader real(inflater->Out());  // only now: filling moves the inflated bytes
  options.LoadFromStream(real, block.version);
  block.debug_data = inflater->Take(*head, n);
  return block;
}

}  // namespace

std::optional<std::string> InflatePayload(std::string_view compressed) {
  StreamInflater inflater(compressed, false);
  inflater.Fill(kMaxInflatedPayload);
  if (!inflater.Whole()) return std::nullopt;
  return inflater.Take(0, inflater.Out().size());
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

std::optional<ModuleBlock> ReadResourceBlock(std::string_view resource, TReportModuleOptions& options,
                                             bool defer_debug_data) {
  if (!HasBlockMagic(resource)) return std::nullopt;
  ByteReader in(resource.substr(4));
  return ReadBody(in, true, options, defer_debug_data);
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
  return ReadBody(in, false, options, false);
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
