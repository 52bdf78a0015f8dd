#pragma once
// The report proper: what happens between "this exception goes unhandled" and "the program goes on,
// ends or starts again". The steps and their order live here; everything that touches the system
// (stack, modules, screen, dialogs, console, clipboard, mail, the process) goes through ReportSystem,
// so that the whole sequence runs the same against the real system and against a test double.
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "errorreport/capture/intercept.h"
#include "errorreport/capture/report_text.h"
#include "errorreport/delivery/report_options.h"
#include "errorreport/delivery/send_report.h"

namespace sondrel {

// The last error of the reporter, values 0 to 5 in this order.
enum TReportErrorCode : uint8_t {
  eeNone, eeShowError, eeLogError, eeEmailMAPIError, eeEmailShellError, eeEmailSMTPError
};
const char* ReportErrorCodeName(TReportErrorCode code);
// The text of a last error: "[context] message", or "General 'context' error." without an exception.
std::string LastErrorText(const std::string& context, const std::exception_ptr& e);

// Action codes of the action and action-error notifications.
enum TReportAction : int {
  raBeforeShow = 0, raAfterShow = 1, raBeforeLog = 2, raAfterLog = 3, raBeforeSend = 4, raAfterSend = 5,
  raTerminate = 6
};

// The record handlers see while a report is under way.
struct TReportExceptionRecord {
  std::exception_ptr ExceptionObject;  // empty when the exception is no object
  uint32_t ExceptionAddress = 0;
  uint32_t ThreadId = 0;
  std::string ReportText;
  const std::vector<ModuleRowText>* ModulesList = nullptr;
  const std::vector<StackRowText>* CallStack = nullptr;
  TReportModuleOptions* HandlingOptions = nullptr;
};

// One registered handler: any of the three events may be empty.
struct TReportHandler {
  // Called once the report text exists; clearing handled stops the report and has the caller run
  // its own handling.
  std::function<void(TReportExceptionRecord&, bool& handled)> OnReport;
  // Around each step (TReportAction); clearing go_on skips the step, or for raTerminate keeps the
  // program running.
  std::function<void(TReportExceptionRecord&, int action, bool& go_on)> OnAction;
  // After a failed log write (raAfterLog) or send (raAfterSend); setting retry repeats the step.
  std::function<void(TReportExceptionRecord&, int action, bool& retry)> OnActionError;
};

// Registered handlers plus one global handler. Notifications go to the last registered first, then
// to the global one. Safe to change from any thread.
class TReportHandlerList {
 public:
  // Returns an id for Remove.
  int Add(TReportHandler handler);
  void Remove(int id);
  void SetGlobal(TReportHandler handler);
  void Clear();
  // The handlers in calling order.
  std::vector<TReportHandler> Snapshot() const;
  bool HasActionHandlers() const;

 private:
  mutable std::mutex lock_;
  std::vector<std::pair<int, TReportHandler>> handlers_;
  TReportHandler global_;
  int next_id_ = 1;
};

// What the faulting thread hands to the worker.
struct TExceptNotifyParams {
  std::optional<ReportRegisters> Context;  // the registers at the fault, when known
  uint32_t StackTop = 0;
  uint32_t StackPointer = 0;  // the faulting thread's ESP where the stack walk and the stack dump start
  uint32_t ThreadId = 0;      // the faulting thread
  // The faulting thread's stack as it was at the raise, when it was copied then (the frames of the raise
  // are gone from the live stack by the time a boundary reports); null: the live stack is read.
  std::shared_ptr<const StackCopy> Stack;
  // The stack of the thread that started the faulting thread, as it was then; null when none was kept.
  std::shared_ptr<const StackCopy> CreatorStack;
  std::string FocusedClass;
  std::string FocusedText;
};

struct ReportInput {
  std::exception_ptr object;
  uint32_t address = 0;
  bool language_exception = false;
  TExceptNotifyParams params;
};

// What the user chose in the error dialog.
struct DialogChoices {
  bool send = false;
  bool attach_screenshot = false;
  bool copy_to_clipboard = false;
  bool terminate = false;
};

// Everything the error dialog shows.
struct DialogRequest {
  const TReportExceptionRecord* record = nullptr;
  std::string message;        // the exception message as shown
  std::string general_part;   // the general part of the report
  std::string processor_part; // the registers and memory dump
  bool duplicate = false;
  uint32_t exceptions_reported = 0;
  // Asked when the user chose to terminate: the handlers' answer to action 6, false when one of them
  // keeps the program running (the dialog then comes back).
  std::function<bool()> confirm_terminate;
};

enum class ProgramKind { kWindows, kConsole, kWeb };

// The system side of a report. Methods may raise; the worker turns what escapes into an internal
// error report.
class ReportSystem {
 public:
  virtual ~ReportSystem() = default;
  virtual ProgramKind Kind() const = 0;
  virtual std::string NowDateText() = 0;
  // Modules: drop those whose file changed; the options of the module that holds address (or the
  // reporter's, or the program's); list refreshed and printed.
  virtual void DropChangedModules() = 0;
  virtual const TReportModuleOptions& OptionsForAddress(uint32_t address) = 0;
  virtual void RefreshModules() = 0;
  virtual std::vector<ModuleRowText> ModuleRows() = 0;
  virtual std::string ModuleNameOfAddress(uint32_t address) = 0;
  // The call stack from address between stack pointer and top (read from the stack copy where it has
  // one), followed by the rows of the stack of the thread that created the faulting thread when it
  // was kept.
  virtual std::vector<StackRowText> BuildCallStack(uint32_t address, const TExceptNotifyParams& params) = 0;
  // The rows of the general part the system knows: application, active controls, computer, system.
  virtual void FillReportRows(ReportRowValues& rows, const ReportInput& in) = 0;
  // 64 bytes at the stack pointer (from the stack copy when it holds them) and 256 at the address.
  virtual ReportMemory ReadMemory(const TExceptNotifyParams& params, uint32_t address) = 0;

  virtual void ShowFilterMessage(const std::string& caption, const std::string& text) = 0;
  virtual void CaptureScreen() = 0;
  virtual void SaveScreenshot() = 0;  // raises on failure
  virtual void ReleaseScreen() = 0;
  virtual void DeleteScreenshot() = 0;
  virtual std::string ScreenshotFile() = 0;
  // Raises when the dialog cannot be shown.
  virtual DialogChoices ShowErrorDialog(const DialogRequest& request) = 0;
  virtual void WriteConsoleLine(const std::string& text) = 0;  // raises on failure
  virtual void WriteWebOutput(const std::string& text) = 0;
  virtual std::string AskReproduceSteps() = 0;
  virtual void CopyToClipboard(const std::string& text) = 0;
  // Sends the report as the options say (the course of delivery's SendReport, with the hooks);
  // in.report_file is the report file's name, which the system places in its temporary folder.
  // Returns the send flag.
  virtual bool SendReport(SendReportInput in, SendReportHooks hooks) = 0;
  virtual void DebugOutput(const std::string& line) = 0;
  virtual void Restart() = 0;
  [[noreturn]] virtual void Terminate(unsigned exit_code) = 0;
  // Runs a handler callback in the faulting thread when the worker runs in a thread of its own.
  virtual void RunInFaultingThread(const std::function<void()>& call) { call(); }
};

// The state the reporter keeps between reports.
struct ReportManagerState {
  TReportModuleOptions* handling_options = nullptr;  // HandlingOptions
  TReportHandlerList* handlers = nullptr;
  std::string start_date;            // date text of the installation
  uint32_t exceptions_reported = 0;
  uint32_t last_reported_address = 0;
  TReportErrorCode last_error = eeNone;
  std::string last_error_text;
  // Published while a report runs (see CurrentExceptionRecord).
  TReportExceptionRecord* published = nullptr;
};

// One report. Returns true when the caller shall run its own default handling: reporting is off,
// a handler cleared Handled, or the report failed internally. internal_error is called with the step
// number and the message when something escapes a step.
class ReportWorker {
 public:
  ReportWorker(ReportSystem& sys, ReportManagerState& state) : sys_(sys), state_(state) {}
  bool Run(const ReportInput& in);

  int Step() const { return step_; }
  const std::string& Report() const { return record_.ReportText; }
  const std::string& TextToSend() const { return text_to_send_; }
  bool Duplicate() const { return duplicate_; }

  // Records the reporter's last error with its debugger line.
  static void RecordLastError(ReportSystem& sys, ReportManagerState& state, TReportErrorCode code,
                              const std::string& context, const std::exception_ptr& e);
  static void RecordLastError(ReportSystem& sys, ReportManagerState& state, TReportErrorCode code,
                              const std::string& text);

 private:
  void BuildReport(const ReportInput& in);
  bool Filtered(const ReportInput& in);
  void WriteLog();
  void SendReport();
  void ShowError();
  void Show(const TReportModuleOptions& o);
  void SaveScreenshot();
  // go_on: the flag the handlers are handed (the send flag after sending); their answer comes back.
  bool Notify(int action, bool go_on = true);
  bool NotifyError(int action);
  void NotifyReport(bool& handled);
  std::string LogFileName() const;

  ReportSystem& sys_;
  ReportManagerState& state_;
  int step_ = 0;
  TReportExceptionRecord record_;
  std::vector<StackRowText> stack_;
  std::vector<ModuleRowText> modules_;
  const TReportModuleOptions* module_options_ = nullptr;
  std::string message_;
  std::string exception_date_;
  std::string general_part_;
  std::string processor_part_;
  std::string text_to_send_;
  std::string reproduce_steps_;
  std::vector<std::string> duplicate_values_;
  bool duplicate_ = false;
  bool screenshot_saved_ = false;
  bool screen_captured_ = false;
  DialogChoices choices_;
  std::optional<bool> terminate_answer_;  // the handlers' answer to action 6, once the dialog asked
};

// The text of an internal error's ".log" file.
std::string InternalErrorText(const std::string& os_name, const std::string& dump, int step, uint32_t address,
                              const std::string& message);
// The debugger line of an internal error.
std::string InternalErrorDebugLine(int step, uint32_t address, const std::string& message);
// "$4D $5A ..." for each byte, or empty.
std::string InternalErrorDump(const std::vector<uint8_t>& bytes);

// The message the dialog shows: the exception's message or "Unknown error message." (for a thrown value
// that is no exception object, such as an int), "." added when missing, control characters other than
// CR and LF turned into blanks.
std::string DialogMessageText(const std::exception_ptr& e);
// True when e holds an exception object (a std::exception), which carries a message.
bool HasExceptionMessage(const std::exception_ptr& e);
// The class names of an exception, own class first, for the filter.
std::vector<std::string> ExceptionClassChain(const std::exception_ptr& e);
bool IsAbort(const std::exception_ptr& e);

}  // namespace sondrel
