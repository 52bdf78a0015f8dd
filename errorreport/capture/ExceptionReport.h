#pragma once
// The report manager: the reporter's public face. It installs itself from a static initialiser
// before WinMain (when the program carries an options block) and is removed after WinMain returns.
// Nothing here lets an exception escape into the program.
#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "errorreport/capture/report_worker.h"

namespace sondrel {

// The exported entry (also reachable by GetProcAddress as "ExceptionManager"). Returns true when the
// caller shall run its own default handling (the reporter declined, the exception is an EAbort, or a
// handler cleared Handled); false when the exception was dealt with here.
extern "C" bool ExceptionManager(const std::exception_ptr* object, const void* address) noexcept;
// The same for C++ callers.
bool ReportException(std::exception_ptr object, const void* address = nullptr) noexcept;

// The report routine, for the interception points: the exception, its address, whether it is a
// language exception, and what the faulting thread knows of its registers and stack (zeros when
// unknown: the routine fills them in).
bool ReportRoutine(std::exception_ptr object, uint32_t address, bool language_exception,
                   const TExceptNotifyParams& known) noexcept;

// True from installation until removal, when the program carries an options block.
bool ReporterActive() noexcept;
TReportHandlerList& ReportHandlers();
// The record of the report under way, or null.
const TReportExceptionRecord* CurrentExceptionRecord() noexcept;
TReportErrorCode LastReportError(std::string* text = nullptr) noexcept;
uint32_t ExceptionsReported() noexcept;
// The working copy of the options in force for the last report.
TReportModuleOptions* HandlingOptions() noexcept;

// Parts that other pieces of the reporter provide, or that a test replaces: the error dialog, the
// reproduce-steps dialog, delivery, web output. Without them the manager shows its own error and
// request dialogs, sends nothing and writes no web page.
struct ReportServices {
  std::function<DialogChoices(const DialogRequest&)> show_error_dialog;
  std::function<std::string()> ask_reproduce_steps;
  std::function<void(const std::string& text, const std::string& screenshot, TReportErrorCode& failure)> send;
  std::function<void(const std::string& text)> web_output;
  // Mails a file through the user's mail client (the internal-error path); false when it could not.
  std::function<bool(const std::string& file, const std::string& subject)> mail_file;
  // True for a web program (recognised from the command line and environment).
  std::function<bool()> is_web_program;
};
void SetReportServices(ReportServices services);

}  // namespace sondrel
