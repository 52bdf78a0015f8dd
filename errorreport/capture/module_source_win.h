#pragma once
// The module list's view of the running process: PSAPI enumeration (ToolHelp where PSAPI is
// missing), module file names, file facts from the file system, version resources, options blocks.
#include <windows.h>

#include "errorreport/capture/process_memory_win.h"
#include "errorreport/capture/report_modules.h"

namespace sondrel {

class ProcessModuleSource : public ModuleSource {
 public:
  MemoryReader& Memory() override { return memory_; }
  // The module that holds this code (the program, for a statically linked reporter).
  uint32_t ProgramModule() override;
  // That module's image is read in place: its record is made at start, before the first window, and
  // a read through the system copies 256 KB per header or directory it looks at.
  MemoryReader& ImageMemory(uint32_t handle) override {
    return handle == ProgramModule() ? own_image_ : memory_;
  }
  std::optional<std::vector<uint32_t>> EnumerateModules() override;
  std::optional<std::string> ModuleFileName(uint32_t handle) override;
  std::optional<FileFacts> FileFactsOf(const std::string& path) override;
  VersionFacts VersionOf(const std::string& path) override;
  ModuleBlock ReadBlock(uint32_t handle, const std::string& path, TReportModuleOptions& options) override;
  void BeginPass() override {
    memory_.Forget();
    own_image_.Forget();
  }

 private:
  ProcessMemory memory_;
  ProcessMemory own_image_{ProcessMemory::Reads::kInPlace};
};

// The enumeration paths on their own, for tests: nullopt when the API is missing or fails.
std::optional<std::vector<uint32_t>> EnumerateModulesWithPsapi();
std::optional<std::vector<uint32_t>> EnumerateModulesWithToolHelp();

}  // namespace sondrel
