#include "skin/forms_win.h"

#include <commctrl.h>

#include <utility>

#include "base/exception.h"
#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/freeze_win.h"
#include "errorreport/capture/intercept_win.h"

namespace sondrel {

TApplication* Application = nullptr;
const char kPanelClass[] = "TSkinPanel";

namespace {
constexpr char kAppClass[] = "TApplication";
constexpr char kFormClass[] = "TForm";

bool IsCtlColor(UINT m) { return m >= WM_CTLCOLORMSGBOX && m <= WM_CTLCOLORSTATIC; }

// Containers pass what their controls tell them on to the form, which routes it to the control object;
// so a control works the same whether it sits on the form or on a notebook page.
LRESULT CALLBACK PanelWndProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept {
  switch (m) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
      if (HWND top = GetAncestor(h, GA_ROOT); top && top != h) return SendMessageA(top, m, w, l);
      break;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(h, &r);
      FillRect(reinterpret_cast<HDC>(w), &r, CurrentPainter().Brush(TSkinPart::kPanel));
      return 1;
    }
    default:
      if (IsCtlColor(m))
        if (HWND top = GetAncestor(h, GA_ROOT); top && top != h) return SendMessageA(top, m, w, l);
      break;
  }
  return DefWindowProcA(h, m, w, l);
}

BOOL CALLBACK CollectEnabledWindow(HWND h, LPARAM p) {
  auto* list = reinterpret_cast<std::vector<HWND>*>(p);
  if (IsWindowVisible(h) && IsWindowEnabled(h)) list->push_back(h);
  return TRUE;
}

std::string WindowText(HWND h) {
  int n = GetWindowTextLengthA(h);
  std::string s(static_cast<size_t>(n) + 1, '\0');
  s.resize(static_cast<size_t>(GetWindowTextA(h, s.data(), n + 1)));
  return s;
}
}  // namespace

// ---- TApplication ----

TApplication::TApplication(HINSTANCE instance) : instance_(instance) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);

  WNDCLASSEXA app{};
  app.cbSize = sizeof app;
  app.lpfnWndProc = AppWndProc;
  app.hInstance = instance;
  app.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(1));
  app.lpszClassName = kAppClass;
  RegisterClassExA(&app);

  WNDCLASSEXA form{};
  form.cbSize = sizeof form;
  form.style = CS_DBLCLKS;
  form.lpfnWndProc = TForm::FormWndProc;
  form.hInstance = instance;
  form.hIcon = app.hIcon;
  form.hCursor = LoadCursor(nullptr, IDC_ARROW);
  form.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  form.lpszClassName = kFormClass;
  RegisterClassExA(&form);

  // Hidden, zero-sized: it only stands for the program until the main window exists and forwards
  // being restored or brought forward to the main window afterwards.
  WNDCLASSEXA panel{};
  panel.cbSize = sizeof panel;
  panel.lpfnWndProc = PanelWndProc;
  panel.hInstance = instance;
  panel.hCursor = form.hCursor;
  panel.lpszClassName = kPanelClass;
  RegisterClassExA(&panel);

  painter_ = std::make_unique<TSkinPainter>(ResourceSkin());
  handle_ = CreateWindowExA(0, kAppClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
  Application = this;
  SetFrameworkMainWindow(nullptr);
}

TApplication::~TApplication() {
  SetFrameworkMainWindow(nullptr);
  if (handle_) DestroyWindow(handle_);
  if (Application == this) Application = nullptr;
}

void TApplication::SetMainForm(TForm* form) {
  main_form_ = form;
  // The freeze watchdog watches the window the framework calls its main one.
  SetFrameworkMainWindow(form ? form->Handle() : nullptr);
}

void TApplication::SetTitle(std::string title) {
  title_ = std::move(title);
  SetWindowTextA(handle_, title_.c_str());
}

LRESULT CALLBACK TApplication::AppWndProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept {
  try {
    TApplication* app = Application;
    if (app && app->main_form_ && app->main_form_->Handle()) {
      HWND main = app->main_form_->Handle();
      switch (m) {
        case WM_SHOWWINDOW:  // ShowWindow(SW_RESTORE) on the application window restores the main one
        case WM_SYSCOMMAND:
          if (m == WM_SHOWWINDOW || (w & 0xFFF0) == SC_RESTORE) {
            if (IsIconic(main)) ShowWindow(main, SW_RESTORE);
            return 0;
          }
          break;
        case WM_ACTIVATE:
          if (LOWORD(w) != WA_INACTIVE) SetForegroundWindow(main);
          return 0;
        default:
          break;
      }
    }
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception());
    return 0;
  }
  return DefWindowProcA(h, m, w, l);
}

bool TApplication::DispatchToDialogs(MSG& msg) {
  if (msg.message != WM_KEYDOWN) return false;
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  if (!top) return false;
  char cls[16];
  if (!GetClassNameA(top, cls, sizeof cls) || lstrcmpA(cls, kFormClass) != 0) return false;
  auto* form = reinterpret_cast<TForm*>(GetWindowLongPtrA(top, GWLP_USERDATA));
  if (!form) return false;
  // The control with the focus sees the key first (an edit inside a drop-down box belongs to the box).
  for (HWND h = msg.hwnd; h && h != top; h = GetParent(h)) {
    TControl* c = form->FindControl(h);
    if (!c || !c->OnKeyDown) continue;
    WORD key = static_cast<WORD>(msg.wParam);
    try {
      CatchForeignFaults([&] { c->OnKeyDown(key); });
    } catch (...) {
      HandleException(std::current_exception());
      return true;
    }
    if (key == 0) return true;
    break;
  }
  if (msg.wParam == VK_TAB) return IsDialogMessageA(top, &msg) != FALSE;
  // Enter presses the push button the user moved to, else the default one; Escape the cancel button.
  if (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE) return false;
  TControl* target = msg.wParam == VK_RETURN ? form->EnterTarget(msg.hwnd) : form->CancelControl();
  if (!target || !target->Enabled() || !IsWindowVisible(target->Handle())) return false;
  // A control that wants Enter for itself (a multi-line edit) keeps it.
  if (msg.wParam == VK_RETURN && (SendMessageA(msg.hwnd, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS)) return false;
  SendMessageA(target->Handle(), BM_CLICK, 0, 0);
  return true;
}

void TApplication::Dispatch(MSG& msg) {
  if (!DispatchToDialogs(msg)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool TApplication::HandleMessage() {
  MSG msg;
  if (!GetMessageA(&msg, nullptr, 0, 0)) {
    terminated_ = true;
    return false;
  }
  Dispatch(msg);
  return true;
}

// Takes the message it looked at: a look without taking followed by a waiting GetMessage could find
// the message gone (a paint done meanwhile by a message sent from another thread) and then wait for
// the next posted one, with everything a sent message changed unseen until then.
TApplication::Waiting TApplication::HandleWaitingMessage() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return Waiting::kNone;
  if (msg.message == WM_QUIT) {
    PostQuitMessage(static_cast<int>(msg.wParam));
    terminated_ = true;
    return Waiting::kQuit;
  }
  Dispatch(msg);
  return Waiting::kHandled;
}

void TApplication::ProcessMessages() {
  while (HandleWaitingMessage() == Waiting::kHandled) {
  }
}

void TApplication::Run() {
  if (main_form_ && !IsWindowVisible(main_form_->Handle())) main_form_->Show();
  while (!terminated_) {
    MSG peek;
    // The first look at an empty queue is the moment the shown window has painted and waits for the
    // user; what it does not need runs from then on, between the user's messages.
    if (!idle_tasks_.empty() && !PeekMessageA(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
      std::function<void()> task = std::move(idle_tasks_.front());
      idle_tasks_.erase(idle_tasks_.begin());
      try {
        task();
      } catch (...) {
        HandleException(std::current_exception());
      }
      continue;
    }
    if (!HandleMessage()) break;
  }
  // Tasks not run by now would find what they work on gone.
  idle_tasks_.clear();
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

void TApplication::HandleException(std::exception_ptr e) noexcept {
  try {
    if (!e) return;
    // The exception reporter decides; it asks for the framework's own box when it declined the
    // exception or a report handler left it unhandled.
    bool show = exception_hook_ ? exception_hook_(e) : ExceptionManager(&e, nullptr);
    if (show) ShowException(e);
  } catch (...) {
    // Nothing may leave the boundary; a failure while handling is dropped here on purpose.
  }
}

void TApplication::ShowException(std::exception_ptr e) noexcept {
  try {
    try {
      std::rethrow_exception(e);
    } catch (const EAbort&) {
      return;
    } catch (...) {
    }
    std::string msg = ExceptionMessage(e);
    if (msg.empty()) msg = ExceptionClassName(e);
    if (!msg.empty() && msg.back() != '.') msg += '.';
    HWND owner = main_form_ ? main_form_->Handle() : handle_;
    MessageBoxA(owner, msg.c_str(), title_.c_str(), MB_OK | MB_ICONSTOP);
  } catch (...) {
  }
}

const TSkinPainter& CurrentPainter() {
  if (Application) return Application->Painter();
  // Without an application (tools and tests that draw without one) the default look serves.
  static const TSkinPainter fallback(DefaultSkin());
  return fallback;
}

// ---- TControl ----

void TControl::CreateHandle(HWND parent, int id, const char* window_class, const std::string& text, DWORD style,
                            DWORD ex_style, int left, int top, int width, int height) {
  id_ = id;
  handle_ = CreateWindowExA(ex_style, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style, left, top, width,
                            height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            Application ? Application->Instance() : GetModuleHandleA(nullptr), nullptr);
  if (!handle_) RaiseLastOSError();
  char cls[16];
  background_ = GetClassNameA(parent, cls, sizeof cls) && lstrcmpA(cls, kPanelClass) == 0 ? TSkinPart::kPanel
                                                                                           : TSkinPart::kFace;
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(CurrentPainter().Font()), FALSE);
}

std::string TControl::Caption() const { return WindowText(handle_); }
void TControl::SetCaption(const std::string& text) { SetWindowTextA(handle_, text.c_str()); }

bool TControl::Focused() const {
  HWND f = GetFocus();
  return f && (f == handle_ || IsChild(handle_, f));
}

HBRUSH TControl::OnCtlColor(HDC dc) {
  const TSkinPainter& p = CurrentPainter();
  SetTextColor(dc, p.Color(Enabled() ? TSkinPart::kText : TSkinPart::kDisabledText));
  SetBkColor(dc, p.Color(background_));
  return p.Brush(background_);
}

// The window's procedure is replaced directly, the object kept in its user data: the common controls'
// own subclassing finds its data through a window property at every message, and a property lookup
// is a round trip to the window server under Wine (painting the main window spent half its time
// there). Unicode, as that subclassing was, so the controls' procedures see the same messages.
void TControl::Subclass() {
  SetWindowLongPtrW(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  original_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TControl::SubclassProc)));
}

LRESULT TControl::WndProc(UINT m, WPARAM w, LPARAM l) { return DefaultProc(m, w, l); }

LRESULT TControl::DefaultProc(UINT m, WPARAM w, LPARAM l) { return CallWindowProcW(original_proc_, handle_, m, w, l); }

LRESULT CALLBACK TControl::SubclassProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept {
  auto* self = reinterpret_cast<TControl*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (m == WM_NCDESTROY) {
    // The window's last message: it goes back to its own procedure, which ends it.
    const WNDPROC original = self->original_proc_;
    SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    return CallWindowProcW(original, h, m, w, l);
  }
  try {
    LRESULT result = 0;
    CatchForeignFaults([&] { result = self->WndProc(m, w, l); });
    return result;
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception());
    return 0;
  }
}

// ---- TForm ----

TForm::TForm(const std::string& caption, int client_width, int client_height, bool minimize_box,
             bool application_owned) {
  DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | (minimize_box ? WS_MINIMIZEBOX : 0);
  DWORD ex_style = WS_EX_DLGMODALFRAME | (minimize_box ? WS_EX_APPWINDOW : 0);
  RECT r{0, 0, client_width, client_height};
  AdjustWindowRectEx(&r, style, FALSE, ex_style);
  int w = r.right - r.left, h = r.bottom - r.top;
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int x = work.left + (work.right - work.left - w) / 2;
  int y = work.top + (work.bottom - work.top - h) / 2;
  HWND owner = Application ? Application->Handle() : nullptr;
  if (Application && Application->MainForm() && Application->MainForm()->Handle() && !minimize_box &&
      !application_owned)
    owner = Application->MainForm()->Handle();
  handle_ = CreateWindowExA(ex_style, kFormClass, caption.c_str(), style, x, y, w, h, owner, nullptr,
                            Application ? Application->Instance() : GetModuleHandleA(nullptr), this);
  if (!handle_) RaiseLastOSError();
  // A dialog without caption buttons still closes through its own buttons; only the main window keeps
  // the system menu's Close.
  if (!minimize_box) SetWindowLongA(handle_, GWL_STYLE, GetWindowLongA(handle_, GWL_STYLE) & ~WS_SYSMENU);
}

TForm::~TForm() {
  if (handle_) {
    destroying_ = true;
    HWND h = handle_;
    SetWindowLongPtrA(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
    handle_ = nullptr;
  }
}

std::string TForm::Caption() const { return WindowText(handle_); }
void TForm::SetCaption(const std::string& text) { SetWindowTextA(handle_, text.c_str()); }

int TForm::ClientWidth() const {
  RECT r;
  GetClientRect(handle_, &r);
  return r.right;
}

int TForm::ClientHeight() const {
  RECT r;
  GetClientRect(handle_, &r);
  return r.bottom;
}

void TForm::Show() {
  ShowWindow(handle_, SW_SHOW);
  if (ActiveControl && ActiveControl->Enabled()) ActiveControl->SetFocus();
  UpdateWindow(handle_);
}

void TForm::Hide() { ShowWindow(handle_, SW_HIDE); }

TControl* TForm::FindControl(HWND h) const {
  for (const auto& c : controls_)
    if (c->Handle() == h) return c.get();
  return nullptr;
}

void TForm::SetDefaultControl(TControl* c) {
  TControl* old = std::exchange(default_control_, c);
  // The default button draws itself differently: let the old and the new one repaint.
  if (old) InvalidateRect(old->Handle(), nullptr, FALSE);
  if (c) InvalidateRect(c->Handle(), nullptr, FALSE);
}

TControl* TForm::EnterTarget(HWND focus) const {
  if (TControl* focused = FindControl(focus))
    if (focused->IsPushButton() && focused->Enabled()) return focused;
  return default_control_;
}

TControl* TForm::FindControl(int id) const {
  for (const auto& c : controls_)
    if (c->Id() == id) return c.get();
  return nullptr;
}

int TForm::ShowModal() {
  // Disable every other enabled top-level window of this thread, and restore exactly those afterwards.
  std::vector<HWND> disabled;
  EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow, reinterpret_cast<LPARAM>(&disabled));
  for (HWND h : disabled)
    if (h != handle_) EnableWindow(h, FALSE);
  modal_ = true;
  ModalResult = mrNone;
  Show();
  SetForegroundWindow(handle_);
  while (ModalResult == mrNone && Application && !Application->Terminated()) {
    // A result set by a message sent from another thread (automation pressing a button) arrives
    // without a posted message. The loop never waits inside a message retrieval, which would only
    // return with the next posted message: it takes what is waiting, and waits only below, where a
    // sent message ends the wait too.
    const TApplication::Waiting got = Application->HandleWaitingMessage();
    if (got == TApplication::Waiting::kQuit) break;  // WM_QUIT stays for the outer loop
    if (got == TApplication::Waiting::kNone && ModalResult == mrNone)
      MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  for (HWND h : disabled)
    if (h != handle_) EnableWindow(h, TRUE);
  Hide();
  modal_ = false;
  if (!disabled.empty()) SetForegroundWindow(disabled.front());
  return ModalResult == mrNone ? mrCancel : ModalResult;
}

void TForm::Close() {
  if (!FormCloseQuery()) return;
  if (modal_) {
    ModalResult = mrCancel;
    return;
  }
  DestroyWindow(handle_);
}

LRESULT TForm::OnMessage(UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(handle_, m, w, l); }

LRESULT TForm::Dispatch(UINT m, WPARAM w, LPARAM l) {
  switch (m) {
    case WM_COMMAND:
      if (l) {
        if (TControl* c = FindControl(reinterpret_cast<HWND>(l))) {
          c->OnCommand(HIWORD(w));
          return 0;
        }
      }
      break;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(l);
      if (TControl* c = FindControl(hdr->hwndFrom)) return c->OnNotify(hdr);
      break;
    }
    case WM_DRAWITEM: {
      auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(l);
      if (TControl* c = FindControl(dis->hwndItem))
        if (c->OnDrawItem(dis)) return TRUE;
      break;
    }
    case WM_MEASUREITEM: {
      // List boxes ask while they are being created, before the control object knows its window:
      // every owner-drawn row of this framework is one line of the skin's font high.
      auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(l);
      mis->itemHeight = static_cast<UINT>(CurrentPainter().LineHeight() + 3);
      if (TControl* c = FindControl(static_cast<int>(mis->CtlID))) c->OnMeasureItem(mis);
      return TRUE;
    }
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(handle_, &r);
      FillRect(reinterpret_cast<HDC>(w), &r, CurrentPainter().Brush(TSkinPart::kFace));
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(handle_, &ps);
      RECT r;
      GetClientRect(handle_, &r);
      OnPaint(dc, r);
      EndPaint(handle_, &ps);
      return 0;
    }
    case WM_CLOSE:
      Close();
      return 0;
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      // The edit inside a drop-down box asks through the box: the first control up the chain answers.
      for (HWND h = reinterpret_cast<HWND>(l); h && h != handle_; h = GetParent(h))
        if (TControl* c = FindControl(h)) {
          if (HBRUSH b = c->OnCtlColor(reinterpret_cast<HDC>(w))) return reinterpret_cast<LRESULT>(b);
          break;
        }
      break;
    case WM_DESTROY:
      // An error of FormDestroy (a save that failed) is reported here, so that the main form's end
      // still ends the message loop: otherwise the process would go on without a window.
      if (!destroying_) {
        try {
          FormDestroy();
        } catch (...) {
          if (Application) Application->HandleException(std::current_exception());
        }
      }
      if (Application && Application->MainForm() == this) Application->Terminate();
      break;
    default:
      break;
  }
  return OnMessage(m, w, l);
}

LRESULT CALLBACK TForm::FormWndProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept {
  if (m == WM_NCCREATE) {
    auto* self = reinterpret_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(l)->lpCreateParams);
    SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    if (self) self->handle_ = h;
  }
  auto* self = reinterpret_cast<TForm*>(GetWindowLongPtrA(h, GWLP_USERDATA));
  if (!self) return DefWindowProcA(h, m, w, l);
  try {
    // A fault inside a system library called by a handler (a bad pointer handed to the C runtime)
    // reaches this boundary like a fault in the handler itself.
    LRESULT result = 0;
    CatchForeignFaults([&] { result = self->Dispatch(m, w, l); });
    return result;
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception());
    return 0;
  }
}

}  // namespace sondrel
