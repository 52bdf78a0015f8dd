#include "errorreport/capture/report_interception_win.h"

#include <windows.h>

#include <exception>

#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/intercept_win.h"
#include "errorreport/capture/report_system_win.h"
#include "errorreport/capture/thread_track_win.h"
#include "errorreport/delivery/web_output_win.h"

// The manager's interception points, served by the hooks of intercept_win.h: what they catch reaches
// the manager's report routine with the registers and the stack of the raise.
namespace sondrel {

TExceptNotifyParams NotifyParamsOf(const UnhandledException& u) {
  TExceptNotifyParams known;
  if (u.context) known.Context = RegistersOf(*u.context);
  known.StackPointer = u.stack_pointer;
  known.StackTop = u.stack_top;
  known.Stack = u.stack;
  known.ThreadId = u.thread_id;
  // Taken here, in the faulting thread before the report lock: the thread list's lock is never wanted
  // while a report holds its own.
  auto creator = std::make_shared<StackCopy>();
  if (u.thread_id && CreatorStackOf(u.thread_id, *creator)) known.CreatorStack = std::move(creator);
  return known;
}

namespace {

bool ToReportRoutine(const UnhandledException& u) {
  return ReportRoutine(u.exception, u.address, u.language, NotifyParamsOf(u));
}

}  // namespace

void InstallInterception(int step) noexcept {
  // Steps 1 and 2 (the run-time library's handler table and unit table) have no counterpart in this
  // runtime; 3 and 4 (final procedures, raise and thread hooks) are installed together.
  if (step != 3) return;
  try {
    SetReportRoutine(&ToReportRoutine);
    InstallExceptionHooks();
    InstallHttpExtensionHook();
  } catch (...) {
    // A hook that cannot be placed leaves the others working.
  }
}

void RemoveInterception() noexcept {
  try {
    RemoveExceptionHooks();
  } catch (...) {
  }
  SetReportRoutine(nullptr);
}

}  // namespace sondrel
