#include "tests/support/windows_win.h"

#include "base/text.h"

namespace sondrel::test {
namespace {
// One enumeration for every finder: the predicate decides, the first match wins.
struct FindState {
  bool (*match)(HWND, FindState&);
  std::string text;
  DWORD pid = 0;
  int number = 0;  // control id, or the count of class matches still to skip
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<FindState*>(p);
  if (!s->match(h, *s)) return TRUE;
  s->found = h;
  return FALSE;
}

HWND FindChild(HWND parent, FindState st) {
  EnumChildWindows(parent, MatchWindow, reinterpret_cast<LPARAM>(&st));
  return st.found;
}
}  // namespace

std::string WindowText(HWND h) {
  // WM_GETTEXT works across processes, where GetWindowText would not ask the owner.
  LRESULT n = SendMessageA(h, WM_GETTEXTLENGTH, 0, 0);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  n = SendMessageA(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()));
  s.resize(static_cast<size_t>(n));
  return s;
}

SIZE ClientSize(HWND h) {
  RECT r{};
  GetClientRect(h, &r);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

HWND FindTopWindow(const std::string& caption, DWORD timeout_ms, DWORD process_id) {
  const DWORD start = GetTickCount();
  do {
    FindState st{[](HWND h, FindState& s) {
                   DWORD pid = 0;
                   GetWindowThreadProcessId(h, &pid);
                   return IsWindowVisible(h) && (!s.pid || pid == s.pid) && WindowText(h) == s.text;
                 },
                 caption, process_id};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&st));
    if (st.found) return st.found;
    PumpMessages(50);
  } while (GetTickCount() - start < timeout_ms);
  return nullptr;
}

HWND FindHiddenTopWindow(const std::string& caption, DWORD process_id) {
  FindState st{[](HWND h, FindState& s) {
                 DWORD pid = 0;
                 GetWindowThreadProcessId(h, &pid);
                 return !IsWindowVisible(h) && pid == s.pid && WindowText(h) == s.text;
               },
               caption, process_id};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&st));
  return st.found;
}

HWND FindChildById(HWND parent, int id) {
  return FindChild(parent, {[](HWND h, FindState& s) { return GetDlgCtrlID(h) == s.number; }, "", 0, id});
}

HWND FindChildByClass(HWND parent, const std::string& window_class, int index) {
  return FindChild(parent, {[](HWND h, FindState& s) {
                              char cls[256];
                              GetClassNameA(h, cls, sizeof cls);
                              return SameText(cls, s.text) && s.number-- == 0;
                            },
                            window_class, 0, index});
}

HWND FindChildByText(HWND parent, const std::string& caption) {
  return FindChild(parent, {[](HWND h, FindState& s) { return SameText(WindowText(h), s.text); }, caption});
}

void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }

void SetText(HWND control, const std::string& text) {
  SendMessageA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void SelectRow(HWND combo, int row) {
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(row), 0);
  SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
}

bool IsTicked(HWND check_box) { return SendMessageA(check_box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Tick(HWND check_box, bool on) {
  if (IsTicked(check_box) != on) Click(check_box);
}

void PumpMessages(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    Sleep(10);
  } while (GetTickCount() - start < ms);
}

}  // namespace sondrel::test
