// The installer as a user runs it, under Wine: silently into the user's own programs folder, with a
// Start-menu entry and an uninstall entry; the installed program starts and opens its window; the
// uninstaller removes the program and leaves the user's data folder as it was.
#include <windows.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include "base/cmdline.h"
#include "base/file.h"
#include "base/shell_folder_win.h"
#include "base/text.h"
#include "model/data_files.h"
#include "tests/app/main_window_win.h"
#include "tests/desktop/link_reader_win.h"
#include "tests/support/process_win.h"
#include "tests/support/registry_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sondrel";

// The uninstaller copies itself to the temporary folder and works from there, so that it can delete
// its own file: the process started ends at once. Runs it and waits for the copies it started.
void RunUninstaller(const std::string& command_line) {
  Child first(command_line);
  ASSERT_TRUE(first.Wait(60000));
  std::vector<HANDLE> copies;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  ASSERT_NE(snap, INVALID_HANDLE_VALUE);
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry))
    if (entry.th32ParentProcessID == first.Pid())
      if (HANDLE p = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) copies.push_back(p);
  CloseHandle(snap);
  for (HANDLE p : copies) {
    EXPECT_EQ(WaitForSingleObject(p, 120000), WAIT_OBJECT_0) << "the uninstaller did not end";
    CloseHandle(p);
  }
}

// The data folder's files, by name.
std::vector<std::pair<std::string, std::string>> DataFolderFiles(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const char* name : kDataFileNames)
    if (auto bytes = ReadFileBytes(folder + name)) files.emplace_back(name, *bytes);
  return files;
}

TEST(Installer, InstallsPerUserStartsTheProgramAndUninstallsKeepingTheData) {
  const std::string folder = GetSpecialFolder(CSIDL_LOCAL_APPDATA) + "\\Programs\\Sondrel\\";
  const std::string menu = GetSpecialFolder(CSIDL_PROGRAMS) + "\\Sondrel\\";
  DataFolderScope empty_data_folder(DataFiles{});
  const std::string& data_folder = empty_data_folder.Folder();
  RunChild("cmd /c rmdir /s /q " + QuoteArg(folder), 30000);  // what an earlier run may have left

  ChildResult setup = RunChild(QuoteArg(SONDREL_DIST_SETUP) + " /S", 180000);
  ASSERT_FALSE(setup.timed_out);
  EXPECT_EQ(setup.exit_code, 0u) << setup.output;
  for (const char* name : {"Sondrel.exe", "Sondrel.chm", "BuiltInDB.dat", "SitesDB.dat", "TabsDB.dat", "Settings.dat",
                           "README.txt", "licenses\\zlib.txt", "licenses\\libjpeg-turbo.txt", "Uninstall.exe"})
    EXPECT_TRUE(FileExists(folder + name)) << name;
  EXPECT_TRUE(HasReportOptionsBlock(folder + "Sondrel.exe")) << "the installed program runs without its reporter";
  EXPECT_TRUE(SameText(ReadShellLink(menu + "Sondrel.lnk").target, folder + "Sondrel.exe"));
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kUninstallKey, "DisplayName"), "Sondrel 2.0");
  EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kUninstallKey, "UninstallString"), "\"" + folder + "Uninstall.exe\"");

  // The installed program starts from the Start-menu entry's target and moves its defaults in.
  {
    Child program(QuoteArg(folder + "Sondrel.exe"), folder);
    HWND main = FindTopWindow("Sondrel", 30000, program.Pid());
    ASSERT_NE(main, nullptr) << "the installed program opened no window";
    PumpMessages(300);
    SaveScreenshot(main, "installed_program");
    PostMessageA(main, WM_CLOSE, 0, 0);
    DWORD code = 99;
    EXPECT_TRUE(program.Wait(30000, &code));
    EXPECT_EQ(code, 0u);
  }
  const auto data = DataFolderFiles(data_folder);
  EXPECT_EQ(data.size(), 4u) << "the defaults moved into the data folder";
  EXPECT_FALSE(FileExists(folder + "SitesDB.dat"));

  RunUninstaller(QuoteArg(folder + "Uninstall.exe") + " /S");
  EXPECT_FALSE(DirectoryExists(folder)) << "the program's folder is gone";
  EXPECT_FALSE(DirectoryExists(menu)) << "the Start-menu entry is gone";
  EXPECT_FALSE(ReadRegString(HKEY_CURRENT_USER, kUninstallKey, "DisplayName").has_value());
  EXPECT_EQ(DataFolderFiles(data_folder), data) << "the data folder is kept";
}

}  // namespace
}  // namespace sondrel::test
