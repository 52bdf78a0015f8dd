// Build-time tool: writes the reporting options and the line debug data of a built Windows program
// into that program, as an "ERDATA" resource or as a trailer, and checks the result by reading it back.
//
//   sondrel_report_data --program <file.exe> [--options <options.txt>] [--form resource|trailer]
//                       [--source-root <folder>]   (the program's own sources; default: all outside /usr/)
//                       [--twin <unstripped.exe>]
//     With --twin, the program has been stripped of its DWARF sections: the line data is read from the
//     twin (the same link before stripping, same addresses), and the block goes into both files.
//   sondrel_report_data --program <file.exe> --form list      (prints the procedures found; no change)
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "base/file.h"
#include "errorreport/capture/debug_data.h"
#include "errorreport/delivery/options_block.h"
#include "tools/dwarf_lines.h"
#include "tools/options_text.h"
#include "tools/pe_patch.h"

namespace {

int Run(int argc, char** argv) {
  using namespace sondrel;
  std::string program, options_file, twin, form = "resource", source_root;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string key = argv[i];
    if (key == "--program") program = argv[i + 1];
    else if (key == "--options") options_file = argv[i + 1];
    else if (key == "--form") form = argv[i + 1];
    else if (key == "--twin") twin = argv[i + 1];
    else if (key == "--source-root") source_root = argv[i + 1];
    else throw std::runtime_error("unknown argument " + key);
  }
  if (program.empty() || (form != "resource" && form != "trailer" && form != "list"))
    throw std::runtime_error("usage: sondrel_report_data --program <exe> [--options <txt>] [--form resource|trailer]");

  auto image = ReadFileBytes(program);
  if (!image) throw std::runtime_error("cannot read " + program);
  TReportModuleOptions options("", false);
  if (!options_file.empty()) {
    auto text = ReadFileBytes(options_file);
    if (!text) throw std::runtime_error("cannot read " + options_file);
    tools::ApplyOptionsText(*text, options);
  }

  const std::string dwarf_file = twin.empty() ? program : twin;
  tools::ProgramDebugInfo info = tools::ReadProgramDebugInfo(dwarf_file, tools::PeImageBase(*image), source_root);
  if (form == "list") {
    for (const DebugProcedure& p : info.procedures)
      std::printf("%08X %6u %s :: %s\n", p.rva, p.size, p.class_name.c_str(), p.name.c_str());
    return 0;
  }
  const size_t rows = info.rows.size(), procs = info.procedures.size();
  const std::string debug = EncodeDebugData(info.procedures, info.rows);
  const DebugData encoded(debug, kLibraryVersion);
  const tools::ProgramRowCheck rows_check = tools::CheckProgramRows(info, encoded);
  // A report that cannot name a line of the program's own code has lost what it exists for.
  if (rows_check.resolved != rows_check.rows)
    throw std::runtime_error(std::to_string(rows_check.rows - rows_check.resolved) + " of " +
                             std::to_string(rows_check.rows) + " rows of the program's files do not resolve in " +
                             program + "'s line data");

  std::optional<std::string> twin_image;
  if (!twin.empty()) {
    if (form != "resource") throw std::runtime_error("--twin needs the resource form: stripping drops a trailer");
    twin_image = ReadFileBytes(twin);
    if (!twin_image) throw std::runtime_error("cannot read " + twin);
    if (tools::PeImageBase(*twin_image) != tools::PeImageBase(*image))
      throw std::runtime_error(twin + " is not the same program as " + program);
  }
  std::string patched;
  std::optional<ModuleBlock> check;
  TReportModuleOptions reread("", false);
  if (form == "resource") {
    patched = tools::AddResourceBlock(std::move(*image), BuildResourceBlock(options, debug));
    check = ReadResourceBlock(tools::FindResourceBlock(patched), reread);
  } else {
    patched = tools::AddTrailerBlock(std::move(*image), BuildTrailer(options, debug));
    auto length = TrailerBodyLength(std::string_view(patched).substr(patched.size() - 8), patched.size());
    if (length) check = ReadTrailerBody(std::string_view(patched).substr(patched.size() - 8 - *length, *length), reread);
  }
  if (!check || check->debug_data != debug || !(reread.Values() == options.Values()))
    throw std::runtime_error("the written block does not read back");
  WriteFileAtomic(program, patched);
  if (twin_image) WriteFileAtomic(twin, tools::AddResourceBlock(std::move(*twin_image), BuildResourceBlock(options, debug)));
  std::printf("%s: %s block, %zu line rows, %zu procedures, %zu units, %zu bytes of debug data; %zu of %zu rows of "
              "the program's files resolved\n",
              ExtractFileName(program).c_str(), form.c_str(), rows, procs, encoded.unit_count(), debug.size(),
              rows_check.resolved, rows_check.rows);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "sondrel_report_data: %s\n", e.what());
    return 1;
  }
}
