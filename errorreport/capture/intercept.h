#pragma once
// Interception, the portable half: which system exceptions become language exceptions, and the copy
// of a stack taken at a moment that has passed, read back as if it were still in place.
#include <cstdint>
#include <string>
#include <vector>

#include "base/exception.h"
#include "errorreport/capture/memory_reader.h"

namespace sondrel {

// The main window stopped answering (made by the freeze watchdog and reported, never thrown).
SONDREL_EXCEPTION_CLASS(EFrozenApplication, Exception);

// True for the exception codes of processor faults, which become language exceptions where they
// happen in the program's own code; other codes (debugger notices, foreign language exceptions,
// system notifications) are left to the system's handling.
bool IsProcessorFault(std::uint32_t code);
inline constexpr std::uint32_t kStackOverflowCode = 0xC00000FD;

// The stack of a thread copied at a moment that has passed (a raise, a thread's creation, a freeze):
// the bytes that lay at [base, base + bytes.size()).
struct StackCopy {
  std::uint32_t base = 0;
  std::vector<std::uint8_t> bytes;
};

// Copies and stack walks stop this many bytes above the stack pointer.
inline constexpr std::uint32_t kStackCopyLimit = 0x100000;

// Memory as it was when the copy was taken: addresses inside the copy read from it, all others
// (code, data, other stacks) from the live memory.
class StackCopyMemory : public MemoryReader {
 public:
  StackCopyMemory(const StackCopy& copy, MemoryReader& live) : copy_(copy), live_(live) {}
  bool Readable(uint32_t address, uint32_t length) override;
  bool Read(uint32_t address, void* out, uint32_t length) override;
  uint32_t AllocationBase(uint32_t address) override;

 private:
  const StackCopy& copy_;
  MemoryReader& live_;
};

}  // namespace sondrel
