// The built Sondrel.exe carries its options block: the reporter's reader finds it in the program file,
// and its line debug data maps a procedure of the main window to its source file and line.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "base/file.h"
#include "base/handle_win.h"
#include "base/text.h"
#include "errorreport/capture/debug_data.h"
#include "errorreport/delivery/options_block_win.h"
#include "tests/support/process_win.h"

namespace sondrel {
namespace {

// The line of the first source line that contains text, counted from 1; 0 when none does.
int SourceLine(const std::string& file, const std::string& text) {
  std::ifstream in(file);
  std::string line;
  for (int n = 1; std::getline(in, line); ++n)
    if (line.find(text) != std::string::npos) return n;
  return 0;
}

TEST(ProgramBlock, SondrelCarriesOptionsAndLineData) {
  const std::string exe = test::ProgramFolder() + "Sondrel.exe";
  UniqueModule module(LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  ASSERT_TRUE(module);
  TReportModuleOptions options(exe, false);
  auto block = ReadResourceOptionsBlock(module.get(), options);
  ASSERT_TRUE(block) << "Sondrel.exe has no ERDATA block";
  EXPECT_EQ(block->version, kLibraryVersion);
  // The program is built with the default options.
  EXPECT_EQ(options.Values(), TReportOptionValues{});
  EXPECT_EQ(options.Texts(), DefaultCustomTexts());

  DebugData debug(block->debug_data, block->version);
  auto rva = debug.FindProcedure("sondrel::TfrmMain::btnHelpClick");
  ASSERT_TRUE(rva);
  auto info = debug.Lookup(*rva);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->unit, "FMain.cpp");
  EXPECT_EQ(info->class_name, "sondrel::TfrmMain");
  EXPECT_EQ(info->procedure, "btnHelpClick");
  const int expected = SourceLine(SONDREL_SOURCE_DIR "/app/FMain.cpp", "TfrmMain::btnHelpClick(");
  ASSERT_GT(expected, 0);
  EXPECT_EQ(info->line, expected);
}

}  // namespace
}  // namespace sondrel
