// The real program under Wine when things go wrong around it: data files that cannot be written or
// read, keys pressed on other buttons than the default one, and a search that takes seconds. Files are
// made unwritable or unreadable the way another program does it, by holding them open.
#include "tests/launch/launch_win_support.h"  // winsock2.h must come before windows.h

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "base/file.h"
#include "base/text.h"
#include "model/data_files.h"
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
    MainWindow::Answer(w.PressForBox("Clear List"), "OK");  // and one for the file saved after it
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
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "1"), "1,Web,") << "the file after it was not written";
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

// Holds data files without sharing while the program starts, as another program does, and answers the
// one message the start shows: it names exactly these files and the data folder.
class HeldAtStart {
 public:
  HeldAtStart(const DataFolderScope& data, const std::vector<std::string>& names, const char* screenshot = nullptr) {
    for (const std::string& name : names) {
      held_.push_back(std::make_unique<HeldFile>(data.Folder() + name, /*read_sharing=*/false));
      EXPECT_TRUE(held_.back()->Held()) << name;
    }
    window_ = std::make_unique<MainWindow>();
    HWND box = window_->WaitForMessage("could not be read");
    EXPECT_NE(box, nullptr) << "the unreadable files were not reported";
    if (!box) return;
    const std::string text = MainWindow::AllText(box);
    for (const char* file : kDataFileNames) {
      const bool named = text.find(std::string(file) + ": ") != npos;
      EXPECT_EQ(named, std::find(names.begin(), names.end(), file) != names.end()) << file << "\n" << text;
    }
    EXPECT_NE(text.find(data.Folder()), npos) << text;
    if (screenshot) SaveScreenshot(box, screenshot);
    MainWindow::PressButton(box, "OK");
    EXPECT_EQ(window_->WaitForMessage("could not be read", 1000), nullptr) << "one message only";
  }
  MainWindow& Window() { return *window_; }
  // The other program lets go of the files before the program ends.
  void Release() { held_.clear(); }
  DWORD ReleaseAndClose() {
    Release();
    return window_->Close();
  }

 private:
  std::vector<std::unique_ptr<HeldFile>> held_;
  std::unique_ptr<MainWindow> window_;
};

TEST(ShellFaults, DataFilesHeldOpenAtStartAreReportedOnceAndLeftAsTheyWere) {
  DataFolderScope data(Files(2));
  {
    HeldAtStart start(data, {"SitesDB.dat", "Settings.dat"}, "fault_unreadable_files");
    MainWindow& w = start.Window();
    // What could be read is used: the defaults of the settings, the tabs' histories.
    EXPECT_EQ(SendMessageA(w.Tabs(), TCM_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(ComboItems(w.Keyword()), (std::vector<std::string>{"alpha", "beta"}));
    w.SelectTab(3);  // would write MLastTab
    EXPECT_EQ(start.ReleaseAndClose(), 0u);
  }
  EXPECT_EQ(data.Read("SitesDB.dat"), kSites) << "replaced although it was never read";
  EXPECT_EQ(data.Read("Settings.dat"), Settings(2));
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "1"), "1,Web,alpha^beta");

  // Without the catalogue every catalogue entry shows unassigned; its tick is not saved as cleared.
  {
    HeldAtStart start(data, {"BuiltInDB.dat"});
    MainWindow& w = start.Window();
    w.SelectTab(0);
    EXPECT_FALSE(IsWindowEnabled(w.SlotBoxes()[0]));
    EXPECT_EQ(start.ReleaseAndClose(), 0u);
  }
  EXPECT_EQ(data.Read("SitesDB.dat"), kSites);

  // Without the tab file the histories are empty; a search still adds to one, and that change is kept
  // beside the file, which stays as it was.
  const std::string unsaved = data.Folder() + "TabsDB.dat.unsaved";
  DeleteFileAt(unsaved);
  {
    StubDefaultBrowser browser;
    HeldAtStart start(data, {"TabsDB.dat"});
    MainWindow& w = start.Window();
    w.SelectTab(2);
    EXPECT_TRUE(ComboItems(w.Keyword()).empty());
    EXPECT_EQ(WindowText(w.SlotBoxes()[0]), " My Site");
    SetText(w.KeywordEdit(), "kept");
    PostMessageA(w.Button("Search"), BM_CLICK, 0, 0);
    EXPECT_EQ(WaitForStubStarts(1, 10000).size(), 1u);
    start.Release();
    PostMessageA(w.Handle(), WM_CLOSE, 0, 0);
    HWND box = w.WaitForMessage("TabsDB.dat.unsaved");
    ASSERT_NE(box, nullptr) << "the search's change to the unread tab file went without a word";
    EXPECT_NE(MainWindow::AllText(box).find("TabsDB.dat could not be read at start"), npos);
    MainWindow::PressButton(box, "OK");
    EXPECT_EQ(w.WaitForEnd(), 0u);
  }
  EXPECT_EQ(data.Read("TabsDB.dat"), kTabs) << "replaced although it was never read";
  EXPECT_EQ(TabLine(ReadFileBytes(unsaved).value_or(""), "3"), "3,Custom,kept");
  DeleteFileAt(unsaved);
}

TEST(ShellKeys, EnterPressesTheFocusedButtonAndEscapeCancelsTheBox) {
  DataFolderScope data(Files(2));
  StubDefaultBrowser browser;  // a search pressed by mistake would start it
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
  SetText(w.Keyword(), "never searched");
  Key(w.Button("Customize"), VK_RETURN);
  HWND customize = FindTopWindow("Customize", 10000, w.Pid());
  ASSERT_NE(customize, nullptr) << "Enter on Customize did not press it";
  Key(customize, VK_ESCAPE);  // the dialog has no Cancel: Escape takes Ok
  for (DWORD start = GetTickCount(); IsWindowVisible(customize) && GetTickCount() - start < 15000;) PumpMessages(50);
  EXPECT_FALSE(IsWindowVisible(customize));
  Key(w.Button("Exit"), VK_RETURN);
  EXPECT_EQ(w.WaitForEnd(), 0u) << "Enter on Exit did not end the program";
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "3"), "3,Mine,");
  EXPECT_TRUE(WaitForStubStarts(1, 0).empty()) << "Enter on a button ran a search";
}

class ShellSearch : public ::testing::Test {
 protected:
  StubDefaultBrowser browser_;
};

TEST_F(ShellSearch, TheWindowAnswersWhileEightAddressesGoOutOneSecondApart) {
  DataFolderScope data(Files(0));
  MainWindow w;
  // Tab posted to the main window moves the focus on: once it has moved, the window handled the key.
  DWORD worst = 0;
  const auto answers = [&] {
    const HWND before = FocusOf(w.Handle());
    const DWORD posted = GetTickCount();
    PostMessageA(w.Handle(), WM_KEYDOWN, VK_TAB, 0);
    while (FocusOf(w.Handle()) == before && GetTickCount() - posted < 20000) Sleep(2);
    worst = std::max(worst, GetTickCount() - posted);
    return FocusOf(w.Handle()) != before;
  };
  const HWND options_first = w.Button("Clear all search lists");
  SetText(w.Keyword(), "eight");
  PostMessageA(w.Button("Search"), BM_CLICK, 0, 0);
  for (size_t k = 1; k <= 8; ++k) {
    ASSERT_GE(WaitForStubStarts(k, 5000).size(), k);
    if (k == 5) w.SelectTab(8);  // the user moves to the Options page meanwhile
    ASSERT_TRUE(answers()) << "the key was never handled";
    // Handled between two addresses: a window that blocks for the whole search fails here.
    EXPECT_EQ(WaitForStubStarts(k + 1, 0).size(), k) << "handled only after address " << k + 1 << " went out";
    if (k == 2) {  // neither Search nor Enter starts a second search meanwhile
      PostMessageA(w.Button("Search"), BM_CLICK, 0, 0);
      PostMessageA(w.KeywordEdit(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    }
    if (k == 3) PostMessageA(w.Button("Customize"), BM_CLICK, 0, 0);  // nor does Customize open
    if (k == 4) {
      EXPECT_EQ(FindTopWindow("Customize", 200, w.Pid()), nullptr) << "Customize opened during the search";
    }
  }
  std::printf("worst time to handle a key posted during the search: %lu ms\n", worst);
  // The key after the last address was handled while the search was still under way: its end moves the
  // focus after it, to the first control of the page shown, not to the hidden keyword box.
  const HWND moved = FocusOf(w.Handle());
  ASSERT_NE(moved, options_first) << "the keys went round the page; the end would move nothing";
  for (DWORD start = GetTickCount(); FocusOf(w.Handle()) == moved && GetTickCount() - start < 20000;) Sleep(5);
  EXPECT_EQ(FocusOf(w.Handle()), options_first) << "the end of the search left the focus off the shown page";

  // Back on the tab, the history has the keyword; closing during a second search lets its addresses out.
  w.SelectTab(0);
  EXPECT_EQ(ComboItems(w.Keyword()), (std::vector<std::string>{"eight", "alpha", "beta"}));
  SetText(w.Keyword(), "nine");
  PostMessageA(w.Button("Search"), BM_CLICK, 0, 0);
  ASSERT_GE(WaitForStubStarts(9, 5000).size(), 9u);
  PostMessageA(w.Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(w.WaitForEnd(30000), 0u);
  const std::vector<StubStart> starts = WaitForStubStarts(17, 1000);
  ASSERT_EQ(starts.size(), 16u);
  for (size_t i = 0; i < starts.size(); ++i) {
    const std::string address = "/s" + std::to_string(i % 8 + 1) + "?q=" + (i < 8 ? "eight" : "nine");
    EXPECT_NE(starts[i].command_line.find(address), npos) << starts[i].command_line;
    // The order above shows a gap in which the window answered; the stub's clock shows the gap is the
    // program's wait of a second, with half of it to spare for a slow start of a stub.
    if (i % 8 > 0) {
      EXPECT_GE(starts[i].ms - starts[i - 1].ms, 500u) << "start " << i + 1 << " came too soon";
    }
  }
  EXPECT_EQ(TabLine(data.Read("TabsDB.dat"), "1"), "1,Web,nine^eight^alpha^beta");
}

}  // namespace
}  // namespace sondrel::test
