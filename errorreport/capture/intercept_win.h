#pragma once
// Interception: puts the reporter in the path of every exception of the process. Language throws
// are seen through the wrapped throw routine (register context and stack copied at the throw), a
// vectored handler turns processor faults in the program's code into language exceptions at the
// faulting instruction, and the terminate handler with the unhandled-exception filter catch what no
// code catches. What goes unhandled reaches the report routine the reporter registers.
#include <windows.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <typeinfo>
#include <type_traits>

#include "errorreport/capture/intercept.h"

namespace sondrel {

// What the calling thread's last raise left behind.
struct RaiseSnapshot {
  const void* object = nullptr;           // the thrown object, as an exception_ptr to it holds it
  const std::type_info* type = nullptr;   // its type, as the raise named it
  std::uint32_t frees_before = 0;         // exception objects freed in the process before the raise
  DWORD last_error = 0;                   // the raising code's last system error
  bool language = true;                   // false for a translated system exception
  std::uint32_t address = 0;  // return address of the raise call; the fault address for a fault
  CONTEXT context{};          // ContextFlags is CONTEXT_FULL once filled
  std::uint32_t stack_pointer = 0;
  std::uint32_t stack_top = 0;
  // The stack from stack_pointer up as it was at the raise: for a fault the used stack (at most
  // kStackCopyLimit bytes); for a throw a small window, extended when the unwinding has found the handler
  // up to the handler's frame, which with everything above it stays live. Shared with a report that is
  // still reading it, so that a later raise in the same thread takes a new buffer.
  std::shared_ptr<StackCopy> stack;
};

// Gives the thread's last system error back when it goes out of scope: the interception and the report
// must leave it as the failing code had it. Construct it before any thread-local lookup, which resets it.
class KeepLastError {
 public:
  KeepLastError() noexcept : code_(GetLastError()) {}
  explicit KeepLastError(DWORD code) noexcept : code_(code) {}
  ~KeepLastError() { SetLastError(code_); }
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;

 private:
  DWORD code_;
};

// The address of the object an exception_ptr refers to (null for an empty one).
const void* ExceptionObject(const std::exception_ptr& e) noexcept;
// The calling thread's snapshot of the raise of e, or null when its last raise was of another object.
// An object freed since the raise and another one made at the same address later (without a raise in
// this thread) does not match: the snapshot's type must be e's, and no exception object at that address
// may have been freed after the snapshot was taken.
const RaiseSnapshot* FindRaiseSnapshot(const std::exception_ptr& e) noexcept;
// Forgets the calling thread's snapshot (its report is over). The copy's buffer is kept for the next
// raise unless a report still holds it.
void ClearRaiseSnapshot() noexcept;

// An exception about to go unhandled, as the hooks hand it to the reporter.
struct UnhandledException {
  std::exception_ptr exception;
  std::uint32_t address = 0;
  bool language = true;
  const CONTEXT* context = nullptr;  // null: take it from nowhere (no registers in the report)
  std::uint32_t stack_pointer = 0;   // 0: the caller's own stack position
  std::uint32_t stack_top = 0;       // 0: the thread's own stack top
  std::shared_ptr<const StackCopy> stack;  // null: walk the live stack
  DWORD thread_id = 0;
};

// Fills u's address, language flag, context and stack from the calling thread's snapshot of the raise of
// e; false (u unchanged) when no snapshot belongs to e.
bool FillFromRaiseSnapshot(const std::exception_ptr& e, UnhandledException& u) noexcept;

// The report routine; true tells the caller to run its own default handling. Until one is set, the
// hooks only end the thread or program as they would after a report.
using ReportSink = bool (*)(const UnhandledException&);
void SetReportRoutine(ReportSink routine) noexcept;

// Hands an exception to the report routine as it is (the watchdog and the final procedures use it).
bool ReportUnhandled(const UnhandledException& u) noexcept;

// Hands an exception caught at a boundary that stands for "unhandled" (a thread's top level, a window
// procedure, the terminate handler) to the report routine, with the context and stack its snapshot
// took at the raise when the snapshot is of this exception. Never raises.
bool ReportCaughtException(const std::exception_ptr& e) noexcept;

// Installs the vectored handler, the terminate handler, the unhandled-exception filter and the
// thread hooks of thread_track_win.h, and lets the reporter's options start and stop the freeze
// watchdog (starting it now when they say so); reference-counted. The installing thread is taken as the main
// thread.
void InstallExceptionHooks();
void RemoveExceptionHooks();
// The thread that installed the interception: its identifier, a handle to it (suspend and context
// access; owned by the interception) and its stack top, all taken at installation.
DWORD MainThreadId() noexcept;
HANDLE MainThreadHandle() noexcept;
std::uint32_t MainStackTop() noexcept;

// The upper end of the calling thread's stack (from its thread block).
inline std::uint32_t CurrentStackTop() noexcept {
  std::uint32_t top;
  asm volatile("movl %%fs:4, %0" : "=r"(top));
  return top;
}

// Copies the readable part of a stack from sp up to top, at most kStackCopyLimit bytes; a page that is
// gone ends the copy there instead of faulting.
void CopyReadableStack(StackCopy& copy, std::uint32_t sp, std::uint32_t top);

// Runs call(context) so that a processor fault inside code that is not the program's (a system
// library called from it, such as strlen on a bad pointer in the C runtime) and that no handler of
// that code takes comes out of it as the translated exception, as a fault in the program's own code
// does, instead of ending the program at the unhandled-exception filter. Code that is not the
// program's cannot be unwound frame by frame,
// so the frames between the fault and this call are abandoned (their destructors do not run). Meant
// for the boundaries that catch everything: window procedures, event handlers, the report worker.
void RunCatchingForeignFaults(void (*call)(void*), void* context);
template <class F>
void CatchForeignFaults(F&& f) {
  using Fn = std::remove_reference_t<F>;
  RunCatchingForeignFaults([](void* p) { (*static_cast<Fn*>(p))(); }, const_cast<void*>(static_cast<const void*>(&f)));
}

// Ends the calling thread with exit code 1, or the process when it is the main thread.
[[noreturn]] void EndThreadOrProgram() noexcept;

}  // namespace sondrel
