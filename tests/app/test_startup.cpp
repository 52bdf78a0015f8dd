// The start of the real program under Wine: the per-user data folder is created, the default files
// beside the program are moved into it on the first start, and later starts delete newer defaults
// unread. The user's data folder of the test prefix is put back as it was afterwards.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <map>

#include "base/cmdline.h"
#include "base/file.h"
#include "base/shell_folder_win.h"
#include "model/data_files.h"
#include "tests/support/process_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

std::string Shipped(const char* name) {
  return ReadFileBytes(std::string(SONDREL_DATA_DIR) + name).value_or("");
}

// Keeps the data folder's files for the test's length and puts them back at its end.
class SavedDataFolder {
 public:
  explicit SavedDataFolder(std::string folder) : folder_(std::move(folder)) {
    for (const char* name : kDataFileNames) {
      if (auto bytes = ReadFileBytes(folder_ + name)) saved_[name] = *bytes;
      DeleteFileAt(folder_ + name);
    }
  }
  ~SavedDataFolder() {
    for (const char* name : kDataFileNames) {
      DeleteFileAt(folder_ + name);
      auto it = saved_.find(name);
      if (it != saved_.end()) WriteFileAtomic(folder_ + name, it->second);
    }
  }

 private:
  std::string folder_;
  std::map<std::string, std::string> saved_;
};

void RunOnce(const std::string& exe) {
  Child app(QuoteArg(exe), ExtractFilePath(exe));
  HWND main = FindTopWindow("Sondrel", 20000, app.Pid());
  ASSERT_NE(main, nullptr) << "no main window";
  PostMessageA(main, WM_CLOSE, 0, 0);
  DWORD code = 99;
  EXPECT_TRUE(app.Wait(15000, &code));
  EXPECT_EQ(code, 0u);
}

TEST(Startup, DefaultFilesMoveIntoTheDataFolderOnce) {
  const std::string app_data = GetSpecialFolder(CSIDL_APPDATA);
  ASSERT_FALSE(app_data.empty());
  const std::string data = DataFolderUnder(app_data);
  EXPECT_EQ(data, IncludeBackslash(app_data) + "Korvanta\\Windlesk\\");
  SavedDataFolder keep(data);

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = IncludeBackslash(temp) + "sondrel-startup\\";
  ForceDirectories(folder);
  const std::string exe = folder + "Sondrel.exe";
  ASSERT_TRUE(CopyFileA((ProgramFolder() + "Sondrel.exe").c_str(), exe.c_str(), FALSE));
  for (const char* name : kDataFileNames) WriteFileAtomic(folder + name, Shipped(name));

  RunOnce(exe);
  for (const char* name : kDataFileNames) {
    EXPECT_FALSE(FileExists(folder + name)) << name << " stayed beside the program";
    // What was loaded is what is there after the run, byte for byte.
    EXPECT_EQ(ReadFileBytes(data + name).value_or("<missing>"), Shipped(name)) << name;
  }

  // A newer default put beside the program later is deleted without being read.
  WriteFileAtomic(folder + "SitesDB.dat",
                  "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\nB,WBING,,,,1,1,0\r\n");
  RunOnce(exe);
  EXPECT_FALSE(FileExists(folder + "SitesDB.dat"));
  EXPECT_EQ(ReadFileBytes(data + "SitesDB.dat").value_or("<missing>"), Shipped("SitesDB.dat"));
}

}  // namespace
}  // namespace sondrel::test
