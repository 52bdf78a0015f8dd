#pragma once
// Little-endian binary reading and writing for the options stream, the options block and the tool
// that writes them. The reader never reads past its end: every read says whether it succeeded.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace sondrel {

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  size_t Position() const { return pos_; }
  size_t Remaining() const { return bytes_.size() - pos_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }

  // An integer of type T in little-endian order; nullopt (and the position unchanged) when fewer
  // than sizeof(T) bytes are left.
  template <class T>
  std::optional<T> Read() {
    static_assert(std::is_integral_v<T>);
    if (Remaining() < sizeof(T)) return std::nullopt;
    std::make_unsigned_t<T> v = 0;
    for (size_t i = 0; i < sizeof(T); ++i)
      v |= static_cast<std::make_unsigned_t<T>>(static_cast<uint8_t>(bytes_[pos_ + i])) << (8 * i);
    pos_ += sizeof(T);
    return static_cast<T>(v);
  }
  // n bytes, or nullopt when fewer are left.
  std::optional<std::string_view> ReadBytes(size_t n) {
    if (Remaining() < n) return std::nullopt;
    std::string_view r = bytes_.substr(pos_, n);
    pos_ += n;
    return r;
  }
  bool Skip(size_t n) { return ReadBytes(n).has_value(); }
  std::string_view Rest() const { return bytes_.substr(pos_); }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

class ByteWriter {
 public:
  template <class T>
  void Write(T v) {
    static_assert(std::is_integral_v<T>);
    auto u = static_cast<std::make_unsigned_t<T>>(v);
    for (size_t i = 0; i < sizeof(T); ++i) out_ += static_cast<char>((u >> (8 * i)) & 0xFF);
  }
  void WriteBytes(std::string_view b) { out_.append(b); }
  const std::string& Bytes() const { return out_; }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

}  // namespace sondrel
