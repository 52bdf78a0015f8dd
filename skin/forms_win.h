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

#include "skin/skin_win.h"

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
  // The program's look, read from the stored skin when the application starts.
  const TSkinPainter& Painter() const { return *painter_; }
  HWND Handle() const { return handle_; }
  TForm* MainForm() const { return main_form_; }
  // The first form created with this becomes the main form; its closing ends Run.
  void SetMainForm(TForm* form);
  const std::string& Title() const { return title_; }
  void SetTitle(std::string title);

  // Runs the message loop until the main form is closed or Terminate is called.
  void Run();
  // Work that the shown window does not need: run in order by Run once the main window is shown,
  // painted and the queue is empty for the first time, each inside the exception boundary.
  void RunWhenIdle(std::function<void()> task) { idle_tasks_.push_back(std::move(task)); }
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Handles the messages waiting now and returns.
  void ProcessMessages();
  // Waits for one message and dispatches it; false when WM_QUIT arrived.
  bool HandleMessage();
  // Dispatches one message if one is waiting, without waiting: kQuit leaves WM_QUIT in the queue for
  // the loop that ends on it, and marks the application terminated.
  enum class Waiting { kNone, kHandled, kQuit };
  Waiting HandleWaitingMessage();

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
  void Dispatch(MSG& msg);

  HINSTANCE instance_;
  std::unique_ptr<TSkinPainter> painter_;
  HWND handle_ = nullptr;
  TForm* main_form_ = nullptr;
  std::string title_;
  bool terminated_ = false;
  ExceptionHook exception_hook_ = nullptr;
  std::vector<std::function<void()>> idle_tasks_;
};

// The one application object; exists from the start of WinMain to its end.
extern TApplication* Application;

// The application's painter, or one with the default look when no application exists (tools, tests).
const TSkinPainter& CurrentPainter();

// The window class of container windows (notebook pages, panels): they paint the panel colour and
// hand the notifications of their controls on to their form.
extern const char kPanelClass[];

// A child window of a form. Owned by its form; destroyed with it. Every control is a real window of a
// standard class, so that its caption and state stay readable through the standard messages; the
// skin only changes how it is drawn.
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
  bool Focused() const;

  // A key pressed while this control (or a window inside it) has the focus, before anything else sees
  // it; setting key to 0 consumes it (Enter then does not press the default button).
  std::function<void(WORD& key)> OnKeyDown;

  // True for a push button: Enter presses it while it has the focus.
  virtual bool IsPushButton() const { return false; }

  // A WM_COMMAND or WM_NOTIFY aimed at this control, routed by its form.
  virtual void OnCommand(WORD /*code*/) {}
  virtual LRESULT OnNotify(NMHDR* /*hdr*/) { return 0; }
  // Owner drawing, routed by its form; false lets the default drawing happen.
  virtual bool OnDrawItem(DRAWITEMSTRUCT* /*dis*/) { return false; }
  virtual void OnMeasureItem(MEASUREITEMSTRUCT* /*mis*/) {}
  // WM_CTLCOLOR* for this control: the brush for its background, after setting dc's colours.
  virtual HBRUSH OnCtlColor(HDC dc);
  // The skin part this control sits on: the page colour inside containers, the face on a form.
  TSkinPart Background() const { return background_; }

 protected:
  TControl() = default;
  // Creates the child window with the given class and style under parent, at the parent's coordinates.
  void CreateHandle(HWND parent, int id, const char* window_class, const std::string& text, DWORD style,
                    DWORD ex_style, int left, int top, int width, int height);
  // Routes the window's own messages through WndProc; call after CreateHandle.
  void Subclass();
  // The subclassed window's messages; the default hands them to the original procedure.
  virtual LRESULT WndProc(UINT m, WPARAM w, LPARAM l);
  LRESULT DefaultProc(UINT m, WPARAM w, LPARAM l);

  HWND handle_ = nullptr;
  int id_ = 0;
  TSkinPart background_ = TSkinPart::kFace;

 private:
  static LRESULT CALLBACK SubclassProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept;
  WNDPROC original_proc_ = nullptr;
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

  // Shows the form and gives ActiveControl the focus.
  void Show();
  void Hide();
  TControl* ActiveControl = nullptr;
  // Shows the form modally and returns its ModalResult once something set one (or the form closed).
  int ShowModal();
  int ModalResult = mrNone;
  // Closes a modal form with mrCancel, or destroys a modeless one (ending Run for the main form),
  // unless FormCloseQuery refuses.
  void Close();
  // Asked before every close; false keeps the form open.
  virtual bool FormCloseQuery() { return true; }

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
  // Creates a control of type C owned by this form: C's constructor takes the form first.
  template <class C, class... A>
  C* Add(A&&... args) {
    return Own(std::make_unique<C>(*this, std::forward<A>(args)...));
  }
  // The control Enter presses and the one Escape presses (buttons), or null.
  TControl* DefaultControl() const { return default_control_; }
  TControl* CancelControl() const { return cancel_control_; }
  void SetDefaultControl(TControl* c);
  void SetCancelControl(TControl* c) { cancel_control_ = c; }
  // The button Enter presses while focus has the focus: that window when it is an enabled push button
  // of this form, else the default control.
  TControl* EnterTarget(HWND focus) const;

  // Called once the window exists and once before it goes.
  virtual void FormCreate() {}
  virtual void FormDestroy() {}

 protected:
  // border: true gives a fixed dialog frame; minimize adds only a minimise box (main window).
  // A form without a minimise box belongs to the main window once there is one, unless
  // application_owned: then to the application window, so that it outlives the main window.
  TForm(const std::string& caption, int client_width, int client_height, bool minimize_box,
        bool application_owned = false);
  // Messages the form does not handle itself go here; the default is DefWindowProc.
  virtual LRESULT OnMessage(UINT m, WPARAM w, LPARAM l);
  // Paints the client area over the skin's face colour.
  virtual void OnPaint(HDC /*dc*/, const RECT& /*client*/) {}

 private:
  friend class TApplication;
  static LRESULT CALLBACK FormWndProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept;
  LRESULT Dispatch(UINT m, WPARAM w, LPARAM l);

  HWND handle_ = nullptr;
  TControl* default_control_ = nullptr;
  TControl* cancel_control_ = nullptr;
  std::vector<std::unique_ptr<TControl>> controls_;
  int next_id_ = 1000;
  bool modal_ = false;
  bool destroying_ = false;
};

// The information message box of the program (skinned, modal, captioned with the application's
// title): text of several lines and OK, or OK and Cancel. Returns IDOK or IDCANCEL; a box with OK
// only returns IDOK however it is closed.
int InformationBox(HWND owner, const std::string& text, bool with_cancel);

}  // namespace sondrel
