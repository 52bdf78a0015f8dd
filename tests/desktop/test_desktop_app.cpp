// The Quick Access, About and Help buttons of the real program under Wine, driven through messages:
// the shortcuts it writes into the prefix's folders, the About box and its web-site label against the
// stub browser, and the help library it finds through the registration.
#include "tests/launch/launch_win_support.h"  // winsock2.h must come before windows.h

#include <shlobj.h>

#include <gtest/gtest.h>

#include "base/file.h"
#include "base/shell_folder_win.h"
#include "base/text.h"
#include "desktop/help.h"
#include "launch/default_browser.h"
#include "tests/app/main_window_win.h"
#include "tests/desktop/link_reader_win.h"
#include "tests/support/registry_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

// Starts on the Options page, where the three buttons are.
DataFiles OptionsPage() { return {"", "", "", "[Settings]\r\nMLastTab=8\r\nMReverse=0\r\n"}; }

// Presses a button of a dialog (posted: its handler shows a box and waits) and returns the box.
HWND PressInDialog(MainWindow& w, HWND dialog, const std::string& caption) {
  PostMessageA(FindChildByText(dialog, caption), BM_CLICK, 0, 0);
  return w.WaitForBox();
}

TEST(QuickAccess, ShortcutsLandInThePrefixsFoldersEachPressWritingOnce) {
  DataFolderScope data(OptionsPage());
  const std::string desktop_link = GetSpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Sondrel.lnk";
  const std::string quick_launch = GetSpecialFolder(CSIDL_APPDATA) + "\\Microsoft\\Internet Explorer\\Quick Launch\\";
  ASSERT_TRUE(ForceDirectories(quick_launch));
  DeleteFileAt(desktop_link);
  DeleteFileAt(quick_launch + "Sondrel.lnk");

  MainWindow w;
  PostMessageA(w.Button("Quick Access Options"), BM_CLICK, 0, 0);
  HWND dialog = FindTopWindow("Create Quick Access ", 10000, w.Pid());
  ASSERT_NE(dialog, nullptr);
  EXPECT_FALSE(IsWindowEnabled(w.Handle())) << "modal";
  SaveScreenshot(dialog, "quick_access");

  // Twice: each press writes the file (deleted in between) and says so.
  for (int press = 0; press < 2; ++press) {
    HWND box = PressInDialog(w, dialog, "Add a shortcut to the Desktop");
    ASSERT_NE(box, nullptr) << press;
    EXPECT_EQ(MainWindow::BoxText(box), "Shortcut added.");
    if (press == 0) SaveScreenshot(box, "quick_access_added");
    MainWindow::Answer(box, "OK");
    ASSERT_TRUE(FileExists(desktop_link)) << press;
    if (press == 0) DeleteFileAt(desktop_link);
  }
  HWND box = PressInDialog(w, dialog, "Add a Quick Launch toolbar entry");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MainWindow::BoxText(box), "Shortcut added.");
  MainWindow::Answer(box, "OK");

  const std::string folder = ExtractFilePath(w.Program());
  for (const std::string& path : {desktop_link, quick_launch + "Sondrel.lnk"}) {
    const LinkContents link = ReadShellLink(path);
    EXPECT_TRUE(SameText(link.target, w.Program())) << link.target;
    EXPECT_TRUE(SameText(link.working_folder, folder)) << link.working_folder;
    EXPECT_EQ(link.working_folder.back(), '\\');
  }

  // Without its folder the shortcut cannot be saved, and the user is told where it would have gone.
  DeleteFileAt(quick_launch + "Sondrel.lnk");
  ASSERT_TRUE(RemoveDirectoryA(quick_launch.c_str()));
  box = PressInDialog(w, dialog, "Add a Quick Launch toolbar entry");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MainWindow::BoxText(box), "The shortcut could not be saved as\r\n" + quick_launch +
                                          "Sondrel.lnk\r\nThe folder may be missing or read-only.");
  MainWindow::Answer(box, "OK");

  PostMessageA(FindChildByText(dialog, "Ok"), BM_CLICK, 0, 0);
  PumpMessages(300);
  EXPECT_TRUE(IsWindowEnabled(w.Handle()));
  EXPECT_EQ(w.Close(), 0u);
  DeleteFileAt(desktop_link);
}

// The stub browser stands in for the default browser; each start is one line of its log.
class AboutBox : public ::testing::Test {
 protected:
  SavedRegValue http_command_{HKEY_CLASSES_ROOT, kHttpOpenCommandKey, ""};
  SavedRegValue user_choice_{HKEY_CURRENT_USER, kUserChoiceKey, "ProgId"};
  void SetUp() override {
    DeleteFileAt(StubLogPath());
    WriteRegString(HKEY_CLASSES_ROOT, kHttpOpenCommandKey, "", "\"" + ProgramFolder() + "stub_browser.exe\" \"%1\"");
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserChoiceKey, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
      RegDeleteValueA(h, "ProgId");
      RegCloseKey(h);
    }
  }
};

TEST_F(AboutBox, ShowsItsTextsAndEachLabelEventOpensTheSiteOnce) {
  DataFolderScope data(OptionsPage());
  MainWindow w;
  PostMessageA(w.Button("About"), BM_CLICK, 0, 0);
  HWND about = FindTopWindow("About Sondrel", 10000, w.Pid());
  ASSERT_NE(about, nullptr);
  for (const char* text : {"Sondrel", "Product Version: 2.0", "Copyright (C) 2026 Korvanta. All rights reserved.",
                           "https://www.example.com/", "Ok"})
    EXPECT_NE(FindChildByText(about, text), nullptr) << text;
  PumpMessages(200);
  SaveScreenshot(about, "about");

  HWND site = FindChildByText(about, "https://www.example.com/");
  ASSERT_NE(site, nullptr);
  PostMessageA(site, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(site, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  std::vector<StubStart> starts = WaitForStubStarts(2, 3000);
  ASSERT_EQ(starts.size(), 1u) << "a click opens the site once";
  EXPECT_EQ(SystemArgs(starts[0].command_line), StringList{"https://www.example.com/"});

  PostMessageA(site, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(5, 5));
  PostMessageA(site, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  starts = WaitForStubStarts(3, 3000);
  ASSERT_EQ(starts.size(), 2u) << "a double-click event opens it once more";
  EXPECT_EQ(SystemArgs(starts[1].command_line), StringList{"https://www.example.com/"});

  PostMessageA(FindChildByText(about, "Ok"), BM_CLICK, 0, 0);
  // Destroyed once closed; without a window manager Wine takes a while to let a captioned window go.
  for (int i = 0; i < 100 && IsWindow(about); ++i) PumpMessages(100);
  EXPECT_FALSE(IsWindow(about));
  EXPECT_TRUE(IsWindowEnabled(w.Handle()));
  EXPECT_EQ(w.Close(), 0u);
}

// The recorder registered as the HTML Help library writes what the program does with it.
class HelpButton : public ::testing::Test {
 protected:
  SavedRegValue registration_{HKEY_CLASSES_ROOT, kHtmlHelpServerKey, ""};
  std::string log_ = ProgramFolder() + "help_recorder.log";
  void SetUp() override { DeleteFileAt(log_); }
  StringList Log() const { return SplitLines(ReadFileBytes(log_).value_or("")); }
};

TEST_F(HelpButton, CallsTheRegisteredLibraryWithTheHelpFileBesideTheProgram) {
  WriteRegString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "", ProgramFolder() + "help_recorder.dll");
  DataFolderScope data(OptionsPage());
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string elsewhere = IncludeBackslash(temp) + "sondrel-elsewhere\\";
  ASSERT_TRUE(ForceDirectories(elsewhere));

  MainWindow w(elsewhere);
  EXPECT_EQ(Log(), StringList{"loaded"}) << "loaded at start-up";
  PostMessageA(w.Button("Help"), BM_CLICK, 0, 0);
  PumpMessages(500);
  const std::string help_file = ExtractFilePath(w.Program()) + "Sondrel.chm";
  EXPECT_EQ(Log(), (StringList{"loaded", "HtmlHelpA desktop 0 0 " + help_file}));
  EXPECT_EQ(w.Close(), 0u);
  // At the end: the viewer's windows closed (HH_CLOSE_ALL), then the library freed by the program.
  EXPECT_EQ(Log(), (StringList{"loaded", "HtmlHelpA desktop 0 0 " + help_file, "HtmlHelpA none 18 0 (null)", "freed"}));
}

TEST_F(HelpButton, DoesNothingWhenNoLibraryIsRegisteredOrItsFileIsMissing) {
  DataFolderScope data(OptionsPage());
  for (const std::string& registered : {std::string(), ProgramFolder() + "no_such_help.dll"}) {
    if (registered.empty()) {
      HKEY h = nullptr;
      if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
        RegDeleteValueA(h, nullptr);
        RegCloseKey(h);
      }
    } else {
      WriteRegString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "", registered);
    }
    MainWindow w;
    PostMessageA(w.Button("Help"), BM_CLICK, 0, 0);
    PumpMessages(300);
    DWORD_PTR answer = 0;
    EXPECT_NE(SendMessageTimeoutA(w.Handle(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer), 0) << registered;
    EXPECT_EQ(w.Close(), 0u) << registered;
  }
}

}  // namespace
}  // namespace sondrel::test
