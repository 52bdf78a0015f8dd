#pragma once
// The list of modules loaded in the process, with what a report shows of each and what is needed to
// name code addresses (exports, line debug data); address resolution and the call-stack build on it.
// The platform side (enumeration, file facts, version resources, options blocks, memory) comes in
// through ModuleSource, so that the list itself is portable and tested on synthetic images.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "errorreport/capture/debug_data.h"
#include "errorreport/capture/intercept.h"
#include "errorreport/capture/memory_reader.h"
#include "errorreport/capture/report_stack.h"
#include "errorreport/delivery/options_block.h"
#include "errorreport/delivery/report_options.h"

namespace sondrel {

class ModuleSource {
 public:
  struct FileFacts {
    uint32_t size = 0;      // low 32 bits of the file size
    uint32_t dos_time = 0;  // last write, local time, as a two-second file date (date << 16 | time)
  };
  struct VersionFacts {
    std::string description;           // FileDescription of the first translation, "" when missing
    std::array<uint16_t, 4> numbers{};  // major, minor, release, build; zeros when missing
  };

  virtual ~ModuleSource() = default;
  virtual MemoryReader& Memory() = 0;
  // What a module's image (headers, exports, resources) is read through; the image of the module that
  // holds this code cannot go away while it runs, so a source may read that one more cheaply.
  virtual MemoryReader& ImageMemory(uint32_t handle) {
    (void)handle;
    return Memory();
  }
  // The handle of the module that holds the program (the one whose procedures are found by name).
  virtual uint32_t ProgramModule() = 0;
  // Handles of every module loaded in the process; nullopt when the enumeration fails.
  virtual std::optional<std::vector<uint32_t>> EnumerateModules() = 0;
  // Full path of the loaded module; nullopt when handle is not (or no longer) a loaded module.
  virtual std::optional<std::string> ModuleFileName(uint32_t handle) = 0;
  virtual std::optional<FileFacts> FileFactsOf(const std::string& path) = 0;
  virtual VersionFacts VersionOf(const std::string& path) = 0;
  // Reads the module's options block into options (and, for a module other than the program, the
  // changes it published); found is false when it has none, the options then keep their defaults.
  virtual ModuleBlock ReadBlock(uint32_t handle, const std::string& path, TReportModuleOptions& options) = 0;
  // Called before a pass over memory (a refresh or a stack build): memory facts kept from an earlier
  // pass may be stale.
  virtual void BeginPass() {}
};

// "1.2.3.4"; "" for 0.0.0.0 (a missing resource reads as zeros).
std::string VersionText(const std::array<uint16_t, 4>& numbers);

class TReportModuleInfo {
 public:
  uint32_t handle = 0;  // load address
  std::string path;     // full file name
  std::string description;
  std::string version;  // see VersionText
  uint32_t file_size = 0;
  TReportFunctionsList functions;
  // 0 not analysed yet; 1 not a dynamic library; 2 run-time package (a library with both
  // "PACKAGEINFO" and "PACKAGEOPTIONS" resources); 3 other dynamic library.
  uint8_t kind = 0;
  bool has_block = false;  // the module carries a sound options block
  uint16_t options_version = kDebugDataVersion;
  std::array<uint8_t, 8> reserved{};
  // The module's own options; none for an entry only listed by a refresh.
  std::unique_ptr<TReportModuleOptionsEx> options;
  std::unique_ptr<DebugData> debug;  // the module's line debug data, or none
  uint32_t file_time = 0;            // ModuleSource::FileFacts::dos_time when added

  // The file name part of the path.
  std::string Name() const;
};

class TReportModulesList {
 public:
  explicit TReportModulesList(ModuleSource& source) : source_(source) {}

  // The listed module with this handle. An entry added during a refresh (kind 0) is analysed in full
  // on its first use after it; a handle not listed is added (not during a refresh). None for a handle
  // that is not a loaded module.
  std::shared_ptr<const TReportModuleInfo> FindModule(uint32_t handle);
  // The module whose image holds the address.
  std::shared_ptr<const TReportModuleInfo> FindModuleOfAddress(uint32_t address);
  // Drops modules no longer loaded (or whose handle now names another file), adds the loaded ones
  // not yet listed. A failed enumeration leaves the list as it was, less the unloaded modules.
  void Refresh();
  // Drops every module whose file's last-write time now differs from the stored one (or whose file
  // is gone), except the kept one.
  void DropChangedModules();
  // The module that holds the reporter: its record is never dropped, so that its options (which
  // CurrentReportOptions hands out and run-time changes are made to) live as long as the list.
  void KeepModule(uint32_t handle) { kept_ = handle; }

  TReportDebugInfo ResolveAddress(uint32_t address);
  // The exception address's row first when given, then the rows of the stack scan from sp to top. With a
  // copy, the stack is read as the copy holds it (the stack as it was when the copy was taken).
  TReportStackList BuildStack(std::optional<uint32_t> exception_address, uint32_t sp, uint32_t top,
                              const StackCopy* as_it_was = nullptr);
  // Address of a procedure of the program module named in its debug data ("ns::TClass::Proc").
  std::optional<uint32_t> FindProcedureByName(std::string_view name);
  // Whether the whole range is committed readable memory, asked afresh (not from facts kept by a pass).
  bool Readable(uint32_t address, uint32_t length) {
    source_.BeginPass();
    return source_.Memory().Readable(address, length);
  }
  // The options of the program module (the one that holds the reporter), its record added in full
  // when missing; null when it cannot be listed. For CurrentReportOptions.
  TReportModuleOptionsEx* ProgramOptions();

  size_t Count() const noexcept { return modules_.size(); }
  // Sorted by handle.
  const TReportModuleInfo& operator[](size_t i) const { return *modules_.at(i); }

 private:
  std::shared_ptr<TReportModuleInfo> Add(uint32_t handle);
  void Insert(std::shared_ptr<TReportModuleInfo> m);

  ModuleSource& source_;
  std::vector<std::shared_ptr<TReportModuleInfo>> modules_;
  bool refreshing_ = false;
  uint32_t kept_ = 0;
};

}  // namespace sondrel
