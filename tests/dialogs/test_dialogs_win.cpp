// The customisation dialogs as real windows under Xvfb, grouped by dialog: the test's thread runs the
// dialog, a driver thread plays the user through messages, and the test checks the model and the
// stand-in main window afterwards. The browser-location import runs against a test double of the
// shell's window collection.
#include <gtest/gtest.h>

#include "base/exception.h"
#include "dialogs/FBuiltIn.h"
#include "dialogs/FCustomSite.h"
#include "dialogs/FEdit.h"
#include "dialogs/FEnumerator.h"
#include "dialogs/FOrder.h"
#include "dialogs/FTabName.h"
#include "dialogs/browser_list.h"
#include "dialogs/builtin_list.h"
#include "dialogs/customize.h"
#include "tests/dialogs/dialog_test_win.h"
#include "tests/dialogs/sample_catalogue.h"
#include "tests/dialogs/shell_windows_double_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

// Tab 2: custom entry (ticked) in slot 3, catalogue entries in 4 (unticked) and 5 (ticked). Tab 3 is
// empty. Tab 4: a custom entry in slot 1 and a catalogue code that is gone in slot 2. Tab 5: slots 1-3.
constexpr char kEntries[] =
    "TYPE,CODE,DESCRIPTION,LEADING,POST,TAB,ORDER,CHECKED\r\n"
    "B,IONE,,,,1,1,1\r\n"
    "C,,Mine,http://m/?k=,&x,2,3,1\r\n"
    "B,WONE,,,,2,4,0\r\n"
    "B,WTWO,,,,2,5,1\r\n"
    "C,,First,l,p,4,1,0\r\n"
    "B,GONE,,,,4,2,1\r\n"
    "C,,a,la,pa,5,1,1\r\n"
    "B,WONE,,,,5,2,0\r\n"
    "C,,c,lc,pc,5,3,0\r\n";
constexpr char kTabs[] = "CODE,NAME,LASTKEYWORDS\r\n1,Web,\r\n2,Mine,\r\n3,Empty,\r\n4,Odd,\r\n5,Five,\r\n";

const StringList kUnassignedRows(kSlotCount, "(Not asigned)");

// Browser-location sources for the dialogs.
ShellWindowsSource Collection(FakeShellWindowsSetup setup) {
  return [setup] { return MakeFakeShellWindows(setup); };
}
const ShellWindowsSource kNoBrowsers = Collection({});

std::vector<std::string> g_reported;  // class names of what reached the exception boundary
bool RecordException(std::exception_ptr e) noexcept {
  g_reported.push_back(ExceptionClassName(e));
  return false;
}

class Dialogs : public ::testing::Test {
 protected:
  Dialogs() {
    app_.SetTitle(kBoxTitle);
    app_.SetExceptionHook(RecordException);
    g_reported.clear();
    model_.ReadBuiltIns(kCatalogue);
    model_.ReadSites(kEntries);
    model_.ReadTabs(kTabs);
  }
  ~Dialogs() override {
    // The main form's destruction would end the (next) message loop.
    app_.SetMainForm(nullptr);
    host_.reset();
  }
  // The stand-in main window, on tab position tab_index.
  THostWindow& Host(int tab_index) {
    host_ = std::make_unique<THostWindow>(model_, tab_index);
    app_.SetMainForm(host_.get());
    host_->Show();
    return *host_;
  }
  std::string Saved() const { return model_.SitesText() + model_.TabsText(); }
  StringList Keys() const {
    StringList keys;
    for (const auto& p : model_.Sites) keys.push_back(p.key);
    return keys;
  }

  TApplication app_{GetModuleHandleA(nullptr)};
  TSearchManager model_;
  std::unique_ptr<THostWindow> host_;
};

// ---- Customize ----

using Customize = Dialogs;

TEST_F(Customize, AnEmptyTabOpensWithTenUnassignedRowsAndNothingToClearOrReorder) {
  THostWindow& host = Host(2);
  TfrmEdit edit(host, kNoBrowsers);
  edit.Show();
  EXPECT_EQ(edit.Caption(), "Customize");
  EXPECT_EQ(edit.lblTitle->Caption(), "Tab Title:  Empty");
  EXPECT_EQ(Rows(edit.cbxEntry->Handle()), kUnassignedRows);
  EXPECT_EQ(edit.cbxEntry->ItemIndex(), 0);
  const std::string before = Saved();
  Click(edit.btnClear->Handle());  // returns at once: no message box was shown
  SendMessageA(edit.cbxEntry->Handle(), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  Click(edit.btnClear->Handle());
  {
    std::string said;
    Drive([&] { said = AnswerBox(); }, [&] { Click(edit.btnBuiltIn->Handle()); });
    EXPECT_EQ(said, kSelectEntryMessage) << "no row selected";
  }
  edit.cbxEntry->SetItemIndex(0);
  {
    Drive(
        [] {
          HWND order = WaitWindow("Change order of entries");
          SendMessageA(Control(order, "ListBox"), LB_SETCURSEL, 4, 0);
          Press(order, "Move to top");
          Sleep(100);
          Press(order, "Ok");
        },
        [&] { Click(edit.btnChangeOrder->Handle()); });
  }
  EXPECT_EQ(Saved(), before) << "reordering empty rows changes nothing";
  EXPECT_EQ(Rows(edit.cbxEntry->Handle()), kUnassignedRows);
}

TEST_F(Customize, ClearingASlotLeavesTheOtherEntriesAndEmptiesItsBox) {
  THostWindow& host = Host(1);
  TfrmEdit edit(host, kNoBrowsers);
  edit.Show();
  PumpMessages(200);
  SaveScreenshot(edit.Handle(), "dialog_customize");
  EXPECT_EQ(Rows(edit.cbxEntry->Handle()),
            (StringList{"(Not asigned)", "(Not asigned)", "Mine", "Web One", "Web Two", "(Not asigned)",
                        "(Not asigned)", "(Not asigned)", "(Not asigned)", "(Not asigned)"}))
      << "rows at opening are the captions trimmed";
  edit.cbxEntry->SetItemIndex(3);
  Click(edit.btnClear->Handle());
  EXPECT_EQ(Keys(), (StringList{"1-1", "2-3", "2-5", "4-1", "4-2", "5-1", "5-2", "5-3"}));
  EXPECT_EQ(model_.SiteAt(2, 3)->Order, 3);
  EXPECT_EQ(model_.SiteAt(2, 5)->Order, 5);
  EXPECT_EQ(host.BoxState(4), "' custom' off");
  EXPECT_EQ(host.BoxState(5), "' Web Two' on ticked");
  EXPECT_EQ(edit.cbxEntry->Item(3), "(Not asigned)");
  EXPECT_EQ(edit.cbxEntry->ItemIndex(), 3);
}

TEST_F(Customize, BuiltInOverCustomKeepsTheTextsCustomOverBuiltInClearsTheCodeNewOnesAreUnticked) {
  THostWindow& host = Host(1);
  TfrmEdit edit(host, kNoBrowsers);
  edit.Show();
  edit.cbxEntry->SetItemIndex(2);  // slot 3, the ticked custom entry
  {
    bool label_seen = false;
    StringList web_rows;
    Drive(
        [&] {
          HWND picker = WaitWindow("Select search from a built-in list ");
          label_seen = FindChildByText(picker, "Entry name:  Mine") != nullptr;
          SelectRow(Control(picker, "ComboBox", 0), 1);  // Web
          web_rows = Rows(Control(picker, "ComboBox", 1));
          SendMessageA(Control(picker, "ComboBox", 1), CB_SETCURSEL, 1, 0);
          Press(picker, "Ok");
        },
        [&] { Click(edit.btnBuiltIn->Handle()); });
    EXPECT_TRUE(label_seen);
    EXPECT_EQ(web_rows, (StringList{"Web One (Web)", "Web Two (Web)"}));
  }
  EXPECT_EQ(SplitLines(model_.SitesText())[2], "B,WTWO,Mine,http://m/?k=,&x,2,3,1");
  EXPECT_EQ(host.BoxState(3), "' Web Two' on ticked");
  EXPECT_EQ(edit.cbxEntry->Item(2), "Web Two");
  EXPECT_EQ(edit.cbxEntry->ItemIndex(), 2);

  edit.cbxEntry->SetItemIndex(4);  // slot 5, a ticked catalogue entry
  {
    std::string preset = "?";
    Drive(
        [&] {
          HWND dialog = WaitWindow("Enter custom entry");
          preset = WindowText(Control(dialog, "Edit", 0));
          SetText(Control(dialog, "Edit", 0), " Own ");
          SetText(Control(dialog, "Edit", 1), "http://o/?q=STUBTEXT&z=1");
          Press(dialog, "Ok");
        },
        [&] { Click(edit.btnCustom->Handle()); });
    EXPECT_EQ(preset, "") << "a catalogue entry presets nothing";
  }
  EXPECT_EQ(SplitLines(model_.SitesText())[4], "C,, Own ,http://o/?q=,&z=1,2,5,1");
  EXPECT_EQ(host.BoxState(5), "'  Own ' on ticked");
  EXPECT_EQ(edit.cbxEntry->Item(4), " Own ") << "as typed";
  {
    // A custom entry presets its description; the command must be given again.
    StringList seen;
    Drive(
        [&] {
          HWND dialog = WaitWindow("Enter custom entry");
          seen = {WindowText(Control(dialog, "Edit", 0)), WindowText(Control(dialog, "Edit", 1))};
          Press(dialog, "Cancel");
        },
        [&] { Click(edit.btnCustom->Handle()); });
    EXPECT_EQ(seen, (StringList{" Own ", ""}));
  }

  const int count = model_.Sites.Count();
  edit.cbxEntry->SetItemIndex(0);  // empty slots 1 and 2 get new entries
  {
    Drive(
        [] {
          HWND dialog = WaitWindow("Enter custom entry");
          SetText(Control(dialog, "Edit", 0), "New");
          SetText(Control(dialog, "Edit", 1), "http://n/?q=stubtext");
          Press(dialog, "Ok");
        },
        [&] { Click(edit.btnCustom->Handle()); });
  }
  edit.cbxEntry->SetItemIndex(1);
  {
    Drive([] { Press(WaitWindow("Select search from a built-in list "), "Ok"); },
          [&] { Click(edit.btnBuiltIn->Handle()); });
  }
  ASSERT_EQ(model_.Sites.Count(), count + 2);
  EXPECT_EQ(SplitLines(model_.SitesText()).back(), "B,WONE,,,,2,2,0");
  EXPECT_EQ(SplitLines(model_.SitesText())[static_cast<size_t>(count) + 1], "C,,New,http://n/?q=,,2,1,0");
  EXPECT_EQ(host.BoxState(1), "' New' on");
  EXPECT_EQ(host.BoxState(2), "' Web One' on");
}

TEST_F(Customize, CancellingAnySubDialogChangesNothing) {
  THostWindow& host = Host(1);
  TfrmEdit edit(host, kNoBrowsers);
  edit.Show();
  edit.cbxEntry->SetItemIndex(2);
  const std::string before = Saved();
  const StringList rows = Rows(edit.cbxEntry->Handle());
  const auto boxes = [&host] {
    StringList all;
    for (int s = 1; s <= kSlotCount; ++s) all.push_back(host.BoxState(s));
    return all;
  };
  const StringList boxes_before = boxes();
  struct Case {
    TButton* button;
    const char* caption;
    std::function<void(HWND)> change;
  } cases[] = {
      {edit.btnBuiltIn, "Select search from a built-in list ",
       [](HWND w) { SelectRow(Control(w, "ComboBox"), 2); }},
      {edit.btnCustom, "Enter custom entry",
       [](HWND w) {
         SetText(Control(w, "Edit", 0), "Changed");
         SetText(Control(w, "Edit", 1), "http://c/?q=stubtext");
       }},
      {edit.btnChangeOrder, "Change order of entries",
       [](HWND w) {
         Press(w, "Move to bottom");
         Sleep(100);
       }},
      {edit.btnChangeTabName, "Change tab name", [](HWND w) { SetText(Control(w, "Edit"), "Other"); }},
  };
  for (const Case& c : cases) {
    Drive(
        [&c] {
          HWND w = WaitWindow(c.caption);
          c.change(w);
          Press(w, "Cancel");
        },
        [&] { Click(c.button->Handle()); });
    EXPECT_EQ(Saved(), before) << c.caption;
    EXPECT_EQ(boxes(), boxes_before) << c.caption;
  }
  EXPECT_EQ(Rows(edit.cbxEntry->Handle()), rows);
  EXPECT_EQ(edit.lblTitle->Caption(), "Tab Title:  Mine");
  EXPECT_EQ(host.shown_tab, 2) << "only at creation";
}

// The order dialog once, as the user does it: select a row, press moves, then Ok.
void ReorderThroughTheDialog(TfrmEdit& edit, int row, const std::vector<const char*>& moves,
                             StringList* shown = nullptr, const char* screenshot = nullptr) {
  Drive(
      [&] {
        HWND order = WaitWindow("Change order of entries");
        if (shown) *shown = Rows(Control(order, "ListBox"));
        SendMessageA(Control(order, "ListBox"), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
        for (const char* move : moves) {
          Press(order, move);
          Sleep(100);
        }
        if (screenshot) SaveScreenshot(order, screenshot);
        Press(order, "Ok");
      },
      [&] { Click(edit.btnChangeOrder->Handle()); });
}

TEST_F(Customize, ReorderingRenumbersTheTabAndRowsThenBeginWithABlank) {
  THostWindow& host = Host(4);
  TfrmEdit edit(host, kNoBrowsers);
  edit.Show();
  StringList shown;
  // Slots 1, 2, 3 hold a, Web One, c; the new row order 3, 1, 2, 4, ...
  ReorderThroughTheDialog(edit, 2, {"Move to top"}, &shown, "dialog_order");
  EXPECT_EQ(shown, (StringList{"a", "Web One", "c", "(Not asigned)", "(Not asigned)", "(Not asigned)",
                               "(Not asigned)", "(Not asigned)", "(Not asigned)", "(Not asigned)"}));
  EXPECT_EQ(model_.SiteAt(5, 1)->Description, "c");
  EXPECT_EQ(model_.SiteAt(5, 2)->Description, "a");
  EXPECT_EQ(model_.SiteAt(5, 3)->Code, "WONE");
  EXPECT_EQ(host.shown_tab, 5) << "the main window refilled its boxes";
  EXPECT_EQ(host.BoxState(2), "' a' on ticked") << "the tick travels with the entry";
  EXPECT_EQ(Rows(edit.cbxEntry->Handle()),
            (StringList{" c", " a", " Web One", "(Not asigned)", "(Not asigned)", "(Not asigned)",
                        "(Not asigned)", "(Not asigned)", "(Not asigned)", "(Not asigned)"}));
  EXPECT_EQ(edit.cbxEntry->ItemIndex(), 0);

  // The empty slot 4 moved to the top: every entry above it moves one down, the top stays empty.
  ReorderThroughTheDialog(edit, 3, {"Move up", "Move up", "Move up"});
  EXPECT_EQ(model_.SiteAt(5, 1), nullptr);
  EXPECT_EQ(model_.SiteAt(5, 2)->Description, "c");
  EXPECT_EQ(model_.SiteAt(5, 3)->Description, "a");
  EXPECT_EQ(model_.SiteAt(5, 4)->Code, "WONE");
  EXPECT_EQ(host.BoxState(1), "' custom' off");
  EXPECT_EQ(Keys().back(), "5-2") << "the list keeps its sequence, keys follow the orders";
}

// ---- Tab name (through the Customize dialog) ----

using TabName = Dialogs;

TEST_F(TabName, ABlankNameIsRefusedANameWithBlanksIsKeptAndTwelveCharactersAtMost) {
  THostWindow& host = Host(1);
  TfrmEdit edit(host, kNoBrowsers);
  edit.Show();
  StringList seen;
  Drive(
      [&] {
        HWND dialog = WaitWindow("Change tab name");
        HWND name = Control(dialog, "Edit");
        seen.push_back(WindowText(name));
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui);
        seen.push_back(gui.hwndFocus == name ? "focused" : "not focused");
        SetText(name, "");
        Type(name, "abcdefghijklm");
        seen.push_back(WindowText(name));
        SetText(name, "   ");
        Press(dialog, "Ok");
        seen.push_back(AnswerBox());
        seen.push_back(IsWindowVisible(dialog) ? "open" : "closed");
        SetText(name, " My Tab ");
        Sleep(100);
        SaveScreenshot(dialog, "dialog_tab_name");
        Press(dialog, "Ok");
      },
      [&] { Click(edit.btnChangeTabName->Handle()); });
  EXPECT_EQ(seen, (StringList{"Mine", "focused", "abcdefghijkl", "A valid tab title is required!", "open"}));
  EXPECT_EQ(edit.lblTitle->Caption(), "Tab Title:   My Tab ");
  EXPECT_EQ(model_.TabAt(2)->Name, " My Tab ");
  EXPECT_EQ(host.TabStrip().TabCaption(1), " My Tab ");
}

// ---- Built-in picker ----

using BuiltInPicker = Dialogs;

TEST_F(BuiltInPicker, OpensOnAllCategoriesAndOkWithNothingToChooseStaysOpen) {
  Host(1);
  TfrmBuilIn picker(model_);
  EXPECT_EQ(Rows(picker.cbxCategory->Handle()),
            (StringList{"All categories", "Web", "Images", "Videos", "News", "Blogs", "Shopping", "Music"}));
  EXPECT_EQ(picker.cbxCategory->ItemIndex(), 0);
  EXPECT_EQ(Rows(picker.cbxBuiltIn->Handle()),
            (StringList{"Web One (Web)", "Pics (Images)", "Web Two (Web)", "Odd One (web)"}));
  EXPECT_EQ(picker.cbxBuiltIn->ItemIndex(), 0);
  StringList seen;
  Drive(
      [&] {
        HWND w = WaitWindow("Select search from a built-in list ");
        SelectRow(Control(w, "ComboBox", 0), 7);  // Music: no rows
        seen.push_back(std::to_string(Rows(Control(w, "ComboBox", 1)).size()));
        Press(w, "Ok");
        seen.push_back(AnswerBox());
        seen.push_back(IsWindowVisible(w) ? "open" : "closed");
        SelectRow(Control(w, "ComboBox", 0), 2);  // Images
        seen.push_back(Join(Rows(Control(w, "ComboBox", 1)), "|"));
        Sleep(100);
        SaveScreenshot(w, "dialog_builtin");
        Press(w, "Ok");
      },
      [&] { EXPECT_EQ(picker.ShowModal(), mrOk); });
  EXPECT_EQ(seen, (StringList{"0", kNoBuiltInToChoose, "open", "Pics (Images)"}));
  EXPECT_EQ(picker.SelectedCode, "IONE");
}

TEST_F(BuiltInPicker, AnEmptyCatalogueOffersNothingAndCancelChoosesNothing) {
  TSearchManager empty;
  TfrmBuilIn picker(empty);
  std::string said;
  Drive(
      [&] {
        HWND w = WaitWindow("Select search from a built-in list ");
        Press(w, "Ok");
        said = AnswerBox();
        Press(w, "Cancel");
      },
      [&] { EXPECT_EQ(picker.ShowModal(), mrCancel); });
  EXPECT_EQ(said, kNoBuiltInToChoose);
  EXPECT_EQ(picker.SelectedCode, "");
}

// ---- Custom entry ----

using CustomEntry = Dialogs;

TEST_F(CustomEntry, EachCheckSaysWhatIsMissingAndLeavesTheTextsAsTyped) {
  TfrmCustomSite dialog(kNoBrowsers);
  StringList seen;
  Drive(
      [&] {
        HWND w = WaitWindow("Enter custom entry");
        HWND description = Control(w, "Edit", 0), command = Control(w, "Edit", 1);
        Type(description, "1234567890abc");
        seen.push_back(WindowText(description));
        const auto attempt = [&](const char* d, const char* c) {
          SetText(description, d);
          SetText(command, c);
          Press(w, "Ok");
          seen.push_back(AnswerBox() + " / " + WindowText(description) + " / " + WindowText(command));
        };
        attempt("   ", "http://x/?q=stubtext");
        attempt(" Pad ", " \t");
        attempt(" Pad ", "http://x/?q=stub");
        SetText(command, "http://x/?a=StubText&b=stubtext");
        Sleep(100);
        SaveScreenshot(w, "dialog_custom_entry");
        Press(w, "Ok");
      },
      [&] { EXPECT_EQ(dialog.ShowModal(), mrOk); });
  EXPECT_EQ(seen,
            (StringList{"1234567890ab", "A valid description is required! /     / http://x/?q=stubtext",
                        "A valid search command is required! /  Pad  /  \t",
                        "Enter a search command contain the text \"stubtext\"! /  Pad  / http://x/?q=stub"}));
  EXPECT_EQ(dialog.edtDescription->Text(), " Pad ");
  EXPECT_EQ(dialog.edtLeading->Text(), "http://x/?a=");
  EXPECT_EQ(dialog.edtPost->Text(), "&b=stubtext") << "a second placeholder stays in the post part";
}

TEST_F(CustomEntry, ThePlaceholderInCapitalsInMixedCaseAndWithBlanksAround) {
  const struct {
    const char* command;
    const char* leading;
    const char* post;
  } cases[] = {{"STUBTEXT", "", ""},
               {"http://S/?Q=sTuBtExT&L=En", "http://S/?Q=", "&L=En"},
               {"  stubtext  ", "  ", "  "}};
  for (const auto& c : cases) {
    TfrmCustomSite dialog(kNoBrowsers);
    dialog.edtDescription->SetText("D");
    Drive(
        [&] {
          HWND w = WaitWindow("Enter custom entry");
          SetText(Control(w, "Edit", 1), c.command);
          Press(w, "Ok");
        },
        [&] { EXPECT_EQ(dialog.ShowModal(), mrOk) << c.command; });
    EXPECT_EQ(dialog.edtLeading->Text(), c.leading) << c.command;
    EXPECT_EQ(dialog.edtPost->Text(), c.post) << c.command;
  }
}

// ---- Browser locations ----

const FakeShellWindowsSetup kOpenPages{{
    {L"http://a/?q=stubtext"},
    {L"http://a/?q=stubtext"},  // the same result page in a second tab
    {L"file:///C:/pages/stubtext.html"},
    {L"file:///C:/Users/stubtext/"},  // a folder window of the shell
    {L"HTTP://B/?Q=STUBTEXT"},
    {L"", true, true, /*empty_item=*/true},
    {L"http://notabrowser/?q=stubtext", true, /*is_browser=*/false},
    {L"http://loading/?q=stubtext", /*has_document=*/false},
    {L""},
    {L"http://c/?q=other"},
}};

TEST(BrowserLocations, QualifyingPagesInTheCollectionsOrderWithDuplicatesAndCapitals) {
  StringList rows;
  CollectBrowserLocations(*MakeFakeShellWindows(kOpenPages).get(), rows);
  EXPECT_EQ(rows, (StringList{"http://a/?q=stubtext", "http://a/?q=stubtext",
                              "file:///C:/pages/stubtext.html", "HTTP://B/?Q=STUBTEXT"}));
  EXPECT_EQ(LiveFakeObjects(), 0) << "every item, browser and document is released";
}

TEST(BrowserLocations, AFailingCallKeepsTheRowsFoundBeforeIt) {
  const HRESULT failure = E_NOTIMPL;  // what the collection of this Wine answers for Count
  FakeShellWindowsSetup count_fails = kOpenPages;
  count_fails.count_result = failure;
  StringList rows;
  EXPECT_THROW(CollectBrowserLocations(*MakeFakeShellWindows(count_fails).get(), rows), EOleSysError);
  EXPECT_TRUE(rows.empty());
  for (int call = 0; call < 3; ++call) {
    FakeShellWindowsSetup setup = kOpenPages;
    FakeWindow& third = setup.windows[2];
    (call == 0 ? third.item_result : call == 1 ? third.url_result : third.document_result) = failure;
    rows.clear();
    try {
      CollectBrowserLocations(*MakeFakeShellWindows(setup).get(), rows);
      ADD_FAILURE() << "call " << call << " did not raise";
    } catch (const EOleSysError& e) {
      EXPECT_EQ(e.ErrorCode(), failure);
      EXPECT_NE(e.Message().find("0x80004001"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(rows, (StringList{"http://a/?q=stubtext", "http://a/?q=stubtext"})) << call;
  }
  EXPECT_EQ(LiveFakeObjects(), 0);
}

using BrowserImport = Dialogs;

TEST_F(BrowserImport, ImportWithNoQualifyingPageSaysSoAndShowsNoList) {
  FakeShellWindowsSetup none{{{L"http://c/?q=other"}, {L"file:///C:/stubtext/"}}};
  for (const FakeShellWindowsSetup& setup : {none, FakeShellWindowsSetup{{}, E_NOTIMPL}}) {
    g_reported.clear();
    TfrmCustomSite dialog(Collection(setup));
    dialog.edtSearchCommand->SetText("typed");
    dialog.Show();
    std::string said;
    bool list_shown = true;
    Drive(
        [&] {
          said = AnswerBox();
          list_shown = FindTopWindow("Insert browser location", 0, GetCurrentProcessId()) != nullptr;
        },
        [&] { Click(dialog.btnInsertBrowserLocation->Handle()); });
    EXPECT_EQ(said,
              std::string("No Internet Explorer pages were found with \"stubtext\" in their URL.\n\r"
                          " Please do a search for \"stubtext\" and re-run this feature.\n\r"
                          "This feature only imports from Internet Explorer.  If you are using a different "
                          "browser, \n\r"
                          "you will need to copy and paste the URL into the search command box."));
    EXPECT_FALSE(list_shown);
    EXPECT_EQ(dialog.edtSearchCommand->Text(), "typed");
    EXPECT_TRUE(IsWindowVisible(dialog.Handle()));
    EXPECT_EQ(g_reported.size(), FAILED(setup.count_result) ? 1u : 0u);
  }
}

TEST_F(BrowserImport, ImportOffersTheRowsFoundBeforeAFailureAndTakesTheChosenOne) {
  FakeShellWindowsSetup setup = kOpenPages;
  setup.windows[4].url_result = E_FAIL;  // after the first three rows
  TfrmCustomSite dialog(Collection(setup));
  dialog.edtSearchCommand->SetText("typed");
  dialog.Show();
  StringList seen;
  Drive(
      [&] {
        HWND w = WaitWindow("Insert browser location");
        HWND list = Control(w, "ListBox");
        seen.push_back(Join(Rows(list), "|"));
        seen.push_back(std::to_string(SendMessageA(list, LB_GETCURSEL, 0, 0)));
        Press(w, "Ok");
        seen.push_back(AnswerBox());
        seen.push_back(IsWindowVisible(w) ? "open" : "closed");
        // Resized larger, the buttons keep to the lower right corner and the list grows.
        RECT r;
        GetWindowRect(w, &r);
        SetWindowPos(w, nullptr, 0, 0, r.right - r.left + 100, r.bottom - r.top + 60,
                     SWP_NOMOVE | SWP_NOZORDER);
        Sleep(200);
        RECT client, ok;
        GetClientRect(w, &client);
        GetWindowRect(FindChildByText(w, "Cancel"), &ok);
        MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&ok), 2);
        seen.push_back(std::to_string(client.right - ok.right) + "," +
                       std::to_string(client.bottom - ok.bottom));
        SendMessageA(list, LB_SETCURSEL, 2, 0);
        Sleep(100);
        SaveScreenshot(w, "dialog_browser_locations");
        Press(w, "Ok");
      },
      [&] { Click(dialog.btnInsertBrowserLocation->Handle()); });
  EXPECT_EQ(seen, (StringList{"http://a/?q=stubtext|http://a/?q=stubtext|file:///C:/pages/stubtext.html",
                              "-1", kSelectUrlMessage, "open", "8,8"}));
  EXPECT_EQ(g_reported, (std::vector<std::string>{"EOleSysError"}))
      << "the failure reached the exception boundary";
  EXPECT_EQ(dialog.edtSearchCommand->Text(), "file:///C:/pages/stubtext.html");
  {
    Drive(
        [] {
          HWND w = WaitWindow("Insert browser location");
          SendMessageA(Control(w, "ListBox"), LB_SETCURSEL, 0, 0);
          Press(w, "Cancel");
        },
        [&] { Click(dialog.btnInsertBrowserLocation->Handle()); });
  }
  EXPECT_EQ(dialog.edtSearchCommand->Text(), "file:///C:/pages/stubtext.html") << "Cancel changes nothing";
  EXPECT_EQ(LiveFakeObjects(), 0);
}

// ---- Entry order ----

using EntryOrder = Dialogs;

TEST_F(EntryOrder, AnUnresolvedEntryShowsUnassignedAndMovesWithItsRowFocusStaysOnTheList) {
  TfrmOrder order(model_, 4);
  order.Show();
  EXPECT_EQ(
      Rows(order.lbxEntries->Handle()),
      (StringList{"First", "(Not asigned)", "(Not asigned)", "(Not asigned)", "(Not asigned)",
                  "(Not asigned)", "(Not asigned)", "(Not asigned)", "(Not asigned)", "(Not asigned)"}));
  EXPECT_EQ(order.lbxEntries->ItemIndex(), 0);
  order.btnMoveTop->SetFocus();
  Click(order.btnMoveUp->Handle());
  EXPECT_TRUE(order.lbxEntries->Focused()) << "Move up on the first row only puts the focus back";
  EXPECT_EQ(order.SlotNumbers, (StringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
  order.lbxEntries->SetItemIndex(1);
  Click(order.btnMoveTop->Handle());
  Click(order.MoveBottom->Handle());
  EXPECT_EQ(order.lbxEntries->ItemIndex(), 9);
  Click(order.btnMoveDown->Handle());
  EXPECT_EQ(order.lbxEntries->ItemIndex(), 9);
  EXPECT_EQ(order.SlotNumbers, (StringList{"1", "3", "4", "5", "6", "7", "8", "9", "10", "2"}));
  EXPECT_EQ(order.lbxEntries->Item(9), "(Not asigned)");
  ApplyEntryOrder(model_, 4, order.SlotNumbers);
  EXPECT_EQ(model_.SiteAt(4, 10)->Code, "GONE") << "the unresolved entry moved with its row";
  EXPECT_EQ(model_.SiteAt(4, 1)->Description, "First");
}

}  // namespace
}  // namespace sondrel::test
