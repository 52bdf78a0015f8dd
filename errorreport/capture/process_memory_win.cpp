#include "errorreport/capture/process_memory_win.h"

namespace sondrel {
namespace {

bool ReadableProtection(const MEMORY_BASIC_INFORMATION& m) {
  if (m.State != MEM_COMMIT || (m.Protect & (PAGE_GUARD | PAGE_NOACCESS))) return false;
  return (m.Protect & (PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE |
                       PAGE_EXECUTE_WRITECOPY)) != 0;
}

}  // namespace

const ProcessMemory::Region* ProcessMemory::Query(uint32_t address) {
  // The scan asks about the same few regions (the stack, a handful of code sections) thousands of
  // times; a query costs a system call.
  for (const Region& r : regions_)
    if (r.end != 0 && address >= r.base && address < r.end) return &r;
  MEMORY_BASIC_INFORMATION m{};
  if (VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &m, sizeof m) != sizeof m) return nullptr;
  const auto base = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m.BaseAddress));
  const uint64_t end = uint64_t{base} + m.RegionSize;
  Region& slot = regions_[next_slot_];
  next_slot_ = (next_slot_ + 1) % regions_.size();
  slot = {base, end > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(end), ReadableProtection(m)};
  return address < slot.end ? &slot : nullptr;
}

bool ProcessMemory::Readable(uint32_t address, uint32_t length) {
  uint64_t at = address;
  const uint64_t end = uint64_t{address} + length;
  while (at < end) {
    if (at > UINT32_MAX) return false;
    const Region* r = Query(static_cast<uint32_t>(at));
    if (!r || !r->readable) return false;
    at = r->end;  // the range goes on into the next region
  }
  return true;
}

bool ProcessMemory::Read(uint32_t address, void* out, uint32_t length) {
  SIZE_T done = 0;
  return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), out,
                           length, &done) &&
         done == length;
}

uint32_t ProcessMemory::AllocationBase(uint32_t address) {
  MEMORY_BASIC_INFORMATION m{};
  if (VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &m, sizeof m) != sizeof m ||
      m.State != MEM_COMMIT)
    return 0;
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m.AllocationBase));
}

}  // namespace sondrel
