#include "errorreport/capture/report_interception_win.h"

#include <windows.h>

#include <exception>

#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/intercept_win.h"
#include "errorreport/capture/report_system_win.h"
#include "errorreport/delivery/web_output_win.h"

// The manager's interception points, served by the hooks of intercept_win.h: what they catch reaches
// the manager's report routine with the registers and the stack of the raise.
namespace sondrel {
namespace {

// The call stack is found by scanning the stack's values for return addresses, so the scan can read
// them from a copy: the stack as it was at the raise (or, when the hooks had no copy, as it is now),
// followed by the copy of the creator's stack when the thread was started while the hooks were in, so
// that the creator's rows follow the thread's own.
bool ToReportRoutine(const UnhandledException& u) {
  const StackCopy walk = StackToWalk(u);
  TExceptNotifyParams known;
  if (u.context) known.Context = RegistersOf(*u.context);
  known.ThreadId = u.thread_id;
  if (!walk.bytes.empty()) {
    known.StackPointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(walk.bytes.data()));
    known.StackTop = known.StackPointer + static_cast<uint32_t>(walk.bytes.size());
  }
  return ReportRoutine(u.exception, u.address, u.language, known);
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
