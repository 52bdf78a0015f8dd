#pragma once
// The own process's memory for the call-stack and module code: the readable test through the
// virtual-memory query, reads through ReadProcessMemory so that a page freed by another thread after
// the test makes the read fail instead of faulting.
#include <windows.h>

#include <array>

#include "errorreport/capture/memory_reader.h"

namespace sondrel {

class ProcessMemory : public MemoryReader {
 public:
  bool Readable(uint32_t address, uint32_t length) override;
  bool Read(uint32_t address, void* out, uint32_t length) override;
  uint32_t AllocationBase(uint32_t address) override;
  // Forgets the regions seen so far (the stack's guard page moves, modules come and go).
  void Forget() noexcept { regions_ = {}; }

 private:
  struct Region {
    uint32_t base = 0, end = 0;  // [base, end); end 0 = empty slot
    bool readable = false;
  };
  // The region holding address, from the small cache or the system.
  const Region* Query(uint32_t address);
  std::array<Region, 16> regions_{};
  size_t next_slot_ = 0;
};

}  // namespace sondrel
