// The real program under Wine when things go wrong around it: data files that cannot be written or
// read, keys pressed on other buttons than the default one, and a search that takes seconds. Files are
// made unwritable or unreadable the way another program does it, by holding them open.
#include "tests/launch/launch_win_support.h"  // winsock2.h must come before windows.h

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "base/file.h"
#include "base/text.h"
#include "tests/app/main_window_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

constexpr auto npos = std::string::npos;

// Eight catalogue rows; tab 1 ticks all eight, tab 3 holds a custom entry and a catalogue entry.
constexpr char kBuiltIns[] =
    "CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n"
    "S1,Site 1,http://127.0.0.1:9/s1?q=,,Web\r\nS2,Site 2,http://127.0.0.1:9/s2?q=,,Web\r\n"
    "S3,Site 3,http://127.0.0.1:9/s3?q=,,Web\r\nS4,Site 4,http://127.0.0.1:9/s4?q=,,Web\r\n"
    "S5,Site 5,http://127.0.0.1:9/s5?q=,,Web\r\nS6,Site 6,http://127.0.0.1:9/s6?q=,,Web\r\n"
    "S7,Site 7,http://127.0.0.1:9/s7?q=,,Web\r\nS8,Site 8,http://127.0.0.1:9/s8?q=,,Web\r\n";
constexpr char kSites[] =
    "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
    "B,S1,,,,1,1,1\r\nB,S2,,,,1,2,1\r\nB,S3,,,,1,3,1\r\nB,S4,,,,1,4,1\r\n"
    "B,S5,,,,1,5,1\r\nB,S6,,,,1,6,1\r\nB,S7,,,,1,7,1\r\nB,S8,,,,1,8,1\r\n"
    "C,,My Site,http://127.0.0.1:9/my?k=,,3,1,1\r\nB,S1,,,,3,2,0\r\n";
constexpr char kTabs[] =
    "CODE,NAME,LASTKEYWORDS\r\n1,Web,alpha^beta\r\n2,Images,\r\n3,Mine,gamma^delta\r\n4,News,\r\n"
    "5,Blogs,\r\n6,Videos,\r\n7,Shopping,\r\n8,Music,\r\n";

std::string Settings(int last_tab) {
  return "[Window]\r\nLeft=10\r\n[Settings]\r\nMLastTab=" + std::to_string(last_tab) + "\r\nMReverse=0\r\n";
}
DataFiles Files(int last_tab) { return {kBuiltIns, kSites, kTabs, Settings(last_tab)}; }

void Key(HWND target, WPARAM key) {
  PostMessageA(target, WM_KEYDOWN, key, 0);
  PumpMessages(300);
}

TEST(ShellFaults, ASaveThatFailsAtExitKeepsTheChangesBesideTheFileAndTheProcessEnds) {
  DataFolderScope data(Files(0));
  const std::string unsaved = data.Folder() + "SitesDB.dat.unsaved";
  DeleteFileAt(unsaved);
  {
    MainWindow w;
    Tick(w.SlotBoxes()[0], false);  // a change that only memory holds
    // A backup tool reads the file while the program ends: it can no longer be replaced.
    HeldFile held(data.Folder() + "SitesDB.dat", /*read_sharing=*/true);
    ASSERT_TRUE(held.Held());
    PostMessageA(w.Handle(), WM_CLOSE, 0, 0);
    HWND box = w.WaitForMessage("SitesDB.dat.unsaved");
    ASSERT_NE(box, nullptr) << "no message saying where the changes went";
    const std::string text = MainWindow::AllText(box);
    EXPECT_NE(text.find("SitesDB.dat could not be saved"), npos) << text;
    EXPECT_NE(text.find(unsaved), npos) << text;
    SaveScreenshot(box, "fault_save_at_exit");
    MainWindow::PressButton(box, "OK");
    EXPECT_EQ(w.WaitForEnd(), 0u) << "the process went on after the error";
  }
  EXPECT_EQ(data.Read("SitesDB.dat"), kSites);
  const std::string kept = ReadFileBytes(unsaved).value_or("<missing>");
  EXPECT_NE(kept.find("TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\nB,S1,,,,1,1,0\r\n"), npos) << kept;
  EXPECT_NE(data.Read("Settings.dat").find("Left=10"), npos) << "the files after it were still written";
  // The slot was given back: the next start opens its window.
  MainWindow again;
  EXPECT_EQ(again.Close(), 0u);
  DeleteFileAt(unsaved);
}

TEST(ShellFaults, SettingsThatCannotBeWrittenAtStartAreReportedAndTheWindowOpens) {
  DataFolderScope data(Files(2));
  HeldFile held(data.Folder() + "Settings.dat", /*read_sharing=*/true);
  ASSERT_TRUE(held.Held());
  MainWindow w("", /*wait_for_window=*/false);
  HWND box = w.WaitForMessage("Settings.dat could not be saved");
  ASSERT_NE(box, nullptr) << "the failed write of the last tab was not reported";
  MainWindow::PressButton(box, "OK");
  ASSERT_NE(w.WaitForMain(), nullptr) << "no window after the error";
  EXPECT_EQ(SendMessageA(w.Tabs(), TCM_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(WindowText(w.SlotBoxes()[0]), " My Site") << "the selected tab's page is filled";
  EXPECT_EQ(ComboItems(w.Keyword()), (std::vector<std::string>{"gamma", "delta"}));
  held.Release();
  EXPECT_EQ(w.Close(), 0u);
  EXPECT_NE(data.Read("Settings.dat").find("MLastTab=2"), npos) << data.Read("Settings.dat");
}

TEST(ShellFaults, DataFilesHeldOpenAtStartAreReportedOnceAndLeftAsTheyWere) {
  DataFolderScope data(Files(2));
  {
    HeldFile sites(data.Folder() + "SitesDB.dat", /*read_sharing=*/false);
    HeldFile settings(data.Folder() + "Settings.dat", /*read_sharing=*/false);
    ASSERT_TRUE(sites.Held() && settings.Held());
    MainWindow w;
    HWND box = w.WaitForMessage("could not be read");
    ASSERT_NE(box, nullptr) << "the unreadable files were not reported";
    const std::string text = MainWindow::AllText(box);
    EXPECT_NE(text.find("SitesDB.dat: "), npos) << text;
    EXPECT_NE(text.find("Settings.dat: "), npos) << text;
    EXPECT_EQ(text.find("TabsDB.dat"), npos) << text;
    EXPECT_NE(text.find(data.Folder()), npos) << text;
    SaveScreenshot(box, "fault_unreadable_files");
    MainWindow::PressButton(box, "OK");
    EXPECT_EQ(w.WaitForMessage("could not be read", 1000), nullptr) << "one message only";
    // What could be read is used: the defaults of the settings, the tabs' histories.
    EXPECT_EQ(SendMessageA(w.Tabs(), TCM_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(ComboItems(w.Keyword()), (std::vector<std::string>{"alpha", "beta"}));
    w.SelectTab(3);  // would write MLastTab
    sites.Release();
    settings.Release();
    EXPECT_EQ(w.Close(), 0u);
  }
  EXPECT_EQ(data.Read("SitesDB.dat"), kSites) << "replaced although it was never read";
  EXPECT_EQ(data.Read("Settings.dat"), Settings(2));
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "1"), "1,Web,alpha^beta");

  // Without the catalogue every catalogue entry shows unassigned; its tick is not saved as cleared.
  {
    HeldFile builtins(data.Folder() + "BuiltInDB.dat", /*read_sharing=*/false);
    MainWindow w;
    HWND box = w.WaitForMessage("BuiltInDB.dat: ");
    ASSERT_NE(box, nullptr);
    MainWindow::PressButton(box, "OK");
    w.SelectTab(0);
    EXPECT_FALSE(IsWindowEnabled(w.SlotBoxes()[0]));
    builtins.Release();
    EXPECT_EQ(w.Close(), 0u);
  }
  EXPECT_EQ(data.Read("SitesDB.dat"), kSites);
}

TEST(ShellKeys, EnterPressesTheFocusedButtonAndEscapeCancelsTheBox) {
  DataFolderScope data(Files(2));
  MainWindow w;
  HWND box = w.PressForBox("Clear List");
  ASSERT_NE(box, nullptr);
  HWND ok = FindChildByText(box, "OK"), cancel = FindChildByText(box, "Cancel");
  Key(ok, VK_TAB);  // the user moves to Cancel and presses Enter
  EXPECT_EQ(FocusOf(box), cancel);
  Key(cancel, VK_RETURN);
  EXPECT_FALSE(IsWindowVisible(box));
  EXPECT_EQ(ComboItems(w.Keyword()).size(), 2u) << "Enter on Cancel cleared the history";

  box = w.PressForBox("Clear List");
  ASSERT_NE(box, nullptr);
  Key(FindChildByText(box, "OK"), VK_ESCAPE);
  EXPECT_FALSE(IsWindowVisible(box));
  EXPECT_EQ(ComboItems(w.Keyword()).size(), 2u) << "Escape went on";

  // On the main window Enter presses the focused push button, not Search.
  SetText(w.Keyword(), "never searched");
  Key(w.Button("Clear List"), VK_RETURN);
  box = w.WaitForBox();
  ASSERT_NE(box, nullptr) << "Enter on Clear List did not press it";
  EXPECT_EQ(MainWindow::BoxText(box), "Clear current search list?");
  Key(FindChildByText(box, "OK"), VK_RETURN);  // the default, focused OK goes on
  EXPECT_TRUE(ComboItems(w.Keyword()).empty());
  Key(w.KeywordEdit(), VK_ESCAPE);  // nothing to cancel on the main window
  EXPECT_TRUE(IsWindowVisible(w.Handle()));
  Key(w.Button("Exit"), VK_RETURN);
  EXPECT_EQ(w.WaitForEnd(), 0u) << "Enter on Exit did not end the program";
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "3"), "3,Mine,");
}

class ShellSearch : public ::testing::Test {
 protected:
  StubDefaultBrowser browser_;
};

TEST_F(ShellSearch, TheWindowAnswersWhileEightAddressesGoOutOneSecondApart) {
  DataFolderScope data(Files(0));
  MainWindow w;
  SetText(w.Keyword(), "eight");
  PostMessageA(w.Button("Search"), BM_CLICK, 0, 0);
  DWORD worst = 0;
  for (size_t k = 1; k <= 5; ++k) {
    ASSERT_GE(WaitForStubStarts(k, 5000).size(), k);
    // A message posted now is handled before the next address goes out.
    const DWORD posted = GetTickCount();
    PostMessageA(w.KeywordEdit(), WM_CHAR, static_cast<WPARAM>('0' + k), 0);
    // The typed characters land at the caret, before or after the keyword: only their number counts.
    while (WindowText(w.KeywordEdit()).size() != 5 + k && GetTickCount() - posted < 3000) Sleep(5);
    const DWORD latency = GetTickCount() - posted;
    worst = std::max(worst, latency);
    EXPECT_EQ(WindowText(w.KeywordEdit()).size(), 5 + k);
    EXPECT_EQ(WaitForStubStarts(k + 1, 0).size(), k) << "handled only after the next start (" << latency << " ms)";
    if (k == 2) {  // neither Search nor Enter starts a second search meanwhile
      PostMessageA(w.Button("Search"), BM_CLICK, 0, 0);
      PostMessageA(w.KeywordEdit(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    }
    if (k == 3) PostMessageA(w.Button("Customize"), BM_CLICK, 0, 0);  // nor does Customize open
    if (k == 4) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w.Handle(), &pid);
      EXPECT_EQ(FindTopWindow("Customize", 200, pid), nullptr) << "Customize opened during the search";
      PostMessageA(w.Handle(), WM_CLOSE, 0, 0);  // the remaining addresses still go out
    }
  }
  std::printf("worst time to handle a posted message during the search: %lu ms\n", worst);
  EXPECT_EQ(w.WaitForEnd(30000), 0u);
  const std::vector<StubStart> starts = WaitForStubStarts(9, 1000);
  ASSERT_EQ(starts.size(), 8u);
  for (size_t i = 0; i < starts.size(); ++i) {
    EXPECT_NE(starts[i].command_line.find("/s" + std::to_string(i + 1) + "?q=eight"), npos) << starts[i].command_line;
    if (i > 0) {
      EXPECT_GE(starts[i].ms - starts[i - 1].ms, 500u) << "start " << i + 1 << " came too soon";
    }
  }
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "1"), "1,Web,eight^alpha^beta");
}

}  // namespace
}  // namespace sondrel::test
