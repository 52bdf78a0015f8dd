// The skinned information message box: modal, captioned with the program's title, its text readable
// and its buttons pressed through messages from another thread, as a screen reader or a test would.
#include <gtest/gtest.h>

#include <thread>

#include "skin/controls_win.h"
#include "tests/support/screenshot_win.h"
#include "tests/support/windows_win.h"

namespace sondrel {
namespace {

using test::WindowText;

struct SeenBox {
  std::string text;
  std::vector<std::string> buttons;
  bool modal_owner_disabled = false;
  SIZE client{};
};

// From another thread: waits for the box, records what it shows, then sends `key` to it (a button
// caption to click, or "\r" / "\x1b" to post Enter or Escape to the focused button).
class BoxDriver {
 public:
  BoxDriver(std::string title, std::string action, HWND owner, bool screenshot = false)
      : thread_([=, this] { Run(title, action, owner, screenshot); }) {}
  ~BoxDriver() { thread_.join(); }
  SeenBox seen;

 private:
  void Run(const std::string& title, const std::string& action, HWND owner, bool screenshot) {
    HWND box = test::FindTopWindow(title, 10000, GetCurrentProcessId());
    if (!box) return;
    seen.modal_owner_disabled = owner && !IsWindowEnabled(owner);
    seen.client = test::ClientSize(box);
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      char cls[32];
      GetClassNameA(c, cls, sizeof cls);
      if (lstrcmpiA(cls, "STATIC") == 0) seen.text = WindowText(c);
      if (lstrcmpiA(cls, "BUTTON") == 0) seen.buttons.push_back(WindowText(c));
    }
    Sleep(100);
    if (screenshot) test::SaveScreenshot(box, "information_box");
    if (action == "\r" || action == "\x1b") {
      PostMessageA(test::FindChildByText(box, "OK"), WM_KEYDOWN, action == "\r" ? VK_RETURN : VK_ESCAPE, 0);
    } else {
      test::Click(test::FindChildByText(box, action));
    }
  }
  std::thread thread_;
};

class InfoBox : public ::testing::Test {
 protected:
  InfoBox() { app_.SetTitle("Box test"); }
  TApplication app_{GetModuleHandleA(nullptr)};
};

TEST_F(InfoBox, OkAndCancelReturnTheButtonPressed) {
  {
    BoxDriver d("Box test", "Cancel", nullptr);
    EXPECT_EQ(InformationBox(nullptr, "Clear current search list?", true), IDCANCEL);
    EXPECT_EQ(d.seen.text, "Clear current search list?");
    EXPECT_EQ(d.seen.buttons, (std::vector<std::string>{"OK", "Cancel"}));
  }
  {
    BoxDriver d("Box test", "OK", nullptr);
    EXPECT_EQ(InformationBox(nullptr, "Clear current search list?", true), IDOK);
  }
  {
    BoxDriver d("Box test", "\r", nullptr);
    EXPECT_EQ(InformationBox(nullptr, "Enter presses OK", true), IDOK);
  }
  {
    BoxDriver d("Box test", "\x1b", nullptr);
    EXPECT_EQ(InformationBox(nullptr, "Escape presses Cancel", true), IDCANCEL);
  }
}

TEST_F(InfoBox, OkOnlyBoxReturnsOkHoweverItCloses) {
  {
    BoxDriver d("Box test", "OK", nullptr);
    EXPECT_EQ(InformationBox(nullptr, "All search lists have been cleared!", false), IDOK);
    EXPECT_EQ(d.seen.buttons, (std::vector<std::string>{"OK"}));
  }
  {
    BoxDriver d("Box test", "\x1b", nullptr);
    EXPECT_EQ(InformationBox(nullptr, "Escape", false), IDOK);
  }
}

class Owner : public TForm {
 public:
  Owner() : TForm("Box owner", 300, 100, true) {}
};

TEST_F(InfoBox, SeveralLinesShowWholeAndTheOwnerWaits) {
  Owner owner;
  app_.SetMainForm(&owner);
  owner.Show();
  const std::string text =
      "The first line of the message.\r\nThe second line, somewhat longer than the first one, long enough that it "
      "has to wrap inside the box.\r\nThe third.";
  BoxDriver d("Box test", "OK", owner.Handle(), /*screenshot=*/true);
  EXPECT_EQ(InformationBox(owner.Handle(), text, false), IDOK);
  app_.SetMainForm(nullptr);
  EXPECT_EQ(d.seen.text, text);
  EXPECT_TRUE(d.seen.modal_owner_disabled) << "modal: the owner is disabled while the box shows";
  EXPECT_TRUE(IsWindowEnabled(owner.Handle())) << "and enabled again afterwards";
  EXPECT_GE(d.seen.client.cy, 4 * CurrentPainter().LineHeight() + 23) << "room for four lines and the button";
}

}  // namespace
}  // namespace sondrel
