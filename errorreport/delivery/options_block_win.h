#pragma once
// Reading a loaded module's options block: from its "ERDATA" resource, else from the trailer of its
// file; then, for a module other than the reporter's own, the options it published at run time.
#include <windows.h>

#include <string>

#include "errorreport/delivery/options_block.h"

namespace sondrel {

// Fills options from the module's block and returns what the module record keeps of it. A missing or
// unsound block is not an error: the options keep their values and found is false. defer_debug_data: as
// for ReadResourceBlock.
ModuleBlock ReadModuleOptionsBlock(HMODULE module, const std::string& file_name, TReportModuleOptions& options,
                                   bool defer_debug_data = false);

// The block in the module's resources only (no file access); nullopt when there is none or it is unsound.
std::optional<ModuleBlock> ReadResourceOptionsBlock(HMODULE module, TReportModuleOptions& options,
                                                    bool defer_debug_data = false);
// The trailer of a file only; nullopt when there is none or it is unsound.
std::optional<ModuleBlock> ReadTrailerOptionsBlock(const std::string& file_name, TReportModuleOptions& options);

}  // namespace sondrel
