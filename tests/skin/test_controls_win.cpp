// The skinned controls as real windows: every state the program sets is readable through the standard
// messages, and every change made through those messages reaches the control's events.
#include "skin/controls_win.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/exception.h"
#include "base/file.h"
#include "skin/picture_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel {
namespace {

using test::Click;
using test::PumpMessages;
using test::WindowText;

class TTestForm : public TForm {
 public:
  TTestForm(int width = 420, int height = 300) : TForm("Skin test", width, height, /*minimize_box=*/true) {}
};

class Controls : public ::testing::Test {
 protected:
  Controls() { app_.SetTitle("Skin test"); }
  TApplication app_{GetModuleHandleA(nullptr)};
};

int FontWeight(HWND h) {
  LOGFONTA lf{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf.lfWeight;
}

TEST_F(Controls, CheckBoxEventFollowsEveryChangeOfTheTickedState) {
  TTestForm form;
  auto* chk = form.Add<TCheckBox>(form.Handle(), " Alpha", 10, 10, 120, 17);
  int clicks = 0;
  bool seen_state = false;
  chk->OnClick = [&] {
    ++clicks;
    seen_state = chk->Checked();
  };
  form.Show();

  chk->SetChecked(true);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(seen_state) << "the event sees the new state";
  EXPECT_EQ(SendMessageA(chk->Handle(), BM_GETCHECK, 0, 0), BST_CHECKED);
  chk->SetChecked(true);
  EXPECT_EQ(clicks, 1) << "no change, no event";

  SendMessageA(chk->Handle(), BM_SETCHECK, BST_UNCHECKED, 0);  // as automation would
  EXPECT_EQ(clicks, 2);
  EXPECT_FALSE(chk->Checked());

  Click(chk->Handle());  // as the user would
  EXPECT_EQ(clicks, 3);
  EXPECT_TRUE(chk->Checked());
  Click(chk->Handle());
  EXPECT_EQ(clicks, 4);
  EXPECT_FALSE(chk->Checked());

  chk->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(chk->Handle()));
  Click(chk->Handle());
  EXPECT_EQ(clicks, 4) << "a disabled box takes no clicks";
  chk->SetChecked(true);
  EXPECT_EQ(clicks, 5) << "the program still sets it";
  EXPECT_EQ(WindowText(chk->Handle()), " Alpha");
}

int g_idle_errors = 0;
bool CountIdleError(std::exception_ptr) noexcept {
  ++g_idle_errors;
  return false;
}

// Work left for later runs once the shown main window first waits for input, in order, each task
// inside the boundary; what is still waiting when the loop ends is dropped.
TEST_F(Controls, WorkLeftForIdleRunsAfterTheWindowIsShownAndInOrder) {
  TTestForm form;
  app_.SetMainForm(&form);
  app_.SetExceptionHook(CountIdleError);
  g_idle_errors = 0;
  std::vector<std::string> log;
  app_.RunWhenIdle([&] {
    log.push_back(IsWindowVisible(form.Handle()) ? "shown" : "hidden");
    throw std::runtime_error("a failing task");
  });
  app_.RunWhenIdle([&] {
    log.push_back("second");
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
  });
  app_.RunWhenIdle([&] { log.push_back("after the close"); });
  app_.Run();
  EXPECT_EQ(log, (std::vector<std::string>{"shown", "second"}));
  EXPECT_EQ(g_idle_errors, 1);
  app_.SetMainForm(nullptr);
}

// Modal loops take messages with this: it must never wait, or a result set by a message sent from
// another thread stays unseen until the next posted message.
TEST_F(Controls, AWaitingMessageIsTakenWithoutWaitingAndAQuitStaysForTheLoopThatEndsOnIt) {
  TTestForm form;
  MSG left;  // by the tests before, a quit included
  while (PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE)) {
  }
  EXPECT_EQ(app_.HandleWaitingMessage(), TApplication::Waiting::kNone);
  PostMessageA(form.Handle(), WM_NULL, 0, 0);
  EXPECT_EQ(app_.HandleWaitingMessage(), TApplication::Waiting::kHandled);
  PostQuitMessage(3);
  EXPECT_EQ(app_.HandleWaitingMessage(), TApplication::Waiting::kQuit);
  EXPECT_TRUE(app_.Terminated());
  MSG quit;
  ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 3u);
}

TEST_F(Controls, CheckBoxEventExceptionsReachTheCallerOfSetChecked) {
  TTestForm form;
  auto* chk = form.Add<TCheckBox>(form.Handle(), "x", 10, 10, 120, 17);
  chk->OnClick = [] { throw EAbort("stop"); };
  EXPECT_THROW(chk->SetChecked(true), EAbort);
  EXPECT_TRUE(chk->Checked());
}

TEST_F(Controls, BoldCaptionIsTheControlsFontAndIsDrawnHeavier) {
  TTestForm form;
  auto* chk = form.Add<TCheckBox>(form.Handle(), " Search engine", 10, 10, 140, 17);
  form.Show();
  PumpMessages(200);
  EXPECT_LT(FontWeight(chk->Handle()), FW_BOLD);
  const int regular = test::DarkPixels(chk->Handle());
  chk->SetBold(true);
  PumpMessages(200);
  EXPECT_GE(FontWeight(chk->Handle()), FW_BOLD);
  const int bold = test::DarkPixels(chk->Handle());
  EXPECT_GT(bold, regular + regular / 10) << "regular " << regular << ", bold " << bold;
  chk->SetBold(false);
  EXPECT_LT(FontWeight(chk->Handle()), FW_BOLD);
}

TEST_F(Controls, ButtonsClickAndEnterAndEscapePressTheDefaultAndCancelButtons) {
  TTestForm form;
  auto* edit = form.Add<TEdit>(form.Handle(), 10, 10, 200, 21);
  auto* ok = form.Add<TButton>(form.Handle(), "OK", 10, 50, 80, 23);
  auto* cancel = form.Add<TButton>(form.Handle(), "Cancel", 100, 50, 80, 23);
  int oks = 0, cancels = 0;
  ok->OnClick = [&] { ++oks; };
  cancel->OnClick = [&] { ++cancels; };
  form.SetDefaultControl(ok);
  form.SetCancelControl(cancel);
  form.Show();

  Click(ok->Handle());
  EXPECT_EQ(oks, 1);
  EXPECT_EQ(WindowText(cancel->Handle()), "Cancel");

  PostMessageA(edit->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  app_.ProcessMessages();
  EXPECT_EQ(oks, 2) << "Enter presses the default button once";
  PostMessageA(edit->Handle(), WM_KEYDOWN, VK_ESCAPE, 0);
  app_.ProcessMessages();
  EXPECT_EQ(cancels, 1);

  // A control that takes Enter for itself keeps the default button from being pressed as well.
  int keys = 0;
  edit->OnKeyDown = [&](WORD& key) {
    if (key == VK_RETURN) {
      ++keys;
      key = 0;
    }
  };
  PostMessageA(edit->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  app_.ProcessMessages();
  EXPECT_EQ(keys, 1);
  EXPECT_EQ(oks, 2);

  // A disabled button is pressed neither by Enter nor by a click.
  edit->OnKeyDown = nullptr;
  ok->SetEnabled(false);
  Click(ok->Handle());
  EXPECT_EQ(oks, 2);
  PostMessageA(edit->Handle(), WM_KEYDOWN, VK_RETURN, 0);
  app_.ProcessMessages();
  EXPECT_EQ(oks, 2);
}

TEST_F(Controls, EditTakesNoMoreThanItsMaximumLength) {
  TTestForm form;
  auto* edit = form.Add<TEdit>(form.Handle(), 10, 10, 200, 21);
  edit->SetMaxLength(5);
  EXPECT_EQ(SendMessageA(edit->Handle(), EM_GETLIMITTEXT, 0, 0), 5);
  for (char c : std::string("abcdefgh")) SendMessageA(edit->Handle(), WM_CHAR, static_cast<WPARAM>(c), 0);
  EXPECT_EQ(edit->Text(), "abcde");
  int changes = 0;
  edit->OnChange = [&] { ++changes; };
  edit->SetText("xy");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(WindowText(edit->Handle()), "xy");
}

TEST_F(Controls, DropDownsAnswerTheComboMessagesAndShowTenRows) {
  TTestForm form;
  auto* keyword = form.Add<TComboBox>(form.Handle(), /*editable=*/true, 10, 10, 200, 10);
  auto* choice = form.Add<TComboBox>(form.Handle(), /*editable=*/false, 10, 50, 200, 8);
  form.Show();

  keyword->SetItems({"alpha", "beta", "gamma"});
  EXPECT_EQ(SendMessageA(keyword->Handle(), CB_GETCOUNT, 0, 0), 3);
  char buf[64] = {};
  SendMessageA(keyword->Handle(), CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buf));
  EXPECT_STREQ(buf, "beta");
  EXPECT_EQ(keyword->Items(), (std::vector<std::string>{"alpha", "beta", "gamma"}));
  keyword->SetText("typed words");
  EXPECT_EQ(WindowText(keyword->Handle()), "typed words");
  EXPECT_EQ(keyword->Count(), 3) << "typing does not add a row";

  for (int i = 0; i < 20; ++i) keyword->Add("row " + std::to_string(i));
  RECT dropped{};
  SendMessageA(keyword->Handle(), CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
  const LRESULT row = SendMessageA(keyword->Handle(), CB_GETITEMHEIGHT, 0, 0);
  EXPECT_GE(dropped.bottom - dropped.top, 10 * row) << "ten rows fit the drop-down";

  keyword->Clear();
  EXPECT_EQ(SendMessageA(keyword->Handle(), CB_GETCOUNT, 0, 0), 0);

  choice->SetItems({"one", "two", "three"});
  int changes = 0;
  choice->OnChange = [&] { ++changes; };
  test::SelectRow(choice->Handle(), 2);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(choice->ItemIndex(), 2);
  EXPECT_EQ(WindowText(choice->Handle()), "three");
}

TEST_F(Controls, ListBoxRowsAreReadableAndScrollOnlyWhenTheyDoNotFit) {
  TTestForm form;
  auto* list = form.Add<TListBox>(form.Handle(), 10, 10, 200, 100);
  form.Show();
  list->SetItems({"first", "second"});
  PumpMessages(50);
  EXPECT_FALSE(GetWindowLongA(list->Handle(), GWL_STYLE) & WS_VSCROLL);
  for (int i = 0; i < 30; ++i) list->Add("row " + std::to_string(i));
  PumpMessages(50);
  EXPECT_TRUE(GetWindowLongA(list->Handle(), GWL_STYLE) & WS_VSCROLL);
  EXPECT_EQ(SendMessageA(list->Handle(), LB_GETCOUNT, 0, 0), 32);
  char buf[64] = {};
  SendMessageA(list->Handle(), LB_GETTEXT, 7, reinterpret_cast<LPARAM>(buf));
  EXPECT_STREQ(buf, "row 5");
  list->SetItemIndex(3);
  EXPECT_EQ(SendMessageA(list->Handle(), LB_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(list->Item(list->ItemIndex()), "row 1");
}

TEST_F(Controls, TabStripHasFixedWidthTabsAndReportsOnlyTheUsersChanges) {
  TTestForm form(660, 230);
  std::vector<std::string> names(8, "Custom");
  names.push_back("Options");
  auto* tabs = form.Add<TTabControl>(form.Handle(), names, 70, 7, 7, 642, 193);
  int changes = 0;
  tabs->OnChange = [&] { ++changes; };
  form.Show();

  EXPECT_EQ(SendMessageA(tabs->Handle(), TCM_GETITEMCOUNT, 0, 0), 9);
  for (int i : {0, 8}) {
    RECT r{};
    SendMessageA(tabs->Handle(), TCM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r));
    EXPECT_EQ(r.right - r.left, 70) << i;
  }
  tabs->SetTabIndex(3);
  EXPECT_EQ(SendMessageA(tabs->Handle(), TCM_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(changes, 0) << "the program's own selection runs no event";

  SendMessageA(tabs->Handle(), TCM_SETCURFOCUS, 5, 0);  // as a user's choice through automation
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tabs->TabIndex(), 5);

  tabs->SetTabCaption(0, "Web");
  EXPECT_EQ(tabs->TabCaption(0), "Web");
  EXPECT_EQ(tabs->TabCaption(8), "Options");

  const RECT page = tabs->PageRect();
  EXPECT_GE(page.right - page.left, 636);
  EXPECT_GE(page.bottom - page.top, 164) << "room for the controls of a page";
}

TEST_F(Controls, NotebookShowsOnePageAndPageControlsReachTheirEvents) {
  TTestForm form;
  auto* book = form.Add<TNotebook>(form.Handle(), std::vector<std::string>{"Default", "Options"},
                                   RECT{10, 10, 400, 280});
  auto* on_options = form.Add<TButton>(book->Page(1)->Handle(), "About", 10, 10, 100, 20);
  auto* chk = form.Add<TCheckBox>(book->Page(0)->Handle(), "Tick", 10, 40, 100, 17);
  int clicks = 0, ticks = 0;
  on_options->OnClick = [&] { ++clicks; };
  chk->OnClick = [&] { ++ticks; };
  form.Show();

  EXPECT_EQ(book->PageIndex(), 0);
  EXPECT_TRUE(IsWindowVisible(book->Page(0)->Handle()));
  EXPECT_FALSE(IsWindowVisible(book->Page(1)->Handle()));
  EXPECT_EQ(WindowText(book->Page(1)->Handle()), "Options");
  book->SetPageIndex(1);
  EXPECT_FALSE(IsWindowVisible(book->Page(0)->Handle()));
  EXPECT_TRUE(IsWindowVisible(on_options->Handle()));
  book->SetPageIndex(7);  // no such page: nothing changes
  EXPECT_EQ(book->PageIndex(), 1);

  Click(on_options->Handle());
  Click(chk->Handle());
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(ticks, 1);
}

TEST_F(Controls, TabMovesTheFocusIntoAndThroughNotebookPages) {
  TTestForm form;
  auto* edit = form.Add<TEdit>(form.Handle(), 10, 10, 200, 21);
  auto* book = form.Add<TNotebook>(form.Handle(), std::vector<std::string>{"Only"}, RECT{10, 40, 400, 280});
  auto* chk = form.Add<TCheckBox>(book->Page(0)->Handle(), "Tick", 10, 10, 100, 17);
  auto* btn = form.Add<TButton>(book->Page(0)->Handle(), "Button", 10, 40, 100, 20);
  form.Show();
  SetForegroundWindow(form.Handle());
  edit->SetFocus();
  ASSERT_TRUE(edit->Focused());
  std::vector<HWND> seen;
  for (int i = 0; i < 3; ++i) {
    PostMessageA(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
    app_.ProcessMessages();
    seen.push_back(GetFocus());
  }
  EXPECT_EQ(seen, (std::vector<HWND>{chk->Handle(), btn->Handle(), edit->Handle()}));
}

TEST_F(Controls, PicturesClick) {
  TTestForm form;
  auto* pic = form.Add<TImage>(form.Handle(), 10, 10, 370, 60);
  int clicks = 0;
  pic->OnClick = [&] { ++clicks; };
  form.Show();
  SendMessageA(pic->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  SendMessageA(pic->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(clicks, 1);
}

TEST_F(Controls, TheProgramCarriesItsSkinCompressed) {
  std::string_view stored = ResourceBytes("SKIN");
  ASSERT_GT(stored.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(stored[0]), 0x78) << "a zlib stream";
  auto text = ReadFileBytes(SONDREL_SKIN_PATH);
  ASSERT_TRUE(text.has_value());
  EXPECT_LT(stored.size(), text->size());
  const TSkin from_file = ParseSkin(*text);
  const TSkin& in_use = app_.Painter().Skin();
  EXPECT_EQ(in_use.colors, from_file.colors);
  EXPECT_EQ(in_use.font_name, from_file.font_name);
  EXPECT_EQ(in_use.font_size, from_file.font_size);
}

TEST_F(Controls, AllControlsTogetherForPeopleToLookAt) {
  TTestForm form(440, 250);
  std::vector<std::string> names{"Web", "Images", "Options"};
  auto* tabs = form.Add<TTabControl>(form.Handle(), names, 70, 7, 7, 426, 236);
  auto* book = form.Add<TNotebook>(form.Handle(), std::vector<std::string>{"One"}, tabs->PageRect());
  HWND page = book->Page(0)->Handle();
  auto* combo = form.Add<TComboBox>(page, true, 10, 10, 250, 10);
  combo->SetText("keyword");
  auto* ticked = form.Add<TCheckBox>(page, " Ticked", 10, 42, 97, 17);
  ticked->SetChecked(true);
  ticked->SetBold(true);
  form.Add<TCheckBox>(page, " Unticked", 120, 42, 97, 17);
  form.Add<TCheckBox>(page, " custom", 230, 42, 97, 17)->SetEnabled(false);
  form.Add<TLabel>(page, "A label of two lines:\r\nthe second one.", 10, 70, 200, 30);
  auto* edit = form.Add<TEdit>(page, 220, 70, 180, 21);
  edit->SetText("an edit");
  auto* list = form.Add<TListBox>(page, 10, 110, 200, 80);
  for (int i = 0; i < 12; ++i) list->Add("List row " + std::to_string(i + 1));
  list->SetItemIndex(1);
  auto* def = form.Add<TButton>(page, "Default", 220, 110, 91, 20);
  form.SetDefaultControl(def);
  form.Add<TButton>(page, "Button", 320, 110, 91, 20);
  form.Add<TButton>(page, "Disabled", 220, 140, 91, 20)->SetEnabled(false);
  form.Show();
  PumpMessages(300);
  const std::string path = test::SaveScreenshot(form.Handle(), "skin_controls");
  EXPECT_TRUE(FileExists(path));
}

}  // namespace
}  // namespace sondrel
