#include "errorreport/capture/report_interception_win.h"

#include <windows.h>

#include <exception>

#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/external_exception.h"
#include "errorreport/capture/report_system_win.h"

// The final unhandled-exception procedures: an exception that nothing caught, in any thread, reaches
// the report routine before the thread or the program ends.
namespace sondrel {
namespace {

LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;
std::terminate_handler g_previous_terminate = nullptr;
bool g_installed = false;
DWORD g_main_thread = 0;

[[noreturn]] void EndThread() {
  if (GetCurrentThreadId() == g_main_thread) ExitProcess(1);
  ExitThread(1);
}

LONG WINAPI UnhandledFilter(EXCEPTION_POINTERS* info) noexcept {
  if (!info || !info->ExceptionRecord) return EXCEPTION_CONTINUE_SEARCH;
  const EXCEPTION_RECORD& rec = *info->ExceptionRecord;
  SystemExceptionFacts facts;
  facts.code = rec.ExceptionCode;
  facts.address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(rec.ExceptionAddress));
  facts.parameter_count = rec.NumberParameters;
  for (DWORD i = 0; i < 2 && i < rec.NumberParameters; ++i)
    facts.parameters[i] = static_cast<uint32_t>(rec.ExceptionInformation[i]);
  TExceptNotifyParams known;
  if (info->ContextRecord) {
    known.Context = RegistersOf(*info->ContextRecord);
    known.StackPointer = info->ContextRecord->Esp;
  }
  ReportRoutine(MakeExternalException(facts), facts.address, false, known);
  EndThread();
}

[[noreturn]] void TerminateHandler() noexcept {
  // After an uncaught throw the throwing frames are still on the stack, so the call stack taken
  // from here shows them.
  std::exception_ptr e = std::current_exception();
  // Only the raise itself knows the throw site; here the call of this handler stands for it.
  if (e)
    ReportRoutine(e, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_return_address(0))), true,
                  TExceptNotifyParams{});
  EndThread();
}

}  // namespace

void InstallInterception(int step) noexcept {
  if (step != 3 || g_installed) return;
  g_main_thread = GetCurrentThreadId();
  g_previous_filter = SetUnhandledExceptionFilter(UnhandledFilter);
  g_previous_terminate = std::set_terminate(TerminateHandler);
  g_installed = true;
}

void RemoveInterception() noexcept {
  if (!g_installed) return;
  SetUnhandledExceptionFilter(g_previous_filter);
  std::set_terminate(g_previous_terminate);
  g_installed = false;
}

}  // namespace sondrel
