#pragma once
// Sequential little-endian reading and writing for the options stream and block, over the shared
// bounds-checked view. Unlike ByteCursor, each read reports its own success, because the options
// reader must stop at the first field that is missing and keep the fields before it.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "errorreport/capture/byte_view.h"

namespace sondrel {

class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : view_(bytes) {}

  size_t Position() const { return pos_; }
  size_t Remaining() const { return view_.size() - pos_; }
  bool AtEnd() const { return pos_ == view_.size(); }

  // An integer of type T; nullopt (position unchanged) when fewer than sizeof(T) bytes are left.
  template <class T>
  std::optional<T> Read() {
    auto v = view_.read<T>(pos_);
    if (v) pos_ += sizeof(T);
    return v;
  }
  // n bytes, or nullopt when fewer are left.
  std::optional<std::string_view> ReadBytes(size_t n) {
    auto v = view_.slice(pos_, n);
    if (v) pos_ += n;
    return v;
  }
  bool Skip(size_t n) { return ReadBytes(n).has_value(); }
  std::string_view Rest() const { return view_.bytes().substr(pos_); }

 private:
  ByteView view_;
  size_t pos_ = 0;
};

class ByteWriter {
 public:
  template <class T>
  void Write(T v) {
    AppendLE(out_, v);
  }
  void WriteBytes(std::string_view b) { out_.append(b); }
  const std::string& Bytes() const { return out_; }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

}  // namespace sondrel
