// The reporter inside the real program: a copy of Sondrel.exe whose options block is rewritten (freeze
// watch on after 3 s, no dialog, the log in the test's folder), driven from outside as a user or
// another program would.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <tlhelp32.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <regex>

#include "base/cmdline.h"
#include "base/file.h"
#include "base/handle_win.h"
#include "base/shell_folder_win.h"
#include "errorreport/capture/log_file.h"
#include "errorreport/delivery/options_block.h"
#include "errorreport/delivery/options_block_win.h"
#include "errorreport/delivery/options_mapping.h"
#include "tests/errorreport/program_copy_win.h"
#include "tests/support/process_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

std::string Folder() { return ProgramFolder() + "report_program\\"; }
std::string Program() { return Folder() + "Sondrel.exe"; }
std::string Log() { return Folder() + "program.rpt"; }

// The copy with its block rewritten (freeze watch after 3 s, no dialog, the log in the test's folder),
// made once per run (the copy is read back and compared by the helper).
bool PrepareProgram(std::string& why) {
  return PrepareProgramCopy(Folder(), [](TReportModuleOptions& options) {
    options.SetFreezeWatch(true);
    options.SetFreezeSeconds(3);
    options.SetShowDialog(false);
    options.SetLogPath(Log());
  }, why);
}

size_t LoggedReports() { return FileExists(Log()) ? TLogFile(Log()).Count() : 0; }

bool WaitForReports(size_t n, DWORD timeout_ms) {
  for (const DWORD start = GetTickCount(); GetTickCount() - start < timeout_ms; Sleep(100))
    if (LoggedReports() >= n) return true;
  return LoggedReports() >= n;
}

bool Answers(HWND w, UINT timeout_ms) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_BLOCK, timeout_ms, &ignored) != 0;
}

class ReportProgram : public testing::Test {
 protected:
  void SetUp() override {
    static std::string why;
    static const bool ready = PrepareProgram(why);
    ASSERT_TRUE(ready) << why;
    DeleteFileAt(Log());
    app_ = std::make_unique<Child>(QuoteArg(Program()), Folder());
    main_ = FindTopWindow("Sondrel", 20000, app_->Pid());
    ASSERT_NE(main_, nullptr) << "no main window";
    ASSERT_TRUE(Answers(main_, 10000));
  }
  // Closes the program as the user does; it must end within a few seconds (Wine withdraws a closed
  // window about 2 s late).
  void CloseAndExpectEnd() {
    PostMessageA(main_, WM_CLOSE, 0, 0);
    DWORD code = 99;
    EXPECT_TRUE(app_->Wait(10000, &code)) << "the program did not end after its window closed";
    EXPECT_EQ(code, 0u);
  }
  KeepDataFolder data_;
  std::unique_ptr<Child> app_;
  HWND main_ = nullptr;
};

TEST_F(ReportProgram, AMainThreadHeldStillIsReportedOnceAndTheProgramGoesOnAndEnds) {
  const DWORD thread_id = GetWindowThreadProcessId(main_, nullptr);
  UniqueHandle thread(OpenThread(THREAD_SUSPEND_RESUME, FALSE, thread_id));
  ASSERT_TRUE(thread);
  // Let the watchdog find the window before the main thread stops.
  Sleep(1000);
  ASSERT_NE(SuspendThread(thread.get()), static_cast<DWORD>(-1));
  const bool reported = WaitForReports(1, 30000);
  ResumeThread(thread.get());
  ASSERT_TRUE(reported) << "no freeze report while the main thread stood still";
  EXPECT_TRUE(Answers(main_, 5000)) << "the program does not answer after the report";
  PumpMessages(1000);
  CloseAndExpectEnd();
  ASSERT_EQ(LoggedReports(), 1u);
  const std::string text = ReadFileBytes(Log()).value_or("");
  EXPECT_TRUE(std::regex_search(text, std::regex("\r\n  2\\.4 Type   : EFrozenApplication\r\n"))) << text;
  EXPECT_TRUE(std::regex_search(text, std::regex("\r\n  2\\.5 Message: The application seems to be frozen\\.\r\n")))
      << text;
}

// The program reports a failed write of the last tab (a folder stands where its work file goes);
// another process writing every shared block of the reporter it can see must not silence the next one.
TEST_F(ReportProgram, AnotherProcessCannotSilenceTheNextReport) {
  struct Blocker {
    std::string path;
    ~Blocker() { RemoveDirectoryA(path.c_str()); }
  } blocked{data_.Path() + "Settings.dat.new"};
  ASSERT_TRUE(CreateDirectoryA(blocked.path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
  HWND tabs = FindChildByClass(main_, "SysTabControl32");
  ASSERT_NE(tabs, nullptr);
  SendMessageA(tabs, TCM_SETCURFOCUS, 1, 0);
  EXPECT_TRUE(WaitForReports(1, 20000)) << "the failed write was not reported";

  // The block of the old skip-next byte's name, and the program's options mapping, which it names by its
  // process id and load address: every byte 1 (a skip mark, a published flag, sizes that lie).
  HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, app_->Pid());
  MODULEENTRY32 exe{};
  exe.dwSize = sizeof exe;
  ASSERT_TRUE(modules != INVALID_HANDLE_VALUE && Module32First(modules, &exe));
  CloseHandle(modules);
  const std::string options_name = OptionsMappingName(app_->Pid(), reinterpret_cast<uintptr_t>(exe.modBaseAddr));
  UniqueHandle safecalls(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4,
                                            "ERRORREPORT_SAFECALLS_LIST"));
  UniqueHandle options(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, options_name.c_str()));
  ASSERT_TRUE(options) << "the program has no options mapping " << options_name;
  for (HANDLE shared : {safecalls.get(), options.get()}) {
    ASSERT_TRUE(shared);
    UniqueView view(MapViewOfFile(shared, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    ASSERT_TRUE(view);
    MEMORY_BASIC_INFORMATION mapped{};
    ASSERT_TRUE(VirtualQuery(view.get(), &mapped, sizeof mapped));
    std::memset(view.get(), 1, mapped.RegionSize);
  }

  SendMessageA(tabs, TCM_SETCURFOCUS, 2, 0);
  EXPECT_TRUE(WaitForReports(2, 20000)) << "the second failed write was not reported";
  RemoveDirectoryA(blocked.path.c_str());
  CloseAndExpectEnd();
  const std::string text = ReadFileBytes(Log()).value_or("");
  EXPECT_TRUE(std::regex_search(text, std::regex("\r\n  2\\.3 Module : Sondrel\\.exe\r\n"))) << text;
}

}  // namespace
}  // namespace sondrel::test
