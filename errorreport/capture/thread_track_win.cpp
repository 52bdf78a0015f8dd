#include "errorreport/capture/thread_track_win.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "errorreport/capture/CodeHook_win.h"
#include "errorreport/capture/external_exception.h"
#include "errorreport/capture/intercept_win.h"

namespace sondrel {
namespace {

struct TReportThreadEntry {
  DWORD id = 0;
  HANDLE handle = nullptr;
  LPTHREAD_START_ROUTINE start = nullptr;
  void* parameter = nullptr;
  StackCopy creator_stack;
  std::unique_ptr<THookThreadExecute> wrapper;
};

// The thread list and its own lock; the hooks, the thread wrapper and the report worker take it.
class TReportThreadsList {
 public:
  TReportThreadsList() { InitializeCriticalSection(&lock_); }
  void Lock() { EnterCriticalSection(&lock_); }
  void Unlock() { LeaveCriticalSection(&lock_); }
  std::vector<std::unique_ptr<TReportThreadEntry>> entries;

 private:
  CRITICAL_SECTION lock_;
};

TReportThreadsList& Threads() {
  static auto* list = new TReportThreadsList;  // never destroyed: threads may end during process exit
  return *list;
}

struct ListLock {
  ListLock() { Threads().Lock(); }
  ~ListLock() { Threads().Unlock(); }
};

using CreateThreadFn = decltype(&CreateThread);
using ResumeThreadFn = decltype(&ResumeThread);
using ExitThreadFn = decltype(&ExitThread);
CreateThreadFn g_create = &CreateThread;
ResumeThreadFn g_resume = &ResumeThread;
ExitThreadFn g_exit = &ExitThread;
std::atomic<bool> g_active{false};
int g_references = 0;

// What a report shows of where a thread was started are the frames nearest the creating call; copying
// the creator's whole used stack (up to 1 MB) made every thread creation and every resume cost as much as
// the creator's stack is deep. The window is copied before the thread list's lock is taken, so that no
// other thread waits for the copy.
constexpr std::uint32_t kCreatorStackWindow = 32 * 1024;

// The calling thread's stack from this function's frame up, at most kCreatorStackWindow bytes.
[[gnu::noinline]] StackCopy CopyCreatorStack() {
  StackCopy copy;
  const auto sp = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
  const auto top = CurrentStackTop();
  copy.base = sp;
  if (top <= sp) return copy;
  const auto* from = reinterpret_cast<const std::uint8_t*>(static_cast<uintptr_t>(sp));
  copy.bytes.assign(from, from + std::min(top - sp, kCreatorStackWindow));
  return copy;
}

DWORD WINAPI ThreadStartWrapper(void* p) noexcept {
  auto* entry = static_cast<TReportThreadEntry*>(p);
  const LPTHREAD_START_ROUTINE start = entry->start;
  void* const parameter = entry->parameter;
  DWORD result = 0;
  try {
    result = start(parameter);
  } catch (...) {
    const std::exception_ptr e = std::current_exception();
    ReportCaughtException(e);
    // A fault ends its thread with exit code 1; a language exception as the thread's own return would.
    result = 0;
    try {
      std::rethrow_exception(e);
    } catch (const EExternalException&) {
      result = 1;
    } catch (...) {
    }
  }
  ForgetThread(GetCurrentThreadId());
  return result;
}

HANDLE WINAPI HookCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack_size, LPTHREAD_START_ROUTINE start,
                               LPVOID parameter, DWORD flags, LPDWORD thread_id) {
  if (!g_active) return g_create(security, stack_size, start, parameter, flags, thread_id);
  auto owned = std::make_unique<TReportThreadEntry>();
  TReportThreadEntry* entry = owned.get();
  entry->start = start;
  entry->parameter = parameter;
  LPTHREAD_START_ROUTINE run = &ThreadStartWrapper;
  void* argument = entry;
  if (start == &TThread::ThreadProc && parameter) {
    entry->wrapper = std::make_unique<THookThreadExecute>(static_cast<TThread*>(parameter));
    WrapFrameworkThread(static_cast<TThread*>(parameter), entry->wrapper.get());
    run = start;
    argument = parameter;
  }
  {
    ListLock lock;
    Threads().entries.push_back(std::move(owned));
  }
  DWORD id = 0;
  // Always suspended first: the entry must hold the identifier before the thread can end or fault.
  HANDLE h = g_create(security, stack_size, run, argument, flags | CREATE_SUSPENDED, &id);
  if (!h) {
    const DWORD error = GetLastError();
    ListLock lock;
    auto& v = Threads().entries;
    v.erase(std::find_if(v.begin(), v.end(), [entry](const auto& e) { return e.get() == entry; }));
    SetLastError(error);
    return nullptr;
  }
  if (thread_id) *thread_id = id;
  const bool resume = (flags & CREATE_SUSPENDED) == 0;
  StackCopy creator = resume ? CopyCreatorStack() : StackCopy{};
  {
    ListLock lock;
    entry->id = id;
    entry->handle = h;
    if (resume) entry->creator_stack = std::move(creator);
  }
  if (resume) g_resume(h);
  return h;
}

DWORD WINAPI HookResumeThread(HANDLE thread) {
  if (g_active) {
    const DWORD id = GetThreadId(thread);
    StackCopy creator = CopyCreatorStack();
    ListLock lock;
    for (auto& e : Threads().entries)
      if (e->handle == thread || (id != 0 && e->id == id)) {
        e->creator_stack = std::move(creator);
        break;
      }
  }
  return g_resume(thread);
}

void WINAPI HookExitThread(DWORD code) {
  ForgetThread(GetCurrentThreadId());
  g_exit(code);
}

}  // namespace

void WrapFrameworkThread(TThread* thread, THookThreadExecute* wrapper) noexcept { thread->hook_ = wrapper; }

TThread::TThread() {
  handle_ = CreateThread(nullptr, 0, &ThreadProc, this, CREATE_SUSPENDED, &id_);
  if (!handle_) RaiseLastOSError();
}

TThread::~TThread() {
  if (!handle_) return;
  Terminate();
  if (!started_) {
    // Never started: the derived object is gone already, so the thread ends without Execute.
    cancelled_ = true;
    started_ = true;
    ResumeThread(handle_);
  }
  WaitForSingleObject(handle_, INFINITE);
  CloseHandle(handle_);
}

void TThread::Start() {
  if (started_) return;
  started_ = true;
  ResumeThread(handle_);
}

DWORD TThread::WaitFor() {
  WaitForSingleObject(handle_, INFINITE);
  DWORD code = 0;
  GetExitCodeThread(handle_, &code);
  return code;
}

DWORD WINAPI TThread::ThreadProc(void* p) noexcept {
  auto* self = static_cast<TThread*>(p);
  try {
    if (!self->cancelled_) {
      if (self->hook_) self->hook_->Run();
      else self->Execute();
    }
  } catch (...) {
    self->fatal_ = std::current_exception();
  }
  const DWORD result = self->return_value_;
  self->finished_ = true;
  ForgetThread(GetCurrentThreadId());
  return result;
}

void THookThreadExecute::Run() {
  try {
    thread_->Execute();
  } catch (...) {
    thread_->fatal_ = std::current_exception();
    ReportCaughtException(thread_->fatal_);
  }
}

void InstallThreadHooks() {
  if (g_references++ > 0) return;
  CodeHookInitialize();
  const std::vector<std::string> modules = {"", "msvcrt.dll"};
  void* previous = nullptr;
  if (ApiHookByName(modules, "kernel32.dll", true, &previous, reinterpret_cast<void*>(&HookCreateThread),
                    "CreateThread"))
    g_create = reinterpret_cast<CreateThreadFn>(previous);
  if (ApiHookByName(modules, "kernel32.dll", true, &previous, reinterpret_cast<void*>(&HookResumeThread),
                    "ResumeThread"))
    g_resume = reinterpret_cast<ResumeThreadFn>(previous);
  if (ApiHookByName(modules, "kernel32.dll", true, &previous, reinterpret_cast<void*>(&HookExitThread),
                    "ExitThread"))
    g_exit = reinterpret_cast<ExitThreadFn>(previous);
  g_active = true;
}

void RemoveThreadHooks() {
  if (g_references == 0 || --g_references > 0) return;
  g_active = false;
  CodeHookFinalize();
  // The entries stay: a thread created suspended may still be resumed and start from its entry, and a
  // running one still reads it or its wrapper. Each is freed when its thread ends.
}

DWORD ResumeThreadDirect(HANDLE thread) noexcept { return g_resume(thread); }

void ForgetThread(DWORD thread_id) noexcept {
  std::unique_ptr<TReportThreadEntry> gone;  // destroyed outside the lock
  ListLock lock;
  auto& v = Threads().entries;
  auto it = std::find_if(v.begin(), v.end(), [thread_id](const auto& e) { return e->id == thread_id; });
  if (it == v.end()) return;
  gone = std::move(*it);
  v.erase(it);
}

bool IsTrackedThread(DWORD thread_id) noexcept {
  ListLock lock;
  const auto& v = Threads().entries;
  return std::any_of(v.begin(), v.end(), [thread_id](const auto& e) { return e->id == thread_id; });
}

bool CreatorStackOf(DWORD thread_id, StackCopy& out) {
  ListLock lock;
  for (const auto& e : Threads().entries)
    if (e->id == thread_id && !e->creator_stack.bytes.empty()) {
      out = e->creator_stack;
      return true;
    }
  return false;
}

}  // namespace sondrel
