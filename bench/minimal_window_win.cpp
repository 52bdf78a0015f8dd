// The baselines of the start-up benchmark: programs built with the same flags as Sondrel that show a
// window of the same size and do nothing else. BASELINE_LEVEL says how much of Sondrel's start they
// copy, so that the benchmark can say which share of the difference is whose:
//   0  one empty window (the aim's baseline);
//   1  the same, with the common controls Sondrel loads (its manifest, version 6) started;
//   2  the same windows as Sondrel's main window before it is shown, made by plain calls with the
//      same classes, styles, places and font, and the Options page's buttons made at idle as
//      Sondrel makes them; nothing is read, drawn or reported.
#include <windows.h>
#if BASELINE_LEVEL >= 1
#include <commctrl.h>
#endif

#include <initializer_list>

namespace {
LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept {
  if (m == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(h, m, w, l);
}

#if BASELINE_LEVEL >= 2
struct Control {
  const char* cls;
  const char* text;
  DWORD style;
  int x, y, w, h;
};

HWND Make(HWND parent, const Control& c, HFONT font) {
  HWND h = CreateWindowExA(0, c.cls, c.text, c.style, c.x, c.y, c.w, c.h, parent, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
  SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return h;
}

constexpr DWORD kCheck = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kPush = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | BS_OWNERDRAW;
constexpr DWORD kPage = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
#endif
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
#if BASELINE_LEVEL >= 1
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
#endif
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = "MinimalWindow";
  RegisterClassExA(&wc);
  RECT r{0, 0, 657, 223};
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  AdjustWindowRectEx(&r, style, FALSE, WS_EX_DLGMODALFRAME);
  HWND owner = nullptr;
#if BASELINE_LEVEL >= 2
  // Sondrel's framework owns its forms by one hidden application window.
  owner = CreateWindowExA(0, wc.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
#endif
  HWND h = CreateWindowExA(WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW, wc.lpszClassName, "Minimal", style, 100,
                           100, r.right - r.left, r.bottom - r.top, owner, nullptr, instance, nullptr);
#if BASELINE_LEVEL >= 2
  LOGFONTA lf{};
  HDC screen = GetDC(nullptr);
  lf.lfHeight = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
  ReleaseDC(nullptr, screen);
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(lf.lfFaceName, "Tahoma", LF_FACESIZE);
  HFONT font = CreateFontIndirectA(&lf);
  HWND tabs = Make(h,
                   {WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | TCS_FIXEDWIDTH,
                    7, 7, 642, 193},
                   font);
  SendMessageA(tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(70, 21));
  for (const char* name :
       {"Default", "Custom", "Custom", "Custom", "Custom", "Custom", "Custom", "Custom", "Options"}) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(name);
    SendMessageA(tabs, TCM_INSERTITEMA, 99, reinterpret_cast<LPARAM>(&item));
  }
  HWND notebook = Make(h, {wc.lpszClassName, "", kPage, 8, 31, 640, 168}, font);
  SetWindowPos(notebook, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  HWND page = Make(notebook, {wc.lpszClassName, "Default", kPage, 0, 0, 640, 168}, font);
  HWND options = Make(notebook, {wc.lpszClassName, "Options", kPage & ~WS_VISIBLE, 0, 0, 640, 168}, font);
  Make(page,
       {WC_COMBOBOXA, "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWN | CBS_AUTOHSCROLL,
        13, 13, 617, 200},
       font);
  for (int i = 0; i < 10; ++i)
    Make(page, {WC_BUTTONA, " custom", kCheck, 16 + (i % 5) * 129, 48 + (i / 5) * 28, 97, 17}, font);
  Make(page, {WC_BUTTONA, "Search", kPush, 441, 108, 91, 20}, font);
  Make(page, {WC_BUTTONA, "Clear List", kPush, 538, 108, 91, 20}, font);
  Make(page, {WC_BUTTONA, "Customize", kPush, 442, 136, 91, 20}, font);
  Make(page, {WC_BUTTONA, "Exit", kPush, 538, 136, 91, 20}, font);
  Make(page, {WC_STATICA, "", WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_OWNERDRAW, 14, 101, 370, 60}, font);
  const Control later[] = {
      {WC_BUTTONA, "Clear all search lists", kPush, 13, 12, 145, 20},
      {WC_BUTTONA, "Submit searches in random order", kCheck, 17, 41, 264, 17},
      {WC_BUTTONA, "Quick Access Options", kPush, 13, 66, 145, 20},
      {WC_BUTTONA, "About", kPush, 482, 13, 145, 20},
      {WC_BUTTONA, "Help", kPush, 482, 44, 145, 20},
      {WC_BUTTONA, "Check for updates", kPush, 482, 75, 145, 20},
      {WC_STATICA, "", WS_CHILD | WS_VISIBLE | SS_NOTIFY | SS_OWNERDRAW, 14, 101, 370, 60}};
  size_t made_later = 0;
#endif
  ShowWindow(h, SW_SHOW);
  UpdateWindow(h);
  MSG msg;
  for (;;) {
#if BASELINE_LEVEL >= 2
    // One hidden control per look at an empty queue, as Sondrel makes its Options page.
    if (made_later < sizeof later / sizeof later[0] && !PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      Make(options, later[made_later++], font);
      continue;
    }
#endif
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
