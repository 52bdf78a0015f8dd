#include "errorreport/capture/stack_scan.h"

#include <algorithm>

namespace sondrel {
namespace {

constexpr uint32_t kReadBlock = 400;  // stack bytes read per readable test where possible

uint32_t LE32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

bool In(uint8_t v, uint8_t lo, uint8_t hi) { return v >= lo && v <= hi; }

// The entry a direct call reaches: through a jump thunk to the slot's target.
uint32_t FollowThunk(MemoryReader& memory, uint32_t target) {
  uint8_t t[8];
  if (!memory.Readable(target, sizeof t) || !memory.Read(target, t, sizeof t)) return target;
  if (t[0] != 0xFF || t[1] != 0x25 || t[6] != 0x8B || t[7] != 0xC0) return target;
  const uint32_t slot = LE32(t + 2);
  uint8_t p[4];
  if (!memory.Readable(slot, 4) || !memory.Read(slot, p, 4)) return target;
  return LE32(p);
}

// Adds the rows for value v when the 7 bytes before it end in a call instruction. The forms are tried
// in a fixed order and only the first that matches counts.
void TestReturnAddress(MemoryReader& memory, uint32_t v, std::vector<uint32_t>& out) {
  if (v < 7) return;
  uint8_t c[7];  // c[k] is the byte at v - 7 + k
  if (!memory.Readable(v - 7, 7) || !memory.Read(v - 7, c, 7)) return;
  if (c[2] == 0xE8) {  // call rel32
    uint32_t target = v + LE32(c + 3);
    if (memory.Readable(target, 1)) target = FollowThunk(memory, target);
    uint8_t first = 0;
    // A target that itself begins with a call is more likely data than a procedure entry.
    if (memory.Readable(target, 5) && memory.Read(target, &first, 1) && first != 0xE8) out.push_back(target);
    out.push_back(v - 5);
  } else if (c[5] == 0xFF && In(c[6], 0xD0, 0xD7)) {  // call reg
    out.push_back(v - 2);
  } else if (c[5] == 0xFF && (In(c[6], 0x10, 0x13) || In(c[6], 0x16, 0x17))) {  // call [reg]
    out.push_back(v - 2);
  } else if (c[4] == 0xFF && (In(c[5], 0x50, 0x53) || In(c[5], 0x55, 0x57))) {  // call [reg+disp8]
    out.push_back(v - 3);
  } else if (c[1] == 0xFF && (In(c[2], 0x90, 0x93) || In(c[2], 0x95, 0x97))) {  // call [reg+disp32]
    out.push_back(v - 6);
  } else if (c[4] == 0xFF && c[5] == 0x14 && c[6] == 0x24) {  // call [esp]
    out.push_back(v - 3);
  } else if (c[3] == 0xFF && c[4] == 0x54 && c[5] == 0x24) {  // call [esp+disp8]
    out.push_back(v - 4);
  } else if (c[0] == 0xFF && c[1] == 0x94 && c[2] == 0x24) {  // call [esp+disp32]
    out.push_back(v - 7);
  } else if (c[1] == 0xFF && c[2] == 0x15 && memory.Readable(LE32(c + 3), 4)) {  // call [abs32]
    out.push_back(v - 6);
  }
}

}  // namespace

std::vector<uint32_t> ScanStackForCalls(MemoryReader& memory, uint32_t sp, uint32_t top) {
  std::vector<uint32_t> out;
  if (sp < top && top - sp > kStackScanLimit) top = sp + kStackScanLimit;
  uint8_t block[kReadBlock];
  uint64_t block_start = 0;
  int32_t budget = 0;  // readable bytes left in block from the current position
  for (uint64_t pos = sp; pos + 4 <= top; pos += 4) {
    if (budget <= 0) {
      const auto at = static_cast<uint32_t>(pos);
      budget = memory.Readable(at, kReadBlock) ? kReadBlock : memory.Readable(at, 4) ? 4 : 0;
      if (budget > 0) {
        const auto length = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint32_t>(budget), top - pos));
        if (!memory.Read(at, block, length)) budget = 0;  // freed since the test
        block_start = pos;
      }
    }
    if (budget <= 0) continue;
    budget -= 4;
    TestReturnAddress(memory, LE32(block + (pos - block_start)), out);
  }
  return out;
}

}  // namespace sondrel
