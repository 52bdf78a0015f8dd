#pragma once
// A bounds-checked little-endian view over bytes that came from outside: an image in memory, a debug
// stream, a block read from a file. Every read says whether it fitted, so that a length field taken
// from the data is checked against what is left before it is used.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace sondrel {

class ByteView {
 public:
  ByteView() = default;
  explicit ByteView(std::string_view bytes) : bytes_(bytes) {}

  size_t size() const noexcept { return bytes_.size(); }
  std::string_view bytes() const noexcept { return bytes_; }

  // The integer stored little-endian at offset; nullopt when it does not fit.
  template <class T>
  std::optional<T> read(size_t offset) const noexcept {
    static_assert(std::is_integral_v<T>);
    if (offset > bytes_.size() || bytes_.size() - offset < sizeof(T)) return std::nullopt;
    std::make_unsigned_t<T> v = 0;
    for (size_t i = sizeof(T); i-- > 0;)
      v = static_cast<std::make_unsigned_t<T>>((v << 8) | static_cast<unsigned char>(bytes_[offset + i]));
    return static_cast<T>(v);
  }
  // length bytes at offset, or nullopt when they do not fit.
  std::optional<std::string_view> slice(size_t offset, size_t length) const noexcept {
    if (offset > bytes_.size() || bytes_.size() - offset < length) return std::nullopt;
    return bytes_.substr(offset, length);
  }

 private:
  std::string_view bytes_;
};

// Reads values one after another; the first read that does not fit marks the cursor failed, and every
// later read fails too, so a parser can read a whole record and check once.
class ByteCursor {
 public:
  explicit ByteCursor(ByteView view, size_t pos = 0) : view_(view), pos_(pos) {}

  template <class T>
  T take() noexcept {
    auto v = ok_ ? view_.read<T>(pos_) : std::nullopt;
    if (!v) {
      ok_ = false;
      return T{};
    }
    pos_ += sizeof(T);
    return *v;
  }
  std::string_view take_bytes(size_t length) noexcept {
    auto v = ok_ ? view_.slice(pos_, length) : std::nullopt;
    if (!v) {
      ok_ = false;
      return {};
    }
    pos_ += length;
    return *v;
  }
  bool ok() const noexcept { return ok_; }
  size_t pos() const noexcept { return pos_; }
  bool at_end() const noexcept { return pos_ >= view_.size(); }

 private:
  ByteView view_;
  size_t pos_;
  bool ok_ = true;
};

// Appends little-endian integers, for the writers of the same formats.
template <class T>
void AppendLE(std::string& out, T value) {
  static_assert(std::is_integral_v<T>);
  auto v = static_cast<std::make_unsigned_t<T>>(value);
  for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace sondrel
