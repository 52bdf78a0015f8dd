// The main window of the real program under Wine, driven through messages as automation would: tabs,
// slot boxes, the keyword box and its history, the buttons and their message boxes, and what reaches
// the data files.
#include "tests/launch/launch_win_support.h"  // winsock2.h must come before windows.h

#include <commctrl.h>
#include <gtest/gtest.h>

#include "base/file.h"
#include "base/text.h"
#include "tests/app/main_window_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

constexpr char kBuiltIns[] =
    "CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n"
    "WONE,Web One,http://127.0.0.1:9/one?q=,,Web\r\n"
    "WTWO,Web Two,http://127.0.0.1:9/two?q=,&x=1,Web\r\n";
// Tab 3 holds a custom entry (ticked), a catalogue entry (unticked), an entry whose code the catalogue
// lacks (ticked as stored) and nothing in slots 4 to 10.
constexpr char kSites[] =
    "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
    "C,,My Site,http://127.0.0.1:9/my?k=,,3,1,1\r\n"
    "B,WONE,,,,3,2,0\r\n"
    "B,GONE,,,,3,3,1\r\n"
    "B,WTWO,,,,1,1,1\r\n";
// No line for code 5: its tab keeps the caption "Custom".
constexpr char kTabs[] =
    "CODE,NAME,LASTKEYWORDS\r\n"
    "1,Web,alpha^beta\r\n"
    "2,Images,\r\n"
    "3,Mine,gamma^delta\r\n"
    "4,News,epsilon\r\n"
    "6,Blogs,\r\n"
    "7,Shopping,\r\n"
    "8,Music,zeta\r\n";

std::string Settings(int last_tab) {
  return "[Settings]\r\nMLastTab=" + std::to_string(last_tab) + "\r\nMReverse=0\r\n";
}

DataFiles Files(int last_tab) { return {kBuiltIns, kSites, kTabs, Settings(last_tab)}; }

TEST(MainWindow, StartsOnTheOptionsPageWhenTheLastTabWasOptions) {
  DataFolderScope data(Files(8));
  MainWindow w;
  EXPECT_EQ(SendMessageA(w.Tabs(), TCM_GETITEMCOUNT, 0, 0), 9);
  EXPECT_EQ(SendMessageA(w.Tabs(), TCM_GETCURSEL, 0, 0), 8);
  EXPECT_TRUE(IsWindowVisible(w.Page("Options")));
  EXPECT_FALSE(IsWindowVisible(w.Page("Default")));
  for (const char* caption :
       {"Clear all search lists", "Submit searches in random order", "Quick Access Options", "About", "Help",
        "Check for updates"})
    EXPECT_TRUE(IsWindowVisible(w.Button(caption))) << caption;
  SaveScreenshot(w.Handle(), "main_options");
  // The focus is on a control of the shown page, so what the user types acts there.
  HWND focus = FocusOf(w.Handle());
  EXPECT_TRUE(focus && IsChild(w.Page("Options"), focus)) << "focus on " << WindowText(focus);
  PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 0);
  HWND box = w.WaitForBox(3000);
  ASSERT_NE(box, nullptr) << "Enter reached no control of the page";
  EXPECT_EQ(MainWindow::BoxText(box), "Clear all search lists?");
  MainWindow::Answer(box, "Cancel");
  EXPECT_EQ(w.Close(), 0u);
}

TEST(MainWindow, SlotBoxesShowTheirEntriesAndTickingTurnsBold) {
  DataFolderScope data(Files(2));
  MainWindow w;
  EXPECT_EQ(SendMessageA(w.Tabs(), TCM_GETCURSEL, 0, 0), 2);
  EXPECT_TRUE(IsWindowVisible(w.Page("Default")));
  std::vector<HWND> boxes = w.SlotBoxes();
  ASSERT_EQ(boxes.size(), 10u);

  EXPECT_EQ(WindowText(boxes[0]), " My Site");
  EXPECT_TRUE(IsWindowEnabled(boxes[0]));
  EXPECT_TRUE(IsTicked(boxes[0]));
  EXPECT_EQ(WindowText(boxes[1]), " Web One");
  EXPECT_TRUE(IsWindowEnabled(boxes[1]));
  EXPECT_FALSE(IsTicked(boxes[1]));
  // A catalogue entry whose code is gone reads as unassigned.
  EXPECT_EQ(WindowText(boxes[2]), " custom");
  EXPECT_FALSE(IsWindowEnabled(boxes[2]));
  EXPECT_FALSE(IsTicked(boxes[2]));
  for (size_t s = 3; s < 10; ++s) {
    EXPECT_EQ(WindowText(boxes[s]), " custom") << s + 1;
    EXPECT_FALSE(IsWindowEnabled(boxes[s])) << s + 1;
  }
  // Ticking makes the caption bold: the box shows clearly more dark pixels, and fewer again once unticked.
  // Ticked here through BM_SETCHECK, which leaves the focus (and its dotted frame) where it was.
  auto set_check = [](HWND box, bool on) {
    SendMessageA(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    PumpMessages(100);
  };
  const int regular = DarkPixels(boxes[1]);
  set_check(boxes[1], true);
  const int bold = DarkPixels(boxes[1]);
  EXPECT_GT(bold, regular + regular / 10) << "regular " << regular << ", bold " << bold;
  const int was_bold = DarkPixels(boxes[0]);
  set_check(boxes[0], false);
  EXPECT_LT(DarkPixels(boxes[0]) + was_bold / 10, was_bold);
  // And as the user does it, by clicking.
  Tick(boxes[0], true);
  EXPECT_TRUE(IsTicked(boxes[0]));
  Tick(boxes[2], true);
  EXPECT_FALSE(IsTicked(boxes[2])) << "a disabled box cannot be ticked";
  SetText(w.Keyword(), "sondrel");
  PumpMessages(200);
  SaveScreenshot(w.Handle(), "main_entry");

  EXPECT_EQ(w.Close(), 0u);
  const std::string sites = data.Read("SitesDB.dat");
  EXPECT_NE(sites.find("B,WONE,,,,3,2,1"), std::string::npos) << sites;
  EXPECT_NE(sites.find("B,GONE,,,,3,3,0"), std::string::npos) << "the unresolved entry is saved unticked\n" << sites;
  EXPECT_NE(sites.find("C,,My Site,http://127.0.0.1:9/my?k=,,3,1,1"), std::string::npos) << sites;
  EXPECT_NE(sites.find("B,WTWO,,,,1,1,1"), std::string::npos) << "other tabs' entries stay as they were\n" << sites;
}

TEST(MainWindow, TabChangeWritesTheLastTabAtOnceAndShowsThatTabsHistory) {
  DataFolderScope data(Files(0));
  MainWindow w;
  EXPECT_EQ(ComboItems(w.Keyword()), (std::vector<std::string>{"alpha", "beta"}));
  w.SelectTab(3);
  EXPECT_EQ(SendMessageA(w.Tabs(), TCM_GETCURSEL, 0, 0), 3);
  EXPECT_NE(data.Read("Settings.dat").find("MLastTab=3"), std::string::npos) << data.Read("Settings.dat");
  EXPECT_EQ(ComboItems(w.Keyword()), (std::vector<std::string>{"epsilon"}));
  // The tab whose code the tab file lacks has an empty history and nothing assigned.
  w.SelectTab(4);
  EXPECT_TRUE(ComboItems(w.Keyword()).empty());
  for (HWND box : w.SlotBoxes()) EXPECT_FALSE(IsWindowEnabled(box));
  w.SelectTab(8);
  EXPECT_TRUE(IsWindowVisible(w.Page("Options")));
  EXPECT_NE(data.Read("Settings.dat").find("MLastTab=8"), std::string::npos);
  EXPECT_EQ(w.Close(), 0u);
  // The tab without a line is saved under its code with the name "Custom".
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "5"), "5,Custom,");
}

// The stub browser stands in for the default browser; each start is one line of its log.
class MainWindowSearch : public ::testing::Test {
 protected:
  StubDefaultBrowser browser_;
};

TEST_F(MainWindowSearch, SearchAddsToTheHistoryWithoutRefreshingTheDropDownAndEnterSearchesOnce) {
  DataFolderScope data(Files(2));
  MainWindow w;
  SetText(w.Keyword(), "first words");
  Click(w.Button("Search"));
  auto starts = WaitForStubStarts(1, 5000);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_NE(starts[0].command_line.find("http://127.0.0.1:9/my?k=first+words"), std::string::npos)
      << starts[0].command_line;
  EXPECT_EQ(ComboItems(w.Keyword()), (std::vector<std::string>{"gamma", "delta"})) << "not refreshed yet";

  // Enter in the keyword box runs exactly one search (not a second one through the default button).
  SetText(w.Keyword(), "second");
  PostMessageA(w.KeywordEdit(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  starts = WaitForStubStarts(3, 4000);
  EXPECT_EQ(starts.size(), 2u);

  // Enter elsewhere on the entry page presses Search, the default button: one more search.
  SetText(w.Keyword(), "third");
  PostMessageA(w.SlotBoxes()[1], WM_KEYDOWN, VK_RETURN, 0x001C0001);
  starts = WaitForStubStarts(4, 4000);
  EXPECT_EQ(starts.size(), 3u);

  w.SelectTab(0);
  w.SelectTab(2);
  EXPECT_EQ(ComboItems(w.Keyword()),
            (std::vector<std::string>{"third", "second", "first words", "gamma", "delta"}));
  EXPECT_EQ(w.Close(), 0u);
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "3"), "3,Mine,third^second^first words^gamma^delta");
}

TEST_F(MainWindowSearch, BlankKeywordIsRefusedWithAMessage) {
  DataFolderScope data(Files(2));
  MainWindow w;
  SetText(w.Keyword(), "   ");
  HWND box = w.PressForBox("Search");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MainWindow::BoxText(box), "A valid input search is required!");
  MainWindow::Answer(box, "OK");
  EXPECT_TRUE(WaitForStubStarts(1, 500).empty());
  EXPECT_EQ(w.Close(), 0u);
}

TEST(MainWindow, ClearListEmptiesOnlyTheCurrentTabAfterConfirmation) {
  DataFolderScope data(Files(2));
  MainWindow w;
  HWND box = w.PressForBox("Clear List");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MainWindow::BoxText(box), "Clear current search list?");
  SaveScreenshot(box, "main_clear_list_box");
  MainWindow::Answer(box, "Cancel");
  EXPECT_EQ(ComboItems(w.Keyword()).size(), 2u) << "Cancel changes nothing";

  box = w.PressForBox("Clear List");
  ASSERT_NE(box, nullptr);
  MainWindow::Answer(box, "OK");
  EXPECT_TRUE(ComboItems(w.Keyword()).empty());
  EXPECT_EQ(WindowText(w.Keyword()), "");
  EXPECT_EQ(w.Close(), 0u);
  const std::string tabs = data.Read("TabsDB.dat");
  EXPECT_EQ(TabLine(tabs, "3"), "3,Mine,");
  EXPECT_EQ(TabLine(tabs, "1"), "1,Web,alpha^beta");
  EXPECT_EQ(TabLine(tabs, "4"), "4,News,epsilon");
}

TEST(MainWindow, ClearAllSearchListsEmptiesEveryTabAndConfirms) {
  DataFolderScope data(Files(8));
  MainWindow w;
  HWND ask = w.PressForBox("Clear all search lists");
  ASSERT_NE(ask, nullptr);
  EXPECT_EQ(MainWindow::BoxText(ask), "Clear all search lists?");
  MainWindow::Answer(ask, "OK");
  HWND done = w.WaitForBox();
  ASSERT_NE(done, nullptr);
  EXPECT_EQ(MainWindow::BoxText(done), "All search lists have been cleared!");
  EXPECT_EQ(FindChildByText(done, "Cancel"), nullptr);
  MainWindow::Answer(done, "OK");
  w.SelectTab(0);
  EXPECT_TRUE(ComboItems(w.Keyword()).empty());
  EXPECT_EQ(w.Close(), 0u);
  for (const std::string& line : SplitLines(data.Read("TabsDB.dat"))) {
    if (line.rfind("CODE,", 0) == 0) continue;
    EXPECT_EQ(line.back(), ',') << "history left in " << line;
  }
}

TEST(MainWindow, EndingTheSessionSavesTheConfiguration) {
  DataFolderScope data(Files(8));
  MainWindow w;
  Tick(w.Button("Submit searches in random order"), true);
  SendMessageA(w.Handle(), WM_QUERYENDSESSION, 0, 0);
  SendMessageA(w.Handle(), WM_ENDSESSION, TRUE, 0);
  EXPECT_NE(data.Read("Settings.dat").find("MReverse=1"), std::string::npos) << "written while still running";
  EXPECT_FALSE(data.Read("SitesDB.dat").empty());
  EXPECT_EQ(w.Close(), 0u);
}

TEST(MainWindow, RandomOrderIsSavedAtExit) {
  DataFolderScope data(Files(8));
  MainWindow w;
  HWND random = w.Button("Submit searches in random order");
  EXPECT_FALSE(IsTicked(random));
  Tick(random, true);
  EXPECT_EQ(data.Read("Settings.dat").find("MReverse=1"), std::string::npos) << "kept in memory until exit";
  EXPECT_EQ(w.Close(), 0u);
  EXPECT_NE(data.Read("Settings.dat").find("MReverse=1"), std::string::npos) << data.Read("Settings.dat");
}

}  // namespace
}  // namespace sondrel::test
