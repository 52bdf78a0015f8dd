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
// - A member procedure gets its class with the namespaces around it ("sondrel::TApplication"); a free
//   function gets no class, and its namespace stays in its name ("sondrel::ReportRoutine"). Anonymous
//   namespaces are left out of both.
// - Code inlined from a file that is not the program's own (a standard header) is given the line of
//   the call in the program's file that brought it in; the program's own headers keep their lines.
//   The program's files are those under source_root, or when it is empty those outside /usr/.
ProgramDebugInfo ReadProgramDebugInfo(const std::string& path, uint32_t image_base,
                                      const std::string& source_root = {});

// How many rows of the program's own files that cover code inside a procedure there are, and how many
// of them the encoded line data resolves to their own file and line.
struct ProgramRowCheck {
  size_t rows = 0;
  size_t resolved = 0;
};
ProgramRowCheck CheckProgramRows(const ProgramDebugInfo& info, const DebugData& data);

// The demangled text of a linkage name; a stdcall procedure's "@<argument bytes>" suffix is dropped
// first ("_ZN7sondrel5TForm11FormWndProcEP6HWND__jjl@16" -> "sondrel::TForm::FormWndProc(HWND__*, ...)",
// "WinMain@16" -> "WinMain"). A name that is not mangled comes back as it is (less the suffix).
std::string DemangledLinkageName(const std::string& linkage);

// Splits a demangled C++ name into its scope and its own name, without the parameter list:
// "sondrel::TfrmMain::btnSearchClick(int)" -> {"sondrel::TfrmMain", "btnSearchClick"}.
// A template function's return type is dropped: "void ns::f<int>(int)" -> {"ns", "f<int>"}.
std::pair<std::string, std::string> SplitQualifiedName(const std::string& demangled);

}  // namespace sondrel::tools
