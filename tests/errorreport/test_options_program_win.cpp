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

  // Window procedures and the entry point are stdcall: their linkage names end in "@16", the names the
  // line data gives them do not, and find-by-name finds them under those.
  struct Named {
    const char* name;
    const char* unit;
    const char* class_name;
    const char* procedure;
    const char* source;
    const char* text;
  };
  for (const Named& n : {Named{"sondrel::TForm::FormWndProc", "forms_win.cpp", "sondrel::TForm", "FormWndProc",
                               "/skin/forms_win.cpp", "TForm::FormWndProc("},
                         Named{"sondrel::TApplication::AppWndProc", "forms_win.cpp", "sondrel::TApplication",
                               "AppWndProc", "/skin/forms_win.cpp", "TApplication::AppWndProc("},
                         Named{"WinMain", "main_win.cpp", "", "WinMain", "/app/main_win.cpp", "WINAPI WinMain("}}) {
    SCOPED_TRACE(n.name);
    auto at = debug.FindProcedure(n.name);
    ASSERT_TRUE(at);
    auto row = debug.Lookup(*at);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->unit, n.unit);
    EXPECT_EQ(row->class_name, n.class_name);
    EXPECT_EQ(row->procedure, n.procedure);
    EXPECT_EQ(row->line, SourceLine(std::string(SONDREL_SOURCE_DIR) + n.source, n.text));
  }

  // The line data stays lean: at most a fifth of what it was when standard headers each had their
  // records (5.3 MB in 51,682 units). That every row of the program's own files still resolves is
  // checked by the tool that writes it, which fails the build otherwise.
  EXPECT_LE(block->debug_data.size(), 5'300'000u / 5);
  EXPECT_LE(debug.unit_count(), 51'682u / 5);
}

}  // namespace
}  // namespace sondrel
