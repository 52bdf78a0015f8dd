#pragma once
// The call-stack scan: every 32-bit value on the stack is tested as a possible return address, which
// works without frame pointers and after stack damage, at the price of false rows.
#include <cstdint>
#include <vector>

#include "errorreport/capture/memory_reader.h"

namespace sondrel {

// The stack is scanned over at most this many bytes from the stack pointer.
inline constexpr uint32_t kStackScanLimit = 0x100000;

// Code addresses found on the stack from sp up to top (exclusive), most recent first: for each value
// that is the return address of a call instruction, the call's first byte; for a direct call (E8) also
// the callee's entry, before the call site, after following a jump thunk (FF 25 [slot] 8B C0).
// Unreadable stack ranges are skipped; nothing here faults.
std::vector<uint32_t> ScanStackForCalls(MemoryReader& memory, uint32_t sp, uint32_t top);

}  // namespace sondrel
