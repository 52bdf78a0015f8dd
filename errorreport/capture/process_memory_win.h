#pragma once
// The own process's memory for the call-stack and module code: the readable test through the
// virtual-memory query, reads through ReadProcessMemory so that a page freed by another thread after
// the test makes the read fail instead of faulting.
#include <windows.h>

#include <array>
#include <memory>
#include <unordered_map>

#include "errorreport/capture/memory_reader.h"

namespace sondrel {

class ProcessMemory : public MemoryReader {
 public:
  // How reads reach memory. kSystem: through ReadProcessMemory, so that a page freed meanwhile fails the
  // read. kInPlace: copied where it stands once the readable test passed, for the images of loaded
  // modules, which stay mapped while they are read (the import tables and code the hooks patch); under
  // Wine a read through the system is a round trip to its server, 256 KB at a time.
  enum class Reads { kSystem, kInPlace };
  explicit ProcessMemory(Reads reads = Reads::kSystem) : reads_(reads) {}

  bool Readable(uint32_t address, uint32_t length) override;
  bool Read(uint32_t address, void* out, uint32_t length) override;
  uint32_t AllocationBase(uint32_t address) override;
  // Forgets the regions and pages seen so far (the stack's guard page moves, modules come and go).
  void Forget() noexcept {
    regions_ = {};
    pages_.clear();
  }

 private:
  struct Region {
    uint32_t base = 0, end = 0;  // [base, end); end 0 = empty slot
    bool readable = false;
  };
  // The region holding address, from the small cache or the system.
  const Region* Query(uint32_t address);
  // A copy of the readable page at page_address, read with the readable pages after it; null when
  // it cannot be read.
  const char* Page(uint32_t page_address);
  Reads reads_;
  std::array<Region, 16> regions_{};
  size_t next_slot_ = 0;
  // Small reads are served from copies of whole pages: a read of the own process through the system
  // costs a call into the system (under Wine a round trip to its server), and the scan makes one for
  // every value that looks like a code address.
  std::unordered_map<uint32_t, std::unique_ptr<char[]>> pages_;
};

}  // namespace sondrel
