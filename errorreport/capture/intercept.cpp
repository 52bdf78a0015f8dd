#include "errorreport/capture/intercept.h"

#include <algorithm>
#include <cstring>

namespace sondrel {

bool IsProcessorFault(std::uint32_t code) {
  switch (code) {
    case 0xC0000005:  // access violation
    case 0xC0000006:  // in-page error
    case 0xC000001D:  // illegal instruction
    case 0xC000008C:  // array bounds exceeded
    case 0xC000008D:  // float denormal operand
    case 0xC000008E:  // float divide by zero
    case 0xC000008F:  // float inexact result
    case 0xC0000090:  // float invalid operation
    case 0xC0000091:  // float overflow
    case 0xC0000092:  // float stack check
    case 0xC0000093:  // float underflow
    case 0xC0000094:  // integer divide by zero
    case 0xC0000095:  // integer overflow
    case 0xC0000096:  // privileged instruction
    case kStackOverflowCode:
      return true;
    default:
      return false;
  }
}

namespace {

// The part of [address, address + length) that the copy holds, as offsets into the request.
struct Overlap {
  std::uint64_t from = 0, to = 0;  // empty when from == to
};

Overlap OverlapOf(const StackCopy& copy, std::uint32_t address, std::uint32_t length) {
  const std::uint64_t a = address, end = a + length;
  const std::uint64_t c = copy.base, c_end = c + copy.bytes.size();
  const std::uint64_t lo = std::max(a, c), hi = std::min(end, c_end);
  if (lo >= hi) return {};
  return {lo - a, hi - a};
}

}  // namespace

bool StackCopyMemory::Readable(uint32_t address, uint32_t length) {
  const Overlap o = OverlapOf(copy_, address, length);
  if (o.from == o.to) return live_.Readable(address, length);
  if (o.from > 0 && !live_.Readable(address, static_cast<uint32_t>(o.from))) return false;
  return o.to == length ||
         live_.Readable(address + static_cast<uint32_t>(o.to), length - static_cast<uint32_t>(o.to));
}

bool StackCopyMemory::Read(uint32_t address, void* out, uint32_t length) {
  const Overlap o = OverlapOf(copy_, address, length);
  if (o.from == o.to) return live_.Read(address, out, length);
  auto* bytes = static_cast<std::uint8_t*>(out);
  if (o.from > 0 && !live_.Read(address, bytes, static_cast<uint32_t>(o.from))) return false;
  std::memcpy(bytes + o.from, copy_.bytes.data() + (address + o.from - copy_.base), o.to - o.from);
  if (o.to < length &&
      !live_.Read(address + static_cast<uint32_t>(o.to), bytes + o.to, length - static_cast<uint32_t>(o.to)))
    return false;
  return true;
}

uint32_t StackCopyMemory::AllocationBase(uint32_t address) { return live_.AllocationBase(address); }

}  // namespace sondrel
