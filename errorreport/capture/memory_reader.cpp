#include "errorreport/capture/memory_reader.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace sondrel {

void BufferMemory::Add(uint32_t base, std::string bytes, bool readable) {
  regions_[base] = Region{std::move(bytes), readable};
}

std::string& BufferMemory::At(uint32_t base) { return regions_.at(base).bytes; }

const std::pair<const uint32_t, BufferMemory::Region>* BufferMemory::Find(uint32_t address) const {
  auto it = regions_.upper_bound(address);
  if (it == regions_.begin()) return nullptr;
  --it;
  return address - it->first < it->second.bytes.size() ? &*it : nullptr;
}

// Calls piece(region, offset, length) for each region piece of the range, following into the next
// region while the range goes on, as the system's query does; false when a piece is missing or
// unreadable.
template <class Piece>
bool BufferMemory::Walk(uint32_t address, uint32_t length, Piece piece) const {
  uint64_t at = address;
  const uint64_t end = uint64_t{address} + length;
  while (at < end) {
    if (at > UINT32_MAX) return false;
    const auto* r = Find(static_cast<uint32_t>(at));
    if (!r || !r->second.readable) return false;
    const uint64_t offset = at - r->first;
    const uint64_t n = std::min<uint64_t>(end - at, r->second.bytes.size() - offset);
    piece(r->second.bytes, offset, n);
    at += n;
  }
  return true;
}

bool BufferMemory::Readable(uint32_t address, uint32_t length) {
  ++readable_calls;
  return Walk(address, length, [](const std::string&, uint64_t, uint64_t) {});
}

bool BufferMemory::Read(uint32_t address, void* out, uint32_t length) {
  ++read_calls;
  auto* dst = static_cast<char*>(out);
  return Walk(address, length, [&](const std::string& bytes, uint64_t offset, uint64_t n) {
    std::memcpy(dst, bytes.data() + offset, n);
    dst += n;
  });
}

uint32_t BufferMemory::AllocationBase(uint32_t address) {
  const auto* r = Find(address);
  return r ? r->first : 0;
}

}  // namespace sondrel
