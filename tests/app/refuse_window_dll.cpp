// Set by the tests as a hook on a program's window creation: in a process whose environment names a caption in
// SONDREL_TEST_REFUSE_WINDOW, the creation of a window with that caption fails, as it does on a
// system out of window handles or memory. Every other window, and every other process, is left alone.
#include <windows.h>

#include <cstring>

extern "C" __declspec(dllexport) LRESULT CALLBACK RefuseWindowHook(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_CREATEWND) {
    char refused[128];
    const DWORD n = GetEnvironmentVariableA("SONDREL_TEST_REFUSE_WINDOW", refused, sizeof refused);
    const CREATESTRUCTA* cs = reinterpret_cast<CBT_CREATEWNDA*>(lparam)->lpcs;
    if (n > 0 && n < sizeof refused && cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName) &&
        std::strcmp(cs->lpszName, refused) == 0)
      return 1;
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}
