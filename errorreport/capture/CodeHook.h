#pragma once
// Code and import patching, the portable half: the exception classes, and the reading of procedure
// thunks and of a module's import slots over any memory reader (the process's own memory on Windows,
// a synthetic image in tests).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/exception.h"
#include "errorreport/capture/memory_reader.h"

namespace sondrel {

SONDREL_EXCEPTION_CLASS(EHookError, Exception);
SONDREL_EXCEPTION_CLASS(EProcNull, EHookError);
SONDREL_EXCEPTION_CLASS(EHookingError, EHookError);
SONDREL_EXCEPTION_CLASS(ESharedArea, EHookError);

// The messages of the hooking failures, with the display name (or module file name) put in.
std::string ProcNullMessage(const std::string& display_name);
std::string SharedAreaMessage(const std::string& module_file);
std::string HookingErrorMessage(const std::string& display_name);

// An import thunk "jmp [slot]" followed by two filler bytes (8B C0, or 90 90 as this compiler pads)
// stands for the address held in its slot; anything else stands for itself.
std::uint32_t FollowThunk(MemoryReader& memory, std::uint32_t address);

// The code section of a loaded module (base of code and size of code of its PE header).
struct CodeRange {
  std::uint32_t start = 0;
  std::uint32_t size = 0;
};
std::optional<CodeRange> ModuleCodeRange(MemoryReader& memory, std::uint32_t module_base);

// Addresses of the import slots of a loaded module that hold `target`: every slot of the import
// directory's address tables (a "jmp [slot]" thunk goes through one of them). Sorted, without
// repeats; empty for a module that does not import target or whose headers are not readable.
std::vector<std::uint32_t> FindImportSlots(MemoryReader& memory, std::uint32_t module_base,
                                           std::uint32_t target);

}  // namespace sondrel
