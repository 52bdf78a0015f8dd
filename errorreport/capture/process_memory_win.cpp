#include "errorreport/capture/process_memory_win.h"

#include <algorithm>
#include <cstring>

namespace sondrel {
namespace {

constexpr uint32_t kPage = 0x1000;
constexpr uint32_t kPagesPerRead = 64;  // pages fetched together when they are all readable
constexpr size_t kMaxCachedPages = 2048;  // 8 MB, more than a 1 MB stack and the code it calls

bool ReadSystem(uint32_t address, void* out, uint32_t length) {
  SIZE_T done = 0;
  return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), out,
                           length, &done) &&
         done == length;
}

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

const char* ProcessMemory::Page(uint32_t page_address) {
  if (auto it = pages_.find(page_address); it != pages_.end()) return it->second.get();
  if (pages_.size() >= kMaxCachedPages) pages_.clear();
  const Region* r = Query(page_address);
  if (!r || !r->readable) return nullptr;
  uint32_t count = 1;
  while (count < kPagesPerRead && uint64_t{page_address} + uint64_t{count + 1} * kPage <= r->end &&
         !pages_.count(page_address + count * kPage))
    ++count;
  auto block = std::make_unique<char[]>(size_t{count} * kPage);
  if (!ReadSystem(page_address, block.get(), count * kPage)) {
    count = 1;
    if (!ReadSystem(page_address, block.get(), kPage)) return nullptr;
  }
  for (uint32_t i = 0; i < count; ++i) {
    auto page = std::make_unique<char[]>(kPage);
    std::memcpy(page.get(), block.get() + size_t{i} * kPage, kPage);
    pages_[page_address + i * kPage] = std::move(page);
  }
  return pages_[page_address].get();
}

bool ProcessMemory::Read(uint32_t address, void* out, uint32_t length) {
  if (reads_ == Reads::kInPlace) {
    if (!Readable(address, length)) return false;
    std::memcpy(out, reinterpret_cast<const void*>(static_cast<uintptr_t>(address)), length);
    return true;
  }
  if (length > kPage) return ReadSystem(address, out, length);
  auto* dst = static_cast<char*>(out);
  uint64_t at = address;
  const uint64_t end = uint64_t{address} + length;
  while (at < end) {
    if (at > UINT32_MAX) return false;
    const auto page_address = static_cast<uint32_t>(at & ~uint64_t{kPage - 1});
    const char* page = Page(page_address);
    if (!page) return false;
    const uint64_t n = std::min<uint64_t>(end - at, uint64_t{page_address} + kPage - at);
    std::memcpy(dst, page + (at - page_address), n);
    dst += n;
    at += n;
  }
  return true;
}

uint32_t ProcessMemory::AllocationBase(uint32_t address) {
  MEMORY_BASIC_INFORMATION m{};
  if (VirtualQuery(reinterpret_cast<void*>(static_cast<uintptr_t>(address)), &m, sizeof m) != sizeof m ||
      m.State != MEM_COMMIT)
    return 0;
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(m.AllocationBase));
}

}  // namespace sondrel
