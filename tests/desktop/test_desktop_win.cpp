// The desktop units inside a test program: the shortcut writer against the prefix's real folders, the
// About box over other design-time texts, and the help library found through the prefix's own
// registration.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "base/file.h"
#include "base/shell_folder_win.h"
#include "desktop/FAbout.h"
#include "desktop/help.h"
#include "desktop/help_win.h"
#include "desktop/shortcut.h"
#include "desktop/shortcut_win.h"
#include "tests/desktop/link_reader_win.h"
#include "tests/support/registry_win.h"
#include "tests/support/screenshot_win.h"

namespace sondrel {
namespace {

TEST(CreateShortcut, WritesTheTargetAndItsFolderIntoEachPlace) {
  const std::string quick_launch = GetSpecialFolder(CSIDL_APPDATA) + kQuickLaunchSubfolder;
  ASSERT_TRUE(ForceDirectories(quick_launch));
  const std::string target = "C:\\Some Tools\\Sondrel\\Sondrel.exe";
  const std::pair<const char*, std::string> places[] = {
      {"DESKTOP", GetSpecialFolder(CSIDL_DESKTOPDIRECTORY) + "\\Sondrel Test.lnk"},
      {"QUICKLAUNCH", quick_launch + "Sondrel Test.lnk"}};
  for (const auto& [where, expected] : places) {
    DeleteFileAt(expected);
    const ShortcutOutcome outcome = CreateShortcut(target, "Sondrel Test", where);
    EXPECT_TRUE(outcome.saved) << where;
    EXPECT_EQ(outcome.path, expected);
    const test::LinkContents link = test::ReadShellLink(expected);
    EXPECT_EQ(link.target, target);
    EXPECT_EQ(link.working_folder, "C:\\Some Tools\\Sondrel\\");
    EXPECT_EQ(link.arguments, "");
    DeleteFileAt(expected);
  }
  // Nothing is written for a place that is not one of the two, nor into a folder that is missing.
  EXPECT_EQ(CreateShortcut(target, "Sondrel Test", "desktop").path, "");
  EXPECT_FALSE(CreateShortcut(target, "Sondrel Test", "desktop").saved);
  const ShortcutOutcome missing = CreateShortcut(target, "No Such Folder\\Sondrel Test", "DESKTOP");
  EXPECT_FALSE(missing.saved);
  EXPECT_FALSE(FileExists(missing.path));
}

TEST(About, TextsAreSetAtCreationWhateverTheDesignTimeTextsWere) {
  TApplication app(GetModuleHandleA(nullptr));  // the window classes
  for (const TAboutDesign& design : {TAboutDesign{}, TAboutDesign{"Form1", "Label1", "Label2", "", "Label4"}}) {
    TfrmAbout about(design);
    EXPECT_EQ(about.Caption(), "About Sondrel");
    EXPECT_EQ(about.lblProductName->Caption(), "Sondrel");
    EXPECT_EQ(about.lblProductVersion->Caption(), "Product Version: 2.0");
    EXPECT_EQ(about.lblCopyright->Caption(), kAboutCopyright);
    EXPECT_EQ(about.lblWebsite->Caption(), "https://www.example.com/");
    EXPECT_EQ(about.editAbout->Caption(), "Ok");
    EXPECT_EQ(about.ClientWidth(), TfrmAbout::kClientWidth);
    RECT r{};
    GetWindowRect(about.Image1->Handle(), &r);
    EXPECT_EQ(r.right - r.left, 30);
    EXPECT_EQ(r.bottom - r.top, 29);
  }
}

TEST(HtmlHelp, FoundThroughThePrefixsRegistrationAndKeptUntilFreed) {
  const auto registered = test::ReadRegString(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, "");
  ASSERT_TRUE(registered.has_value()) << "the prefix registers its HTML Help library";
  THtmlHelp help;
  help.Load();
  ASSERT_TRUE(help.Loaded());
  char loaded[MAX_PATH] = {};
  GetModuleFileNameA(help.Library(), loaded, MAX_PATH);
  EXPECT_EQ(lstrcmpiA(loaded, registered->c_str()), 0) << loaded << " / " << *registered;
  const HMODULE first = help.Library();
  help.Load();
  EXPECT_EQ(help.Library(), first) << "loaded once";
  help.Free();
  EXPECT_FALSE(help.Loaded());
  help.DisplayTopic(HelpFilePath(ProgramFolder()));  // not loaded: nothing happens
}

}  // namespace
}  // namespace sondrel
