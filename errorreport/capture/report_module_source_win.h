#pragma once
// The module list's view of the running process under Windows: module enumeration (PSAPI, else
// ToolHelp), file facts, version resources, options blocks and memory read through ReadProcessMemory.
#include <memory>

#include "errorreport/capture/report_modules.h"

namespace sondrel {

class Win32MemoryReader : public MemoryReader {
 public:
  bool Readable(uint32_t address, uint32_t length) override;
  bool Read(uint32_t address, void* out, uint32_t length) override;
  uint32_t AllocationBase(uint32_t address) override;
};

// The program module is the process's main executable.
std::unique_ptr<ModuleSource> CreateWin32ModuleSource();

}  // namespace sondrel
