#include "tests/dialogs/dialog_test_win.h"

#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/windows_win.h"

namespace sondrel::test {
namespace {

BOOL CALLBACK CollectVisible(HWND h, LPARAM p) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid == GetCurrentProcessId() && IsWindowVisible(h))
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
  return TRUE;
}

// A modal window the script left open would keep the test's thread waiting for ever. While the action
// has not returned a grace period after the script ended, the enabled windows (a modal loop disables
// all others) are closed as Cancel would close them, innermost first.
void CloseLeftovers(const std::atomic<bool>& acted) {
  for (int round = 0; round < 10 && !acted; ++round) {
    for (int i = 0; i < 300 && !acted; ++i) Sleep(10);
    if (acted) return;
    std::vector<HWND> shown;
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&shown));
    for (HWND h : shown)
      if (IsWindowEnabled(h)) PostMessageA(h, WM_CLOSE, 0, 0);
  }
}

}  // namespace

THostWindow::THostWindow(TSearchManager& model, int tab_index)
    : TForm("Host", 657, 223, /*minimize_box=*/true), model_(model) {
  std::vector<std::string> captions;
  for (int n = 1; n <= kTabCount; ++n) captions.push_back(model.TabCaption(n));
  captions.push_back("Options");
  tabs_ = Add<TTabControl>(Handle(), captions, 70, 7, 7, 642, 193);
  for (int s = 1; s <= kSlotCount; ++s)
    boxes_[static_cast<size_t>(s - 1)] =
        Add<TCheckBox>(Handle(), " custom", 16 + 128 * ((s - 1) % 5), 48 + 28 * ((s - 1) / 5), 97, 17);
  tabs_->SetTabIndex(tab_index);
  ShowTab(tab_index + 1);
}

void THostWindow::ShowTab(int n) {
  shown_tab = n;
  for (int s = 1; s <= kSlotCount; ++s) {
    TCheckBox* box = GetSiteCheckBox(s);
    const TSite* site = model_.SiteAt(n, s);
    const auto resolved = site ? model_.Resolve(*site) : std::nullopt;
    box->SetCaption(resolved ? " " + resolved->Description : " custom");
    box->SetEnabled(resolved.has_value());
    box->SetChecked(resolved && site->Checked);
  }
}

std::string THostWindow::BoxState(int slot) {
  TCheckBox* box = GetSiteCheckBox(slot);
  return "'" + box->Caption() + "' " + (box->Enabled() ? "on" : "off") + (box->Checked() ? " ticked" : "");
}

void Drive(const std::function<void()>& script, const std::function<void()>& action) {
  std::atomic<bool> acted{false}, done{false};
  std::thread player([&] {
    script();
    CloseLeftovers(acted);
    done = true;
  });
  action();
  acted = true;
  while (!done) PumpMessages(10);
  player.join();
}

HWND WaitWindow(const std::string& caption) {
  return FindTopWindow(caption, 10000, GetCurrentProcessId());
}

bool WaitGone(HWND h) {
  for (int i = 0; i < 1000; ++i) {
    if (!IsWindow(h) || !IsWindowVisible(h)) return true;
    Sleep(10);
  }
  return false;
}

void Press(HWND window, const std::string& caption) {
  PostMessageA(FindChildByText(window, caption), BM_CLICK, 0, 0);
}

std::string AnswerBox() {
  HWND box = WaitWindow(kBoxTitle);
  if (!box) return "(no box)";
  const std::string text = WindowText(Control(box, "Static"));
  Press(box, "OK");
  WaitGone(box);
  return text;
}

StringList Rows(HWND control) {
  char cls[32] = {};
  GetClassNameA(control, cls, sizeof cls);
  const bool list = SameText(cls, "ListBox");
  StringList rows;
  const LRESULT n = SendMessageA(control, list ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    char buf[1024] = {};
    SendMessageA(control, list ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(buf));
    rows.emplace_back(buf);
  }
  return rows;
}

HWND Control(HWND window, const char* window_class, int index) {
  return FindChildByClass(window, window_class, index);
}

void Type(HWND edit, const std::string& text) {
  for (char c : text) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

}  // namespace sondrel::test
