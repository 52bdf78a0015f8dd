#pragma once
// Thread tracking: every thread created while the reporter is installed (through the program's or the
// C runtime's CreateThread, so std::thread and _beginthreadex too) starts inside a catch-all that
// reports what escapes it, and keeps a copy of its creator's stack so that its report can show where
// it was started. Also the framework's thread class.
#include <windows.h>

#include <exception>
#include <memory>

#include "errorreport/capture/intercept.h"

namespace sondrel {

class THookThreadExecute;

// The framework's thread class, over CreateThread. The thread is created suspended by the
// constructor (so that it cannot run before the derived object is complete) and runs Execute once
// Start is called. An exception escaping Execute ends the thread and is kept as FatalException; while
// the reporter is installed it is reported first (see THookThreadExecute).
class TThread {
 public:
  TThread();
  // Asks the thread to stop and waits for it. A derived class whose Execute uses its own members
  // calls Terminate and WaitFor in its own destructor, before those members are gone.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  void Terminate() noexcept { terminated_ = true; }
  // Waits for the end of the thread; returns its exit code.
  DWORD WaitFor();
  bool Terminated() const noexcept { return terminated_; }
  bool Finished() const noexcept { return finished_; }
  HANDLE Handle() const noexcept { return handle_; }
  DWORD ThreadID() const noexcept { return id_; }
  std::exception_ptr FatalException() const { return fatal_; }

  // The thread procedure every TThread starts on; the thread hooks recognise threads by it.
  static DWORD WINAPI ThreadProc(void* self) noexcept;

 protected:
  virtual void Execute() = 0;
  DWORD return_value_ = 0;

 private:
  friend class THookThreadExecute;
  friend void WrapFrameworkThread(TThread* thread, THookThreadExecute* wrapper) noexcept;
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
  bool started_ = false;
  volatile bool cancelled_ = false;
  volatile bool terminated_ = false;
  volatile bool finished_ = false;
  std::exception_ptr fatal_;
  THookThreadExecute* hook_ = nullptr;
};

// Runs a framework thread's Execute inside a catch-all that hands what escapes it to the reporter.
class THookThreadExecute {
 public:
  explicit THookThreadExecute(TThread* thread) : thread_(thread) {}
  void Run();

 private:
  TThread* thread_;
};

// Hooks CreateThread, ResumeThread and ExitThread in the program's and the C runtime's import
// tables; reference-counted with the code-patching unit.
void InstallThreadHooks();
void RemoveThreadHooks();

// Resumes a thread without what the ResumeThread hook adds (a copy of the caller's stack, the thread
// list's lock). For a caller that holds another thread suspended: that thread may hold the heap's or
// the list's lock, and nothing may wait for either until it runs again.
DWORD ResumeThreadDirect(HANDLE thread) noexcept;

// Drops the thread's list entry (when it ends).
void ForgetThread(DWORD thread_id) noexcept;
// True when the thread was created while the hooks were installed and has not ended.
bool IsTrackedThread(DWORD thread_id) noexcept;
// Copies the stack the thread's creator had when it started the thread; false when none was kept.
bool CreatorStackOf(DWORD thread_id, StackCopy& out);

}  // namespace sondrel
