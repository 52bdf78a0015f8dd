#include "errorreport/capture/report_worker.h"

#include <cstdio>

#include "base/exception.h"
#include "base/file.h"
#include "base/text.h"
#include "errorreport/capture/log_file.h"

namespace sondrel {
namespace {

constexpr int kTextInformation = 0;
constexpr int kTextErrorHeader = 3;
constexpr int kTextRequest = 59;
const std::vector<std::string> kDuplicateRows = {"2.2", "2.3", "2.4", "2.5"};

std::string Hex8(uint32_t v) { return HexAddress(v); }

}  // namespace

const char* ReportErrorCodeName(TReportErrorCode code) {
  static constexpr const char* kNames[] = {"eeNone", "eeShowError", "eeLogError", "eeEmailMAPIError",
                                           "eeEmailShellError", "eeEmailSMTPError"};
  return code <= eeEmailSMTPError ? kNames[code] : "eeNone";
}

// ---- handler list ----

int TReportHandlerList::Add(TReportHandler handler) {
  std::lock_guard g(lock_);
  handlers_.emplace_back(next_id_, std::move(handler));
  return next_id_++;
}

void TReportHandlerList::Remove(int id) {
  std::lock_guard g(lock_);
  std::erase_if(handlers_, [id](const auto& p) { return p.first == id; });
}

void TReportHandlerList::SetGlobal(TReportHandler handler) {
  std::lock_guard g(lock_);
  global_ = std::move(handler);
}

void TReportHandlerList::Clear() {
  std::lock_guard g(lock_);
  handlers_.clear();
  global_ = {};
}

std::vector<TReportHandler> TReportHandlerList::Snapshot() const {
  std::lock_guard g(lock_);
  std::vector<TReportHandler> out;
  for (auto it = handlers_.rbegin(); it != handlers_.rend(); ++it) out.push_back(it->second);
  out.push_back(global_);
  return out;
}

bool TReportHandlerList::HasActionHandlers() const {
  std::lock_guard g(lock_);
  if (global_.OnAction) return true;
  for (const auto& h : handlers_)
    if (h.second.OnAction) return true;
  return false;
}

// ---- exception facts ----

bool IsAbort(const std::exception_ptr& e) {
  if (!e) return false;
  try {
    std::rethrow_exception(e);
  } catch (const Exception& x) {
    return x.InheritsFrom("EAbort");
  } catch (...) {
  }
  return false;
}

std::vector<std::string> ExceptionClassChain(const std::exception_ptr& e) {
  std::vector<std::string> chain;
  if (!e) return chain;
  try {
    std::rethrow_exception(e);
  } catch (const Exception& x) {
    for (const char* n : x.ClassChain()) chain.emplace_back(n);
  } catch (...) {
    chain.push_back(ExceptionClassName(e));
  }
  return chain;
}

bool HasExceptionMessage(const std::exception_ptr& e) {
  if (!e) return false;
  try {
    std::rethrow_exception(e);
  } catch (const std::exception&) {
    return true;
  } catch (...) {
  }
  return false;
}

std::string DialogMessageText(const std::exception_ptr& e) {
  std::string m = HasExceptionMessage(e) ? ExceptionMessage(e) : std::string("Unknown error message.");
  if (m.empty() || m.back() != '.') m += '.';
  for (char& c : m)
    if (static_cast<unsigned char>(c) < 32 && c != '\r' && c != '\n') c = ' ';
  return m;
}

// ---- internal errors ----

std::string InternalErrorDump(const std::vector<uint8_t>& bytes) {
  std::string out;
  char buf[8];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "$%02X ", b);
    out += buf;
  }
  return out;
}

std::string InternalErrorText(const std::string& os_name, const std::string& dump, int step, uint32_t address,
                              const std::string& message) {
  return "OS     : " + os_name + "\r\nRAD    : " + "GCC " + __VERSION__ + " (MinGW-w64, C++20)" +
         "\r\nDump   : " + dump + "\r\nSection: " + std::to_string(step) + "\r\nAddress: " + Hex8(address) +
         "\r\nMessage: " + message;
}

std::string InternalErrorDebugLine(int step, uint32_t address, const std::string& message) {
  return "[ERROR] - Section: " + std::to_string(step) + " - Address: " + Hex8(address) + " - Message: \"" + message +
         "\"";
}

std::string LastErrorText(const std::string& context, const std::exception_ptr& e) {
  return e ? "[" + context + "] " + ExceptionMessage(e) : "General '" + context + "' error.";
}

void ReportWorker::RecordLastError(ReportSystem& sys, ReportManagerState& state, TReportErrorCode code,
                                   const std::string& context, const std::exception_ptr& e) {
  RecordLastError(sys, state, code, LastErrorText(context, e));
}

void ReportWorker::RecordLastError(ReportSystem& sys, ReportManagerState& state, TReportErrorCode code,
                                   const std::string& text) {
  state.last_error = code;
  state.last_error_text = text;
  sys.DebugOutput(std::string("[WARNING] - Code: ") + ReportErrorCodeName(code) + " - Address: " +
                  Hex8(state.last_reported_address) + " - Message: \"" + state.last_error_text + "\"");
}

// ---- notifications ----

// Every handler runs in the faulting thread when the worker has one of its own; what a handler raises
// is swallowed, so that no handler can break the report.
bool ReportWorker::Notify(int action, bool go_on) {
  for (auto& h : state_.handlers ? state_.handlers->Snapshot() : std::vector<TReportHandler>{}) {
    if (!h.OnAction) continue;
    sys_.RunInFaultingThread([&] {
      try {
        h.OnAction(record_, action, go_on);
      } catch (...) {
      }
    });
  }
  return go_on;
}

bool ReportWorker::NotifyError(int action) {
  bool retry = false;
  for (auto& h : state_.handlers ? state_.handlers->Snapshot() : std::vector<TReportHandler>{}) {
    if (!h.OnActionError) continue;
    sys_.RunInFaultingThread([&] {
      try {
        h.OnActionError(record_, action, retry);
      } catch (...) {
      }
    });
  }
  return retry;
}

void ReportWorker::NotifyReport(bool& handled) {
  for (auto& h : state_.handlers ? state_.handlers->Snapshot() : std::vector<TReportHandler>{}) {
    if (!h.OnReport) continue;
    sys_.RunInFaultingThread([&] {
      try {
        h.OnReport(record_, handled);
      } catch (...) {
      }
    });
  }
}

// ---- the steps ----

bool ReportWorker::Filtered(const ReportInput& in) {
  const TReportModuleOptions& o = *state_.handling_options;
  if (!o.FilterActive()) return false;
  const auto chain = ExceptionClassChain(in.object);
  const StringList& classes = o.FilterClasses();
  for (size_t i = 0; i < classes.size(); ++i) {
    const std::string wanted = UpperCase(Trim(classes[i]));
    for (const auto& name : chain) {
      if (UpperCase(Trim(name)) != wanted) continue;
      const std::string msg = i < o.FilterMessages().size() ? o.FilterMessages()[i] : std::string();
      if (!msg.empty()) {
        std::string caption = o.CustomText(kTextInformation);
        if (caption.empty()) caption = "Information.";
        sys_.ShowFilterMessage(caption, msg);
      }
      return true;
    }
  }
  return false;
}

void ReportWorker::BuildReport(const ReportInput& in) {
  const TReportModuleOptions& o = *state_.handling_options;
  auto texts = [&o](int i) { return o.CustomText(i); };
  ReportRowValues rows;
  step_ = 601;
  sys_.FillReportRows(rows, in);
  rows[rrStartDate] = state_.start_date;
  rows[rrDate] = exception_date_;
  rows[rrAddress] = AddressText(record_.ExceptionAddress);
  rows[rrModule] = sys_.ModuleNameOfAddress(record_.ExceptionAddress);
  rows[rrType] = in.object ? ExceptionClassName(in.object) : std::string("Unknown exception type.");
  // A thrown value that is no exception object (throw 42) carries no message.
  rows[rrMessage] =
      HasExceptionMessage(in.object) ? ReportMessageText(ExceptionMessage(in.object)) : "Unknown error message.";
  rows[rrControlClass] = in.params.FocusedClass;
  rows[rrControlText] = BlankControlChars(in.params.FocusedText);
  duplicate_values_ = {rows[rrAddress], rows[rrModule], rows[rrType], rows[rrMessage]};

  step_ = 602;
  general_part_ = BuildGeneralPart(texts, o.ReportFields(), rows, sys_.Kind() == ProgramKind::kWindows);
  processor_part_ = BuildProcessorPart(texts, in.params.Context,
                                       sys_.ReadMemory(in.params, record_.ExceptionAddress));
  record_.ReportText = JoinReportParts(general_part_, BuildCallStackPart(texts, stack_),
                                       BuildModulesPart(texts, modules_), processor_part_);
  text_to_send_ = record_.ReportText;
}

std::string ReportWorker::LogFileName() const {
  // The working copy has no module file of its own; the log belongs to the module whose options
  // are in force, with the log folder of the working copy.
  return module_options_ ? module_options_->LogFileName() : state_.handling_options->LogFileName();
}

void ReportWorker::ShowError() {
  const TReportModuleOptions& o = *state_.handling_options;
  // A veto skips the showing only: the handlers still hear that this step is over.
  if (Notify(raBeforeShow)) Show(o);
  Notify(raAfterShow);
}

void ReportWorker::Show(const TReportModuleOptions& o) {
  switch (sys_.Kind()) {
    case ProgramKind::kWeb:
      sys_.WriteWebOutput(o.CustomText(kTextErrorHeader) + "\r\n\r\n" + record_.ReportText);
      break;
    case ProgramKind::kConsole:
      try {
        sys_.WriteConsoleLine(o.CustomText(kTextErrorHeader) + "\r\n\r\n" + record_.ReportText);
      } catch (...) {
        RecordLastError(sys_, state_, eeShowError, "Console", std::current_exception());
      }
      break;
    case ProgramKind::kWindows:
      try {
        DialogRequest req;
        req.record = &record_;
        req.message = message_;
        req.general_part = general_part_;
        req.processor_part = processor_part_;
        req.duplicate = duplicate_;
        req.exceptions_reported = state_.exceptions_reported;
        req.confirm_terminate = [this] {
          terminate_answer_ = Notify(raTerminate);
          return *terminate_answer_;
        };
        choices_ = sys_.ShowErrorDialog(req);
      } catch (...) {
        RecordLastError(sys_, state_, eeShowError, "GUI", std::current_exception());
      }
      break;
  }
}

void ReportWorker::WriteLog() {
  const TReportModuleOptions& o = *state_.handling_options;
  step_ = 705;
  bool go_on = Notify(raBeforeLog);
  state_.last_error = eeNone;
  bool retry;
  do {
    retry = false;
    state_.last_error = eeNone;
    try {
      TLogFile log(LogFileName());
      if (!duplicate_) {
        if ((o.HandlingFlags() & kAskReproduceSteps) && !reproduce_steps_.empty()) {
          record_.ReportText += "\r\n" + o.CustomText(kTextRequest) + ":\r\n" + std::string(40, '-') + "\r\n" +
                                CollapseBlankLines(reproduce_steps_);
          text_to_send_ = record_.ReportText;
        }
        log.Add(record_.ReportText, o.LogErrorLimit());
        if (o.SendEntireLog()) text_to_send_ = log.Text();
        if (go_on) log.Save();
      }
    } catch (...) {
      RecordLastError(sys_, state_, eeLogError, "Log", std::current_exception());
      // A failed write may be tried again; a handler's veto of the write is not a failure.
      go_on = true;
      retry = NotifyError(raAfterLog);
      if (retry) reproduce_steps_.clear();  // already appended to the report
    }
  } while (retry);
  Notify(raAfterLog);
}

void ReportWorker::SendReport() {
  step_ = 706;
  SendReportInput in;
  in.options = state_.handling_options;
  in.text_to_send = text_to_send_;
  in.report = record_.ReportText;
  in.screenshot_file = screenshot_saved_ ? sys_.ScreenshotFile() : std::string();
  in.report_file = ExtractFileName(LogFileName());
  SendReportHooks hooks;
  hooks.notify = [this](int action, bool flag) { return Notify(action, flag); };
  hooks.notify_error = [this](int action) { return NotifyError(action); };
  hooks.clear_last_error = [this] { state_.last_error = eeNone; };
  hooks.record_error = [this](TReportErrorCode code, const std::string& text) {
    RecordLastError(sys_, state_, code, text);
  };
  sys_.SendReport(std::move(in), std::move(hooks));
}

// The picture is an extra: when it cannot be written (no capture, no room in the temporary folder)
// the report is logged and sent without it.
void ReportWorker::SaveScreenshot() {
  try {
    // A handler turned the screenshot on after the capture point: the screen as it is now.
    if (!screen_captured_) {
      sys_.CaptureScreen();
      screen_captured_ = true;
    }
    sys_.SaveScreenshot();
    screenshot_saved_ = true;
  } catch (...) {
    sys_.DebugOutput("[WARNING] - Screenshot - Address: " + Hex8(state_.last_reported_address) + " - Message: \"" +
                     ExceptionMessage(std::current_exception()) + "\"");
  }
}

bool ReportWorker::Run(const ReportInput& in) {
  // The record lives in this worker: it is published only while the worker runs.
  struct Unpublish {
    ReportManagerState& s;
    ~Unpublish() { s.published = nullptr; }
  } unpublish{state_};
  step_ = 1;
  bool result = false;
  record_ = {};
  record_.ExceptionObject = in.object;
  record_.ThreadId = in.params.ThreadId;
  exception_date_ = sys_.NowDateText();
  reproduce_steps_.clear();
  terminate_answer_.reset();
  state_.last_reported_address = in.address;
  // A language exception's address is the return address of the call that raised it.
  uint32_t address = in.address;
  if (in.language_exception && address >= 5) address -= 5;
  record_.ExceptionAddress = address;

  step_ = 101;
  sys_.DropChangedModules();
  step_ = 102;
  module_options_ = &sys_.OptionsForAddress(address);
  step_ = 103;
  state_.handling_options->Assign(module_options_);
  record_.HandlingOptions = state_.handling_options;
  const TReportModuleOptions& o = *state_.handling_options;

  step_ = 2;
  if (Filtered(in)) return false;

  step_ = 3;
  stack_ = sys_.BuildCallStack(address, in.params);
  step_ = 4;
  if (stack_.size() >= 2 && stack_[0].address == stack_[1].address) stack_.erase(stack_.begin());
  step_ = 5;
  if (in.language_exception && !stack_.empty()) {
    for (size_t i = 1; i < stack_.size(); ++i)
      if (stack_[i].address == stack_[0].address) {
        stack_.erase(stack_.begin());
        break;
      }
  }

  step_ = 6;
  bool handled = true;
  sys_.RefreshModules();
  modules_ = sys_.ModuleRows();
  record_.ModulesList = &modules_;
  record_.CallStack = &stack_;
  state_.published = &record_;
  BuildReport(in);
  step_ = 603;
  duplicate_ = false;
  if (o.HandlingFlags() & kSkipDuplicates) duplicate_ = TLogFile(LogFileName()).IsDuplicate(kDuplicateRows, duplicate_values_);
  state_.last_error = eeNone;
  step_ = 604;
  // The picture of the screen as the fault left it, when the report can carry one: a capture that no
  // send could attach is never taken (a copy of the whole screen, tens of milliseconds a report).
  screen_captured_ = o.SendMode() != TReportSendMode::rsNone && o.AttachScreenshot() && !duplicate_;
  if (screen_captured_) sys_.CaptureScreen();
  step_ = 605;
  NotifyReport(handled);

  step_ = 7;
  if (handled) {
    ++state_.exceptions_reported;
    message_ = DialogMessageText(in.object);
    step_ = 701;
    if (o.ShowDialog())
      ShowError();
    else if (sys_.Kind() == ProgramKind::kWeb)
      sys_.WriteWebOutput(message_);
    step_ = 702;
    const bool sending_or_logging = o.SendMode() != TReportSendMode::rsNone || o.SaveLog();
    if ((o.HandlingFlags() & kAskReproduceSteps) && sys_.Kind() == ProgramKind::kWindows && !duplicate_ &&
        sending_or_logging)
      reproduce_steps_ = sys_.AskReproduceSteps();
    step_ = 703;
    // Only the user sends from the dialog: a dialog that failed or was vetoed sends nothing. Where no
    // dialog is meant to be (ShowDialog off, console and web programs have no send box) the options
    // decide alone.
    const bool no_send_box = !o.ShowDialog() || sys_.Kind() != ProgramKind::kWindows;
    const bool to_send =
        o.SendMode() != TReportSendMode::rsNone && !duplicate_ && (no_send_box || choices_.send);
    screenshot_saved_ = false;
    if (to_send && o.AttachScreenshot() && (no_send_box || choices_.attach_screenshot)) SaveScreenshot();
    step_ = 704;
    sys_.ReleaseScreen();
    if (o.SaveLog()) WriteLog();
    if (choices_.copy_to_clipboard) sys_.CopyToClipboard(record_.ReportText);
    if (to_send) SendReport();
    sys_.DeleteScreenshot();
  } else {
    sys_.ReleaseScreen();
    result = true;
  }

  step_ = 8;
  stack_.clear();
  // Action 6 carries the terminate flag: a handler may keep the program running. The dialog asks it
  // before it closes (and comes back on a no); a dialog that did not ask is asked for here.
  if (choices_.terminate && (terminate_answer_ ? *terminate_answer_ : Notify(raTerminate))) {
    if (o.RestartAfterTerminate()) sys_.Restart();
    sys_.Terminate(1);
  }
  return result;
}

}  // namespace sondrel
