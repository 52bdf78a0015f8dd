#pragma once
// Builds options streams byte by byte for tests, so that layouts of older versions can be written
// exactly as a test states them.
#include <cstdint>
#include <string>
#include <string_view>

#include "errorreport/delivery/block_format.h"

namespace sondrel::test {

class StreamBuilder {
 public:
  StreamBuilder& b(uint8_t v) { s_ += static_cast<char>(v); return *this; }
  StreamBuilder& u16(uint16_t v) { return b(v & 0xFF).b(v >> 8); }
  StreamBuilder& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
  StreamBuilder& str(std::string_view v) {
    u32(static_cast<uint32_t>(v.size()));
    for (char c : v) b(static_cast<uint8_t>(c ^ kStreamStringKey));
    return *this;
  }
  StreamBuilder& raw(std::string_view v) { s_ += v; return *this; }
  const std::string& bytes() const { return s_; }

 private:
  std::string s_;
};

}  // namespace sondrel::test
