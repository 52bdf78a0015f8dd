// The real program under Wine when an event handler fails: the report it logs shows the failure where
// it was raised, with the handler that led there below it and nothing of the reporter above it.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "base/file.h"
#include "tests/app/main_window_win.h"
#include "tests/errorreport/report_facts.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

constexpr char kTabs[] = "CODE,NAME,LASTKEYWORDS\r\n1,Web,\r\n2,Images,\r\n";
constexpr char kSettings[] = "[Settings]\r\nMLastTab=0\r\nMReverse=0\r\n";

bool IsReporterOrBoundary(const std::vector<std::string>& row) {
  for (const char* unit : {"ExceptionReport_win.cpp", "intercept_win.cpp", "report_interception_win.cpp",
                           "report_worker.cpp", "forms_win.cpp"})
    if (row[2] == unit) return true;
  for (const char* proc : {"ExceptionManager", "ReportRoutine", "HandleException", "ReportException"})
    if (row[4].find(proc) != std::string::npos) return true;
  return false;
}

TEST(MainWindowReport, AFailedSettingsWriteAtATabChangeIsReportedWhereItWasRaised) {
  DataFolderScope data({"CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n", "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n",
                        kTabs, kSettings});
  const std::string settings = data.Folder() + "Settings.dat";
  MainWindow w;
  // The program runs from its own folder (see MainWindow) and logs beside itself.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string log = IncludeBackslash(temp) + "sondrel-main\\Sondrel.rpt";
  DeleteFileAt(log);
  // A folder where the file should be: the write of the last tab fails.
  DeleteFileAt(settings);
  ASSERT_TRUE(CreateDirectoryA(settings.c_str(), nullptr));
  PostMessageA(w.Tabs(), TCM_SETCURFOCUS, 1, 0);
  // The report's message: any window of the program besides the main window.
  HWND box = w.WaitForBox(30000, /*any_caption=*/true);
  ASSERT_TRUE(box) << "no report was shown";
  SaveScreenshot(box, "main_report_settings_write");
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  // While a report runs the main thread drops every message but painting: close only once it is over
  // (its log is written last).
  for (int i = 0; i < 300 && !FileExists(log); ++i) PumpMessages(100);
  PumpMessages(1000);
  // The file again, so that the end of the run can save.
  RemoveDirectoryA(settings.c_str());
  WriteFileAtomic(settings, kSettings);
  EXPECT_EQ(w.Close(), 0u);

  const std::string text = ReadFileBytes(log).value_or("");
  const ReportFacts f = ReadFacts(text);
  ASSERT_FALSE(f.stack.empty()) << text;
  // Row 2.2 is the raising code, and it heads the call stack.
  EXPECT_EQ(f.stack[0][0], f.address) << text;
  EXPECT_EQ(f.stack[0][1], "Sondrel.exe") << text;
  EXPECT_GT(std::atoi(f.stack[0][5].c_str()), 0) << text;
  const size_t handler = RowOf(f, "tbcMainChange");
  ASSERT_NE(handler, std::string::npos) << text;
  EXPECT_EQ(f.stack[handler][2], "FMain.cpp") << text;
  EXPECT_EQ(f.stack[handler][3], "sondrel::TfrmMain") << text;
  EXPECT_GT(std::atoi(f.stack[handler][5].c_str()), 0) << text;
  // Above the handler only the raise path: the settings write, none of the reporter's or boundary's.
  EXPECT_NE(RowOf(f, "WriteSettings"), std::string::npos) << text;
  EXPECT_LT(RowOf(f, "WriteSettings"), handler) << text;
  for (size_t i = 0; i < handler; ++i) EXPECT_FALSE(IsReporterOrBoundary(f.stack[i])) << f.stack[i][4] << "\n" << text;
  EXPECT_EQ(f.registers.at("EIP"), f.address) << text;
  EXPECT_NE(f.registers.at("EAX"), "????    ") << text;
  EXPECT_EQ(f.dump_stack, f.registers.at("ESP")) << text;
}

// A control made after the window is shown that the system refuses to make (a hook on the program's
// window creation fails it): one on the Options page, and one of the hidden custom-entry dialog. Each is reported once;
// the program goes on, the rest is made, and the program ends as usual.
TEST(MainWindowReport, AControlMadeAfterTheWindowIsShownThatCannotBeMadeIsReportedAndTheRestIsMade) {
  DataFolderScope data({"CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n", "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n",
                        kTabs, kSettings});
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string log = IncludeBackslash(temp) + "sondrel-main\\Sondrel.rpt";
  HMODULE library = LoadLibraryA((ProgramFolder() + "refuse_window.dll").c_str());
  ASSERT_NE(library, nullptr);
  auto* hook_proc =
      reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(library, "RefuseWindowHook")));
  ASSERT_NE(hook_proc, nullptr);
  for (const std::string refused : {"About", "Insert browser location"}) {
    SCOPED_TRACE(refused);
    DeleteFileAt(log);
    SetEnvironmentVariableA("SONDREL_TEST_REFUSE_WINDOW", refused.c_str());
    // On the program's main thread only, set before it runs: no other process loads the library.
    HHOOK hook = nullptr;
    MainWindow w("", true, [&](DWORD thread) { hook = SetWindowsHookExA(WH_CBT, hook_proc, library, thread); });
    SetEnvironmentVariableA("SONDREL_TEST_REFUSE_WINDOW", nullptr);  // the program has its copy
    ASSERT_NE(hook, nullptr);
    struct Unhook {
      HHOOK h;
      ~Unhook() { UnhookWindowsHookEx(h); }
    } unhook{hook};
    HWND box = w.WaitForBox(30000, /*any_caption=*/true);
    ASSERT_TRUE(box) << "no report was shown";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    for (int i = 0; i < 300 && !FileExists(log); ++i) PumpMessages(100);
    PumpMessages(1000);
    if (refused == "About") {
      const LRESULT options = SendMessageA(w.Tabs(), TCM_GETITEMCOUNT, 0, 0) - 1;
      SendMessageA(w.Tabs(), TCM_SETCURFOCUS, static_cast<WPARAM>(options), 0);
      PumpMessages(500);
      EXPECT_NE(w.Button("Help"), nullptr) << "the rest of the page is made";
      EXPECT_TRUE(IsWindowVisible(w.Button("Help")));
      EXPECT_EQ(FindChildByText(w.Handle(), refused), nullptr);
    } else {
      HWND hidden = FindHiddenTopWindow("Enter custom entry", w.Pid());
      ASSERT_NE(hidden, nullptr);
      EXPECT_NE(FindChildByClass(hidden, "Edit", 3), nullptr) << "the steps after it ran";
      EXPECT_EQ(FindChildByText(hidden, refused), nullptr);
    }
    EXPECT_EQ(w.WaitForBox(1000, /*any_caption=*/true), nullptr) << "reported once";
    EXPECT_EQ(w.Close(), 0u);

    const std::string text = ReadFileBytes(log).value_or("");
    const ReportFacts f = ReadFacts(text);
    ASSERT_FALSE(f.stack.empty()) << text;
    // The button's creation, where the system refused the window.
    EXPECT_NE(text.find("  2.4 Type   : EOSError\r\n"), std::string::npos) << text;
    // The system set no error code: the message says the call failed, not the system's text for 0.
    EXPECT_NE(text.find("  2.5 Message: A call to an OS function failed.\r\n"), std::string::npos) << text;
    EXPECT_NE(RowOf(f, "CreateHandle"), std::string::npos) << text;
    EXPECT_LT(RowOf(f, "CreateHandle"), RowOf(f, "TButton")) << text;
  }
}

}  // namespace
}  // namespace sondrel::test
