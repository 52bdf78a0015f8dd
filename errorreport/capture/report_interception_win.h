#pragma once
// The interception points of the reporter, placed in steps by the manager's installation and removed
// by its finalisation: 1 before the module list exists, 2 once the options are known, 3 the final
// unhandled-exception procedures, 4 the hooks on the system's raise, unwind and thread routines.
#include "errorreport/capture/intercept_win.h"
#include "errorreport/capture/report_worker.h"

namespace sondrel {

void InstallInterception(int step) noexcept;
void RemoveInterception() noexcept;

// What the report routine is told of an exception the hooks or a boundary caught: its registers, the
// faulting thread's stack pointer, stack top and stack copy, and the thread.
TExceptNotifyParams NotifyParamsOf(const UnhandledException& u);

}  // namespace sondrel
