#pragma once
// The one way the reporter looks at process memory (call stacks, modules, code and import patching). Reads fail instead of faulting,
// so that memory freed by another thread between the readable test and the read is harmless.
// Addresses are 32-bit: the program is a 32-bit process, and the portable tests build images at
// 32-bit addresses in BufferMemory.
#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace sondrel {

class MemoryReader {
 public:
  virtual ~MemoryReader() = default;
  // True when every byte of [address, address + length) lies in committed, readable memory.
  virtual bool Readable(uint32_t address, uint32_t length) = 0;
  // Copies length bytes; false (out unspecified) when any of them cannot be read.
  virtual bool Read(uint32_t address, void* out, uint32_t length) = 0;
  // The allocation base of the committed region holding the address (a module's handle for an address
  // inside its image), 0 when the address is not in committed memory.
  virtual uint32_t AllocationBase(uint32_t address) = 0;
  // A little-endian 32-bit value; nullopt when unreadable.
  std::optional<uint32_t> ReadU32(uint32_t address) {
    uint32_t v;
    if (!Read(address, &v, sizeof v)) return std::nullopt;
    return v;
  }
};

// Memory made of separate regions of bytes, each readable or not: test images and stacks, and the
// fuzz targets' input.
class BufferMemory : public MemoryReader {
 public:
  // Adds a region at base; regions must not overlap. Unreadable regions answer AllocationBase but
  // fail reads.
  void Add(uint32_t base, std::string bytes, bool readable = true);
  // The bytes of the region that starts at base (for tests that patch memory after adding it).
  std::string& At(uint32_t base);

  bool Readable(uint32_t address, uint32_t length) override;
  bool Read(uint32_t address, void* out, uint32_t length) override;
  uint32_t AllocationBase(uint32_t address) override;

  // How often the readable test and reads ran (for tests of the read budget).
  uint64_t readable_calls = 0;
  uint64_t read_calls = 0;

 private:
  struct Region {
    std::string bytes;
    bool readable;
  };
  // The region holding address, or null.
  const std::pair<const uint32_t, Region>* Find(uint32_t address) const;
  template <class Piece>
  bool Walk(uint32_t address, uint32_t length, Piece piece) const;
  std::map<uint32_t, Region> regions_;
};

}  // namespace sondrel
