#pragma once
// The small form framework every window is built on: the application object with its message loop and
// exception boundary, forms (top-level windows with child controls, shown modeless or modal) and the
// control base. Every window procedure catches at its boundary and hands the exception to
// TApplication::HandleException: a C++ exception must never cross a Win32 callback.
#include <windows.h>

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sondrel {

class TForm;

enum TModalResult : int { mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL };

class TApplication {
 public:
  // Registers the window classes and creates the hidden application window, which stands for the
  // program before the main window exists (the single-instance guard hands it to a second start).
  explicit TApplication(HINSTANCE instance);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  HINSTANCE Instance() const { return instance_; }
  HWND Handle() const { return handle_; }
  TForm* MainForm() const { return main_form_; }
  // The first form created with this becomes the main form; its closing ends Run.
  void SetMainForm(TForm* form) { main_form_ = form; }
  const std::string& Title() const { return title_; }
  void SetTitle(std::string title);

  // Runs the message loop until the main form is closed or Terminate is called.
  void Run();
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles the messages waiting now and returns.
  void ProcessMessages();
  // Dispatches one message; false when WM_QUIT arrived.
  bool HandleMessage();

  // The exception boundary of every window procedure and event handler: gives the exception to the
  // exception manager and shows the framework's own message box when that asks for it. Never throws.
  void HandleException(std::exception_ptr e) noexcept;
  // The framework's own message box for an exception.
  void ShowException(std::exception_ptr e) noexcept;
  // Replaces the exception manager (tests): returns true when the framework shall show its own box.
  // Without a hook the exception goes to ExceptionManager. EAbort is never shown.
  using ExceptionHook = bool (*)(std::exception_ptr) noexcept;
  void SetExceptionHook(ExceptionHook hook) { exception_hook_ = hook; }

 private:
  static LRESULT CALLBACK AppWndProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept;
  bool DispatchToDialogs(MSG& msg);

  HINSTANCE instance_;
  HWND handle_ = nullptr;
  TForm* main_form_ = nullptr;
  std::string title_;
  bool terminated_ = false;
  ExceptionHook exception_hook_ = nullptr;
};

// The one application object; exists from the start of WinMain to its end.
extern TApplication* Application;

// A child window of a form. Owned by its form; destroyed with it.
class TControl {
 public:
  virtual ~TControl() = default;
  HWND Handle() const { return handle_; }
  int Id() const { return id_; }
  int Tag = 0;

  std::string Caption() const;
  void SetCaption(const std::string& text);
  bool Enabled() const { return IsWindowEnabled(handle_) != FALSE; }
  void SetEnabled(bool on) { EnableWindow(handle_, on); }
  bool Visible() const { return IsWindowVisible(handle_) != FALSE; }
  void SetVisible(bool on) { ShowWindow(handle_, on ? SW_SHOW : SW_HIDE); }
  void SetFocus() { ::SetFocus(handle_); }

  // A WM_COMMAND or WM_NOTIFY aimed at this control, routed by its form.
  virtual void OnCommand(WORD /*code*/) {}
  virtual LRESULT OnNotify(NMHDR* /*hdr*/) { return 0; }
  // Owner drawing, routed by its form; false lets the default drawing happen.
  virtual bool OnDrawItem(DRAWITEMSTRUCT* /*dis*/) { return false; }

 protected:
  TControl() = default;
  // Creates the child window with the given class and style under parent, at the form's coordinates.
  void CreateHandle(HWND parent, int id, const char* window_class, const std::string& text, DWORD style,
                    DWORD ex_style, int left, int top, int width, int height);
  HWND handle_ = nullptr;
  int id_ = 0;
};

// A top-level window holding controls. Windows are created when needed, shown and destroyed; a
// modal form disables the other windows of the program while it runs.
class TForm {
 public:
  virtual ~TForm();
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const { return handle_; }
  std::string Caption() const;
  void SetCaption(const std::string& text);
  int ClientWidth() const;
  int ClientHeight() const;

  void Show();
  void Hide();
  // Shows the form modally and returns its ModalResult once something set one (or the form closed).
  int ShowModal();
  int ModalResult = mrNone;
  // Closes a modal form with mrCancel, or destroys a modeless one (ending Run for the main form).
  void Close();

  // Adds a control the form owns; returns it for convenience.
  template <class C>
  C* Own(std::unique_ptr<C> control) {
    C* raw = control.get();
    controls_.push_back(std::move(control));
    return raw;
  }
  TControl* FindControl(HWND h) const;
  TControl* FindControl(int id) const;
  int NextControlId() { return next_id_++; }

  // Called once the window exists and once before it goes.
  virtual void FormCreate() {}
  virtual void FormDestroy() {}

 protected:
  // border: true gives a fixed dialog frame; minimize adds only a minimise box (main window).
  TForm(const std::string& caption, int client_width, int client_height, bool minimize_box);
  // Messages the form does not handle itself go here; the default is DefWindowProc.
  virtual LRESULT OnMessage(UINT m, WPARAM w, LPARAM l);
  virtual void OnPaint(HDC /*dc*/, const RECT& /*client*/) {}
  // The control whose click Enter stands for, or null.
  TControl* DefaultControl = nullptr;
  TControl* CancelControl = nullptr;

 private:
  friend class TApplication;
  static LRESULT CALLBACK FormWndProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept;
  LRESULT Dispatch(UINT m, WPARAM w, LPARAM l);

  HWND handle_ = nullptr;
  std::vector<std::unique_ptr<TControl>> controls_;
  int next_id_ = 1000;
  bool modal_ = false;
  bool destroying_ = false;
};

// The information message box of the program: text of several lines and OK, or OK and Cancel.
// Returns IDOK or IDCANCEL.
int InformationBox(HWND owner, const std::string& text, bool with_cancel);

}  // namespace sondrel
