// The single-instance guard with real program instances under Wine: copies of Sondrel.exe in folders of
// their own, started as separate processes, with the test reading the shared record between starts.
// A restart goes through the program's own exception reporter.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>

#include "app/CheckPrevious.h"
#include "base/cmdline.h"
#include "base/file.h"
#include "base/handle_win.h"
#include "errorreport/capture/error_dialog.h"
#include "tests/app/main_window_win.h"
#include "tests/support/process_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

std::string CopyOfProgram(const std::string& folder_name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = IncludeBackslash(temp) + "sondrel-guard\\" + folder_name + "\\";
  ForceDirectories(folder);
  const std::string exe = folder + "Sondrel.exe";
  EXPECT_TRUE(CopyFileA((ProgramFolder() + "Sondrel.exe").c_str(), exe.c_str(), FALSE)) << exe;
  return exe;
}

// Opens the instance record of a program path as another holder of the block would.
struct RecordView {
  UniqueHandle mapping;
  UniqueView view;
  explicit RecordView(const std::string& exe) {
    mapping.reset(OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, InstanceBlockName(exe).c_str()));
    if (mapping) view.reset(MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, 8));
  }
  bool Open() const { return view.get() != nullptr; }
  const TInstanceRecord& Record() const { return *static_cast<const TInstanceRecord*>(view.get()); }
};

HWND MainWindowOf(const Child& c) {
  return FindTopWindow("Sondrel", 20000, c.Pid());
}

// Starts the program and expects it to end at once, refused, without a window of its own.
void ExpectRefused(const std::string& exe) {
  Child again(QuoteArg(exe), ExtractFilePath(exe));
  DWORD code = 99;
  ASSERT_TRUE(again.Wait(15000, &code)) << "a second start kept running";
  EXPECT_EQ(code, 0u);
}

void CloseAndWait(Child& c, HWND main) {
  PostMessageA(main, WM_CLOSE, 0, 0);
  DWORD code = 99;
  EXPECT_TRUE(c.Wait(15000, &code));
  EXPECT_EQ(code, 0u);
}

TEST(GuardProcesses, OneInstancePerProgramFile) {
  const std::string a = CopyOfProgram("a");
  const std::string b = CopyOfProgram("b");

  Child first(QuoteArg(a), ExtractFilePath(a));
  HWND main = MainWindowOf(first);
  ASSERT_NE(main, nullptr) << "the first start shows no main window";

  // The test holds the block from here on, so that the count can still be read after the last
  // instance has ended.
  RecordView record(a);
  ASSERT_TRUE(record.Open()) << "no shared record named " << InstanceBlockName(a);
  EXPECT_EQ(record.Record().Count, 1);
  HWND app = reinterpret_cast<HWND>(static_cast<uintptr_t>(record.Record().Window));
  DWORD owner_pid = 0;
  GetWindowThreadProcessId(app, &owner_pid);
  EXPECT_EQ(owner_pid, first.Pid()) << "the record does not hold the first instance's window";
  EXPECT_EQ(GetWindow(main, GW_OWNER), app) << "the stored window is not the application window";

  // A second start of the same file ends at once and restores the minimised first one.
  ShowWindow(main, SW_MINIMIZE);
  PumpMessages(300);
  ASSERT_TRUE(IsIconic(main));
  ExpectRefused(a);
  PumpMessages(500);
  EXPECT_FALSE(IsIconic(main)) << "the running instance was not restored";
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(GetForegroundWindow(), main);
  EXPECT_EQ(record.Record().Count, 1);
  EXPECT_EQ(FindTopWindow("Sondrel", 500, 0), FindTopWindow("Sondrel", 500, first.Pid()));

  // A copy in another folder runs beside it; a second start of that copy is refused too.
  Child other(QuoteArg(b), ExtractFilePath(b));
  HWND other_main = MainWindowOf(other);
  ASSERT_NE(other_main, nullptr) << "a copy in another folder did not run";
  ExpectRefused(b);
  ExpectRefused(a);
  EXPECT_TRUE(other.Running());
  EXPECT_TRUE(first.Running());

  // After the first ends its slot is free again and a new start runs.
  CloseAndWait(first, main);
  EXPECT_EQ(record.Record().Count, 0);
  Child next(QuoteArg(a), ExtractFilePath(a));
  HWND next_main = MainWindowOf(next);
  ASSERT_NE(next_main, nullptr) << "a start after the first ended did not run";
  EXPECT_EQ(record.Record().Count, 1);
  CloseAndWait(next, next_main);
  CloseAndWait(other, other_main);
  EXPECT_EQ(record.Record().Count, 0);
}

TEST(GuardProcesses, TheBlockGoesWithTheLastInstance) {
  const std::string a = CopyOfProgram("c");
  {
    Child first(QuoteArg(a), ExtractFilePath(a));
    HWND main = MainWindowOf(first);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(RecordView(a).Open());
    CloseAndWait(first, main);
  }
  EXPECT_FALSE(RecordView(a).Open());
  Child again(QuoteArg(a), ExtractFilePath(a));
  HWND main = MainWindowOf(again);
  ASSERT_NE(main, nullptr);
  CloseAndWait(again, main);
}

// Finds the window of the instance the record names now, once it is a main window that has appeared.
HWND RegisteredMainWindow(const RecordView& record, DWORD* pid) {
  const DWORD start = GetTickCount();
  do {
    HWND app = reinterpret_cast<HWND>(static_cast<uintptr_t>(record.Record().Window));
    *pid = 0;
    GetWindowThreadProcessId(app, pid);
    if (*pid)
      if (HWND main = FindTopWindow("Sondrel", 200, *pid)) return main;
    PumpMessages(100);
  } while (GetTickCount() - start < 20000);
  return nullptr;
}

TEST(GuardProcesses, AnInstanceEndedFromInsideLeavesItsSlotToTheNextStart) {
  // The exception reporter ends the process at once, without giving its slot back.
  const std::string a = CopyOfProgram("ended");
  Child first(QuoteArg(a), ExtractFilePath(a));
  ASSERT_NE(MainWindowOf(first), nullptr);
  RecordView record(a);  // keeps the block, as a restarted instance that opened it already does
  ASSERT_TRUE(record.Open());
  TerminateProcess(first.Process(), 1);
  ASSERT_TRUE(first.Wait(15000));
  EXPECT_EQ(record.Record().Count, 1);
  Child next(QuoteArg(a), ExtractFilePath(a));
  HWND next_main = MainWindowOf(next);
  ASSERT_NE(next_main, nullptr) << "refused by the slot of an instance that has ended";
  EXPECT_EQ(record.Record().Count, 1);
  CloseAndWait(next, next_main);
  EXPECT_EQ(record.Record().Count, 0);
}

// Waits for the next error dialog of a process, once the one before it has gone (without a window
// manager a closed dialog stays on the screen for about two seconds).
HWND NextErrorDialog(HWND previous, DWORD pid) {
  for (DWORD start = GetTickCount(); previous && IsWindow(previous) && IsWindowVisible(previous) &&
                                     GetTickCount() - start < 15000;)
    PumpMessages(50);
  return FindTopWindow("Error.", 30000, pid);
}

TEST(GuardProcesses, ARestartedInstanceOpensOnceTheInstanceThatRestartedItEnds) {
  // The program's own reporter restarts it: from the fourth error its dialog offers Restart, which
  // starts the program anew and ends the running instance at once, without giving its slot back.
  const std::string a = CopyOfProgram("restart");
  DataFolderScope data({"", "", "", "[Settings]\r\nMLastTab=0\r\n"});
  // A backup tool reads the settings file: the start and every tab change fail to write it.
  auto held = std::make_unique<HeldFile>(data.Folder() + "Settings.dat", /*read_sharing=*/true);
  ASSERT_TRUE(held->Held());
  Child old(QuoteArg(a), ExtractFilePath(a));
  HWND dialog = nullptr;
  for (int n = 1; n <= 4; ++n) {
    if (n > 1) {
      if (n == 2) {
        ASSERT_NE(MainWindowOf(old), nullptr) << "no window after the first error";
      }
      // While a report is still ending, the reporter drops posted input (a user's click meets a beep):
      // the tab change is posted again, as a user would click again, until the tab strip takes it.
      HWND tabs = FindChildByClass(MainWindowOf(old), "SysTabControl32");
      for (int tries = 0; tries < 20 && SendMessageA(tabs, TCM_GETCURSEL, 0, 0) != n - 1; ++tries) {
        PostMessageA(tabs, TCM_SETCURFOCUS, n - 1, 0);
        for (DWORD start = GetTickCount(); SendMessageA(tabs, TCM_GETCURSEL, 0, 0) != n - 1 &&
                                           GetTickCount() - start < 1000;)
          PumpMessages(50);
      }
    }
    dialog = NextErrorDialog(dialog, old.Pid());
    ASSERT_NE(dialog, nullptr) << "no error dialog for error " << n;
    PumpMessages(300);
    EXPECT_EQ(IsWindowVisible(GetDlgItem(dialog, kIdTerminate)) != FALSE, n == 4) << n;
    if (n < 4) PostMessageA(GetDlgItem(dialog, kIdOk), BM_CLICK, 0, 0);
  }
  RecordView record(a);
  ASSERT_TRUE(record.Open());
  EXPECT_EQ(WindowText(GetDlgItem(dialog, kIdTerminate)), "&Restart");
  held.reset();  // the restarted program finds a settings file it can write
  PostMessageA(GetDlgItem(dialog, kIdTerminate), BM_CLICK, 0, 0);
  DWORD code = 99;
  ASSERT_TRUE(old.Wait(30000, &code)) << "the instance that restarted did not end";
  EXPECT_EQ(code, 1u);
  EXPECT_EQ(record.Record().Count, 1) << "the ended instance gave its slot back after all";
  DWORD pid = 0;
  HWND main = RegisteredMainWindow(record, &pid);
  ASSERT_NE(main, nullptr) << "the restarted instance did not open its window";
  EXPECT_NE(pid, old.Pid());
  EXPECT_EQ(record.Record().Count, 1);
  UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
  PostMessageA(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.get(), 15000), WAIT_OBJECT_0);
  EXPECT_EQ(record.Record().Count, 0);
}

}  // namespace
}  // namespace sondrel::test
