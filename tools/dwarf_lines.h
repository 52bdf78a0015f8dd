#pragma once
// Reads the compiler's DWARF line information and procedure ranges out of a built program, in the
// row shape the debug-data encoder takes.
#include <cstdint>
#include <string>
#include <vector>

#include "errorreport/capture/debug_data.h"

namespace sondrel::tools {

struct ProgramDebugInfo {
  std::vector<DebugProcedure> procedures;
  std::vector<DebugLineRow> rows;
};

// Every line row and every procedure with code of the program at path; addresses become offsets from
// image_base. Raises std::runtime_error when the file cannot be read as a program with DWARF.
ProgramDebugInfo ReadProgramDebugInfo(const std::string& path, uint32_t image_base);

// Splits a demangled C++ name into its scope and its own name, without the parameter list:
// "sondrel::TfrmMain::btnSearchClick(int)" -> {"sondrel::TfrmMain", "btnSearchClick"}.
// A template function's return type is dropped: "void ns::f<int>(int)" -> {"ns", "f<int>"}.
std::pair<std::string, std::string> SplitQualifiedName(const std::string& demangled);

}  // namespace sondrel::tools
