#include "skin/forms_win.h"

#include <commctrl.h>

#include "base/exception.h"
#include "errorreport/capture/ExceptionReport.h"

namespace sondrel {

TApplication* Application = nullptr;

namespace {
constexpr char kAppClass[] = "TApplication";
constexpr char kFormClass[] = "TForm";

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
  handle_ = CreateWindowExA(0, kAppClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, this);
  Application = this;
}

TApplication::~TApplication() {
  if (handle_) DestroyWindow(handle_);
  if (Application == this) Application = nullptr;
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
  // Enter and Escape in a form press its default and cancel buttons, as in a dialog.
  if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)) return false;
  HWND top = GetAncestor(msg.hwnd, GA_ROOT);
  auto* form = top ? reinterpret_cast<TForm*>(GetWindowLongPtrA(top, GWLP_USERDATA)) : nullptr;
  if (!form) return false;
  TControl* target = msg.wParam == VK_RETURN ? form->DefaultControl : form->CancelControl;
  if (!target || !target->Enabled() || !target->Visible()) return false;
  // A control that wants Enter for itself (a multi-line edit) keeps it.
  if (msg.wParam == VK_RETURN && (SendMessageA(msg.hwnd, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS)) return false;
  SendMessageA(target->Handle(), BM_CLICK, 0, 0);
  return true;
}

bool TApplication::HandleMessage() {
  MSG msg;
  if (!GetMessageA(&msg, nullptr, 0, 0)) {
    terminated_ = true;
    return false;
  }
  if (!DispatchToDialogs(msg)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
    if (msg.message == WM_QUIT) return;
    HandleMessage();
  }
}

void TApplication::Run() {
  if (main_form_ && !IsWindowVisible(main_form_->Handle())) main_form_->Show();
  while (!terminated_ && HandleMessage()) {
  }
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

// ---- TControl ----

void TControl::CreateHandle(HWND parent, int id, const char* window_class, const std::string& text, DWORD style,
                            DWORD ex_style, int left, int top, int width, int height) {
  id_ = id;
  handle_ = CreateWindowExA(ex_style, window_class, text.c_str(), WS_CHILD | WS_VISIBLE | style, left, top, width,
                            height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                            Application ? Application->Instance() : GetModuleHandleA(nullptr), nullptr);
  if (!handle_) RaiseLastOSError();
  SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
}

std::string TControl::Caption() const { return WindowText(handle_); }
void TControl::SetCaption(const std::string& text) { SetWindowTextA(handle_, text.c_str()); }

// ---- TForm ----

TForm::TForm(const std::string& caption, int client_width, int client_height, bool minimize_box) {
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
  if (Application && Application->MainForm() && Application->MainForm()->Handle() && !minimize_box)
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
  UpdateWindow(handle_);
}

void TForm::Hide() { ShowWindow(handle_, SW_HIDE); }

TControl* TForm::FindControl(HWND h) const {
  for (const auto& c : controls_)
    if (c->Handle() == h) return c.get();
  return nullptr;
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
    if (!Application->HandleMessage()) {
      PostQuitMessage(0);  // hand WM_QUIT back to the outer loop
      break;
    }
  }
  for (HWND h : disabled)
    if (h != handle_) EnableWindow(h, TRUE);
  Hide();
  modal_ = false;
  if (!disabled.empty()) SetForegroundWindow(disabled.front());
  return ModalResult == mrNone ? mrCancel : ModalResult;
}

void TForm::Close() {
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
    case WM_DESTROY:
      if (!destroying_) FormDestroy();
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
    return self->Dispatch(m, w, l);
  } catch (...) {
    if (Application) Application->HandleException(std::current_exception());
    return 0;
  }
}

int InformationBox(HWND owner, const std::string& text, bool with_cancel) {
  const char* title = Application ? Application->Title().c_str() : "";
  return MessageBoxA(owner, text.c_str(), title, MB_ICONINFORMATION | (with_cancel ? MB_OKCANCEL : MB_OK));
}

}  // namespace sondrel
