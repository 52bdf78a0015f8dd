// The real program meets a failure it cannot deal with itself: its settings file cannot be written
// when the tab changes (a folder has taken its place since the start). The error dialog tells the user and shows the
// same report that the log keeps; the program goes on.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include "base/file.h"
#include "base/text.h"
#include "errorreport/capture/error_dialog.h"
#include "errorreport/capture/log_file.h"
#include "tests/app/main_window_win.h"
#include "tests/support/listview_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

constexpr char kTabs[] = "CODE,NAME,LASTKEYWORDS\r\n1,Web,alpha\r\n2,Images,\r\n3,News,\r\n";

// A folder where a file should be, for the life of the object; the file's bytes come back after.
class FolderInPlace {
 public:
  explicit FolderInPlace(std::string path) : path_(std::move(path)), saved_(ReadFileBytes(path_)) {
    DeleteFileAt(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
  }
  ~FolderInPlace() {
    RemoveDirectoryA(path_.c_str());
    if (saved_) WriteFileAtomic(path_, *saved_);
  }

 private:
  std::string path_;
  std::optional<std::string> saved_;
};

std::string WindowsFolder() {
  char dir[MAX_PATH] = {};
  GetWindowsDirectoryA(dir, MAX_PATH);
  return IncludeBackslash(dir);
}

// The rows of one table of a report ("|a |b |" lines between its dash lines), cells trimmed.
std::vector<std::vector<std::string>> TableRows(const std::string& report, const std::string& caption) {
  std::vector<std::vector<std::string>> rows;
  StringList lines = SplitLines(report.substr(report.find(caption + ":")));
  int dashes = 0;
  for (const std::string& line : lines) {
    if (!line.empty() && line[0] == '-') {
      if (++dashes == 3) break;
      continue;
    }
    if (dashes != 2 || line.empty() || line[0] != '|') continue;
    StringList cells = Split(line.substr(1, line.size() - 2), '|');
    for (auto& c : cells) c = Trim(c);
    rows.push_back(cells);
  }
  return rows;
}

HWND PageContent(HWND dialog) { return GetDlgItem(FindChildByClass(dialog, "#32770"), kIdPageContent); }

TEST(ProgramErrorDialog, AnUnwritableSettingsFileAtATabChangeIsShownAsLoggedAndTheProgramGoesOn) {
  DataFolderScope data({"", "", kTabs, "[Settings]\r\nMLastTab=0\r\nMReverse=0\r\n"});
  // The dialog's own settings cannot be read or written either: it works with its defaults.
  FolderInPlace ini(WindowsFolder() + "ErrorReport.ini");
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string log = IncludeBackslash(temp) + "sondrel-main\\Sondrel.rpt";
  DeleteFileAt(log);

  MainWindow w;
  // Written at start; from now on the settings file cannot be written.
  FolderInPlace settings(data.Folder() + "Settings.dat");
  DWORD pid = 0;
  GetWindowThreadProcessId(w.Handle(), &pid);
  // Posted: the program's thread waits inside the report until the dialog closes.
  PostMessageA(w.Tabs(), TCM_SETCURFOCUS, 2, 0);
  HWND d = FindTopWindow("Error.", 30000, pid);
  ASSERT_TRUE(d) << "no error dialog";
  PumpMessages(300);
  const std::string message = WindowText(GetDlgItem(d, kIdMessage));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kIdTabs))) << "compact view first";
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(d, kIdSendBox))) << "the program sends nothing";
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdDetails)), "&Details >>");
  SaveScreenshot(d, "sondrel_error_compact");

  Click(GetDlgItem(d, kIdDetails));
  PumpMessages(300);
  EXPECT_EQ(WindowText(GetDlgItem(d, kIdDetails)), "<< &Details");
  EXPECT_EQ(TabTexts(GetDlgItem(d, kIdTabs)), (std::vector<std::string>{"General", "Call Stack", "Modules", "CPU"}));
  std::string pages[4];
  std::vector<std::vector<std::string>> stack_rows, module_rows;
  for (int page = 0; page < 4; ++page) {
    SendMessageA(GetDlgItem(d, kIdTabs), TCM_SETCURFOCUS, page, 0);
    PumpMessages(200);
    HWND content = PageContent(d);
    ASSERT_TRUE(content) << page;
    if (page == 0 || page == 3) pages[page] = WindowText(content);
    if (page == 1) stack_rows = ListViewRows(content);
    if (page == 2) module_rows = ListViewRows(content);
  }
  SaveScreenshot(d, "sondrel_error_detailed");
  Click(GetDlgItem(d, kIdOk));
  // Under Xvfb with no window manager a closing dialog stays on the screen for about two seconds: wait
  // until it is gone, so that the exit's dialog found below is the new one and not this one.
  for (DWORD start = GetTickCount(); IsWindow(d) && IsWindowVisible(d) && GetTickCount() - start < 15000;)
    PumpMessages(50);

  // The log is written once the dialog has closed.
  for (DWORD start = GetTickCount(); TLogFile(log).Count() == 0 && GetTickCount() - start < 15000;) Sleep(50);
  // The program goes on: it answers, on the tab the user chose.
  DWORD_PTR answer = 0;
  EXPECT_TRUE(SendMessageTimeoutA(w.Handle(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer));
  EXPECT_EQ(SendMessageA(w.Tabs(), TCM_GETCURSEL, 0, 0), 2);

  TLogFile file(log);
  ASSERT_EQ(file.Count(), 1u);
  const std::string report = file.Entries()[0];
  std::string one_line = message;
  for (char& c : one_line)
    if (c == '\r' || c == '\n') c = ' ';
  EXPECT_NE(report.find("  2.5 Message: " + one_line + "\r\n"), std::string::npos) << message << "\n" << report;
  EXPECT_EQ(report.rfind(pages[0], 0), 0u) << "the general page is the report's general part";
  EXPECT_FALSE(pages[3].empty());
  EXPECT_NE(report.find(pages[3]), std::string::npos) << "the CPU page is the report's processor part";
  const auto logged_stack = TableRows(report, "Call Stack Information");
  ASSERT_FALSE(stack_rows.empty());
  for (const auto& row : stack_rows)
    EXPECT_NE(std::find(logged_stack.begin(), logged_stack.end(), row), logged_stack.end()) << row[0] << " " << row[4];
  const auto logged_modules = TableRows(report, "Modules Information");
  ASSERT_EQ(module_rows.size(), logged_modules.size());
  for (size_t i = 0; i < module_rows.size(); ++i) {
    const auto& m = logged_modules[i];
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(module_rows[i], (std::vector<std::string>{m[0], m[1], m[2], ShortVersionText(m[3]),
                                                         SizeKbText(static_cast<uint32_t>(std::stoul(m[4]))), m[5]}));
  }

  // At the end the settings fail once more, and that report is shown and logged too.
  PostMessageA(w.Handle(), WM_CLOSE, 0, 0);
  HWND last = FindTopWindow("Error.", 30000, pid);
  ASSERT_TRUE(last) << "no error dialog at exit";
  EXPECT_NE(last, d);
  Click(GetDlgItem(last, kIdOk));
  EXPECT_EQ(w.Close(), 0u);
  EXPECT_EQ(TLogFile(log).Count(), 2u);
  // The dialog's settings file could not be written: nothing came of it but the defaults.
  DWORD attributes = GetFileAttributesA((WindowsFolder() + "ErrorReport.ini").c_str());
  EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

}  // namespace
}  // namespace sondrel::test
