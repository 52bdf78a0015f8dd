#pragma once
// Helpers for the dialog tests: a stand-in for the main window as the Customize dialog sees it, and a
// driver that plays the user on another thread while the test's thread runs a modal dialog.
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "base/text.h"
#include "dialogs/FEdit.h"

namespace sondrel::test {

// The information boxes of the dialog tests carry this caption (the application's title).
inline constexpr char kBoxTitle[] = "Dialog test";

// A tab strip and ten slot boxes over a model in memory. ShowTab fills the boxes by the main window's
// rule (an entry that resolves: enabled, " " + description, ticked as stored; otherwise " custom",
// disabled, unticked) and counts its calls.
class THostWindow final : public TForm, public TCustomizeHost {
 public:
  THostWindow(TSearchManager& model, int tab_index);
  TSearchManager& Model() override { return model_; }
  TTabControl& TabStrip() override { return *tabs_; }
  TCheckBox* GetSiteCheckBox(int slot) override { return boxes_.at(static_cast<size_t>(slot - 1)); }
  void ShowTab(int n) override;
  int shown_tab = 0;  // the tab number of the last ShowTab

  // Caption, enabled and ticked state of a slot box, as one text ("' Web One' on ticked").
  std::string BoxState(int slot);

 private:
  TSearchManager& model_;
  TTabControl* tabs_ = nullptr;
  std::array<TCheckBox*, kSlotCount> boxes_{};
};

// Runs the action on this thread while the script plays the user on another thread, and returns once
// both are done. This thread keeps answering the messages the script sends meanwhile. A modal window
// the script leaves open is closed afterwards as Cancel would close it, so that a failing test ends
// instead of hanging.
void Drive(const std::function<void()>& script, const std::function<void()>& action);

// From a driver: a visible window of this process with the caption, waiting up to 10 s; null if none.
HWND WaitWindow(const std::string& caption);
// Waits until the window is hidden or destroyed; false if it stays 10 s.
bool WaitGone(HWND h);
// Presses a button of the window by its caption. Posted: the handler may open a window of its own.
void Press(HWND window, const std::string& caption);
// Waits for an information box, returns its text and presses its OK.
std::string AnswerBox();
// The rows of a drop-down box or list box.
StringList Rows(HWND control);
// The control of this window class (0-based among those of the window).
HWND Control(HWND window, const char* window_class, int index = 0);
// Types the characters one by one, as the keyboard would (edit limits apply).
void Type(HWND edit, const std::string& text);

}  // namespace sondrel::test
