// The whole customisation on the real program under Wine, driven through messages as a user would:
// Customize from the main window, a built-in entry for one slot and a custom search command for
// another; back on the main window both slots read their descriptions and can be ticked; a search
// hands both addresses to the stub browser; at exit SitesDB.dat holds both entries.
#include "tests/launch/launch_win_support.h"  // winsock2.h must come before windows.h

#include <gtest/gtest.h>

#include <algorithm>

#include "base/file.h"
#include "tests/app/main_window_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

constexpr char kBuiltIns[] =
    "CODE,DESCRIPTION,LEADING,POST,CATEGORY\r\n"
    "WONE,Web One,http://127.0.0.1:9/one?q=,,Web\r\n"
    "NEWS,News Now,http://127.0.0.1:9/news?s=,&x=1,News\r\n";
// Tab 3 is empty; tab 1 holds an entry that must come through unchanged.
constexpr char kSites[] =
    "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
    "B,WONE,,,,1,1,1\r\n";
constexpr char kTabs[] = "CODE,NAME,LASTKEYWORDS\r\n1,Web,\r\n2,Images,\r\n3,Mine,\r\n";
constexpr char kSettings[] = "[Settings]\r\nMLastTab=2\r\nMReverse=0\r\n";

struct HiddenSearch {
  DWORD pid;
  int hidden = 0;
  HWND found = nullptr;
};
BOOL CALLBACK CountHiddenCustomEntryDialogs(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<HiddenSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == s->pid && !IsWindowVisible(h) && WindowText(h) == "Enter custom entry") {
    ++s->hidden;
    s->found = h;
  }
  return TRUE;
}

BOOL CALLBACK CountWindow(HWND, LPARAM p) {
  ++*reinterpret_cast<int*>(p);
  return TRUE;
}

// A window of the program that a posted click opened; waits for it to be shown.
HWND Opened(DWORD pid, const std::string& caption) {
  return FindTopWindow(caption, 15000, pid);
}
void PressPosted(HWND window, const std::string& caption) {
  PostMessageA(FindChildByText(window, caption), BM_CLICK, 0, 0);
}
bool Closed(HWND window) {
  for (int i = 0; i < 1500 && IsWindow(window) && IsWindowVisible(window); ++i) PumpMessages(10);
  return !IsWindow(window) || !IsWindowVisible(window);
}

// A visible window of the program other than these, waiting up to 30 s; null when none came.
struct OtherSearch {
  DWORD pid;
  std::vector<HWND> known;
  HWND found = nullptr;
};
BOOL CALLBACK FindOtherWindow(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<OtherSearch*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != s->pid || !IsWindowVisible(h) || std::find(s->known.begin(), s->known.end(), h) != s->known.end())
    return TRUE;
  s->found = h;
  return FALSE;
}
HWND OtherWindow(DWORD pid, std::vector<HWND> known) {
  for (int i = 0; i < 300; ++i) {
    OtherSearch s{pid, known};
    EnumWindows(FindOtherWindow, reinterpret_cast<LPARAM>(&s));
    if (s.found) return s.found;
    PumpMessages(100);
  }
  return nullptr;
}

class CustomizeProgram : public ::testing::Test {
 protected:
  StubDefaultBrowser browser_;
};

TEST_F(CustomizeProgram, ABuiltInAndACustomEntryAreShownSearchedAndSaved) {
  DataFolderScope data({kBuiltIns, kSites, kTabs, kSettings});
  MainWindow w;
  DWORD pid = 0;
  GetWindowThreadProcessId(w.Handle(), &pid);
  // Made once the shown main window first waits for input, its controls a few at a time after it.
  HiddenSearch hidden{pid};
  auto controls = [&hidden] {
    int n = 0;
    if (hidden.found)
      EnumChildWindows(hidden.found, CountWindow, reinterpret_cast<LPARAM>(&n));
    return n;
  };
  for (int i = 0; i < 100 && (hidden.hidden == 0 || controls() < 10); ++i) {
    hidden.hidden = 0;
    EnumWindows(CountHiddenCustomEntryDialogs, reinterpret_cast<LPARAM>(&hidden));
    if (hidden.hidden == 0 || controls() < 10) PumpMessages(100);
  }
  EXPECT_EQ(hidden.hidden, 1) << "the custom-entry dialog made hidden at start-up";
  EXPECT_EQ(controls(), 10) << "labels, edits and buttons of the hidden dialog";
  // Owned by the application window, not the main one, whose end would destroy it under its object.
  const HWND owner = hidden.found ? GetWindow(hidden.found, GW_OWNER) : nullptr;
  EXPECT_TRUE(owner && owner != w.Handle()) << "owner " << owner;

  PressPosted(w.Handle(), "Customize");
  HWND edit = Opened(pid, "Customize");
  ASSERT_NE(edit, nullptr);
  HWND entries = FindChildByClass(edit, "ComboBox");
  EXPECT_EQ(ComboItems(entries), StringList(10, "(Not asigned)"));

  // Slot 1: the second catalogue row.
  PressPosted(edit, "Select search from a built-in list");
  HWND picker = Opened(pid, "Select search from a built-in list ");
  ASSERT_NE(picker, nullptr);
  HWND builtins = FindChildByClass(picker, "ComboBox", 1);
  EXPECT_EQ(ComboItems(builtins), (StringList{"Web One (Web)", "News Now (News)"}));
  SendMessageA(builtins, CB_SETCURSEL, 1, 0);
  PumpMessages(200);
  SaveScreenshot(picker, "program_builtin_picker");
  PressPosted(picker, "Ok");
  EXPECT_TRUE(Closed(picker));

  // Slot 2: a search command typed with the placeholder in capitals.
  SendMessageA(entries, CB_SETCURSEL, 1, 0);
  PressPosted(edit, "Enter custom description and search command");
  HWND custom = Opened(pid, "Enter custom entry");
  ASSERT_NE(custom, nullptr);
  SetText(FindChildByClass(custom, "Edit", 0), "Own Site");
  SetText(FindChildByClass(custom, "Edit", 1), "http://127.0.0.1:9/own?k=STUBTEXT&lang=en");
  PumpMessages(200);
  SaveScreenshot(custom, "program_custom_entry");
  PressPosted(custom, "Ok");
  EXPECT_TRUE(Closed(custom));
  PumpMessages(200);
  EXPECT_EQ(ComboItems(entries)[0], "News Now");
  EXPECT_EQ(ComboItems(entries)[1], "Own Site");
  SaveScreenshot(edit, "program_customize");
  PressPosted(edit, "Ok");
  EXPECT_TRUE(Closed(edit));

  const std::vector<HWND> boxes = w.SlotBoxes();
  ASSERT_EQ(boxes.size(), 10u);
  EXPECT_EQ(WindowText(boxes[0]), " News Now");
  EXPECT_EQ(WindowText(boxes[1]), " Own Site");
  for (int s : {0, 1}) {
    EXPECT_TRUE(IsWindowEnabled(boxes[static_cast<size_t>(s)])) << s + 1;
    EXPECT_FALSE(IsTicked(boxes[static_cast<size_t>(s)])) << "new entries are not ticked";
    Tick(boxes[static_cast<size_t>(s)], true);
  }
  EXPECT_EQ(WindowText(boxes[2]), " custom");
  SetText(w.Keyword(), "dialog words");
  PumpMessages(200);
  SaveScreenshot(w.Handle(), "program_main_after_customize");
  Click(w.Button("Search"));
  const auto starts = WaitForStubStarts(2, 10000);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_NE(starts[0].command_line.find("http://127.0.0.1:9/news?s=dialog+words&x=1"), std::string::npos)
      << starts[0].command_line;
  EXPECT_NE(starts[1].command_line.find("http://127.0.0.1:9/own?k=dialog+words&lang=en"), std::string::npos)
      << starts[1].command_line;

  hidden.hidden = 0;
  EnumWindows(CountHiddenCustomEntryDialogs, reinterpret_cast<LPARAM>(&hidden));
  EXPECT_EQ(hidden.hidden, 1) << "still there, and the one used for the entry is gone";
  EXPECT_EQ(w.Close(), 0u);
  EXPECT_EQ(SplitLines(data.Read("SitesDB.dat")),
            (StringList{"TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED", "B,WONE,,,,1,1,1",
                        "B,NEWS,,,,3,1,1", "C,,Own Site,http://127.0.0.1:9/own?k=,&lang=en,3,2,1"}));
}

// This Wine's shell-window collection cannot count its windows: the failure is reported through the
// exception reporter, and the import then goes on with no rows, with the four-line message.
TEST_F(CustomizeProgram, AFailingWindowCollectionIsReportedAndTheImportSaysNothingWasFound) {
  DataFolderScope data({kBuiltIns, kSites, kTabs, kSettings});
  MainWindow w;
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string log = IncludeBackslash(temp) + "sondrel-main\\Sondrel.rpt";  // beside the program
  DeleteFileAt(log);
  DWORD pid = 0;
  GetWindowThreadProcessId(w.Handle(), &pid);
  PressPosted(w.Handle(), "Customize");
  HWND edit = Opened(pid, "Customize");
  ASSERT_NE(edit, nullptr);
  PressPosted(edit, "Enter custom description and search command");
  HWND custom = Opened(pid, "Enter custom entry");
  ASSERT_NE(custom, nullptr);
  SetText(FindChildByClass(custom, "Edit", 1), "typed");
  PressPosted(custom, "Insert browser location");

  HWND report = OtherWindow(pid, {w.Handle(), edit, custom});
  ASSERT_NE(report, nullptr) << "no report was shown";
  ASSERT_NE(WindowText(report), "Insert browser location");
  SaveScreenshot(report, "program_browser_locations_report");
  PostMessageA(report, WM_COMMAND, IDOK, 0);
  for (int i = 0; i < 300 && !FileExists(log); ++i) PumpMessages(100);
  HWND box = w.WaitForBox(30000);
  ASSERT_NE(box, nullptr) << "the import did not go on";
  EXPECT_EQ(MainWindow::BoxText(box).rfind("No Internet Explorer pages were found with \"stubtext\" in their URL.", 0),
            0u)
      << MainWindow::BoxText(box);
  MainWindow::Answer(box, "OK");
  EXPECT_EQ(FindTopWindow("Insert browser location", 500, pid), nullptr) << "no list with nothing in it";
  EXPECT_EQ(WindowText(FindChildByClass(custom, "Edit", 1)), "typed");
  PressPosted(custom, "Cancel");
  EXPECT_TRUE(Closed(custom));
  PressPosted(edit, "Ok");
  EXPECT_TRUE(Closed(edit));
  EXPECT_EQ(w.Close(), 0u);

  const std::string text = ReadFileBytes(log).value_or("");
  EXPECT_NE(text.find("EOleSysError"), std::string::npos) << text;
  EXPECT_NE(text.find("IShellWindows"), std::string::npos) << text;
  EXPECT_EQ(data.Read("SitesDB.dat"), kSites) << "nothing changed";
}

}  // namespace
}  // namespace sondrel::test
