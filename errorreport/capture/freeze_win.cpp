#include "errorreport/capture/freeze_win.h"

#include <memory>
#include <mutex>
#include <vector>

#include "errorreport/capture/intercept_win.h"
#include "errorreport/capture/thread_track_win.h"
#include "errorreport/delivery/report_options.h"

namespace sondrel {
namespace {

std::atomic<bool> g_framework{false};
std::atomic<HWND> g_framework_main{nullptr};

struct FindState {
  DWORD process;
  HWND found;
};

BOOL CALLBACK ConsiderWindow(HWND w, LPARAM p) {
  auto* s = reinterpret_cast<FindState*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != s->process) return TRUE;
  const HWND owner = GetWindow(w, GW_OWNER);
  const LONG ex = GetWindowLongA(w, GWL_EXSTYLE);
  TopWindowFacts facts;
  facts.visible = IsWindowVisible(w) != FALSE;
  facts.owned = owner != nullptr && owner != GetDesktopWindow();
  facts.tool_window = (ex & WS_EX_TOOLWINDOW) != 0;
  facts.app_window = (ex & WS_EX_APPWINDOW) != 0;
  if (!IsMainWindowCandidate(facts)) return TRUE;
  s->found = w;
  return FALSE;
}

}  // namespace

TFreezeThread::~TFreezeThread() {
  Terminate();
  WaitFor();
}

void SetFrameworkMainWindow(HWND window) noexcept {
  g_framework_main = window;
  g_framework = true;
}

HWND TFreezeThread::FindMainWindow() const {
  if (g_framework) {
    const HWND w = g_framework_main;
    return w && IsWindowVisible(w) ? w : nullptr;
  }
  FindState s{GetCurrentProcessId(), nullptr};
  EnumWindows(&ConsiderWindow, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

void TFreezeThread::Execute() {
  HWND window = nullptr;
  while (!Terminated() && !(window = FindMainWindow())) Sleep(kFreezeProbeMs);
  FreezeCounter counter;
  while (!Terminated()) {
    DWORD_PTR ignored = 0;
    const bool answered =
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, kFreezeProbeMs, &ignored) != 0;
    if (!answered && IsWindow(window)) {
      counter.ProbeTimedOut(true);
    } else {
      for (int i = 0; i < kFreezeIdlePauses && !Terminated(); ++i) Sleep(kFreezeProbeMs);
      counter.Answered();
    }
    if (counter.Due(settings_.seconds ? settings_.seconds() : 0)) {
      ReportFreeze();
      counter.ReportDone();
    }
  }
}

void TFreezeThread::ReportFreeze() {
  // The main thread is held only while its registers and stack are copied: suspended inside the heap
  // or another lock, it would otherwise block the report that needs the same lock.
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  auto stack = std::make_shared<StackCopy>();
  // The copy's buffer is allocated before the main thread is held: an allocation while it is suspended
  // inside the heap would wait for a lock that thread holds, for ever.
  stack->bytes.reserve(kStackCopyLimit);
  if (SuspendThread(settings_.main_thread) == static_cast<DWORD>(-1)) return;
  const bool have = GetThreadContext(settings_.main_thread, &context) && context.Eip != 0 && context.Esp != 0;
  if (have) CopyReadableStack(*stack, context.Esp, settings_.main_stack_top);
  // Not through the program's own ResumeThread, which the reporter hooks: the hook copies this thread's
  // stack to the heap and takes the thread list's lock before it resumes, and the main thread, still
  // held, may own either lock. That wait never ended.
  ResumeThreadDirect(settings_.main_thread);
  if (!have) return;
  UnhandledException u;
  u.exception = std::make_exception_ptr(
      EFrozenApplication(settings_.message ? settings_.message() : "The application seems to be frozen."));
  u.address = context.Eip;
  // No language exception either: the address is the instruction the main thread was at, not the
  // return address of a raise call.
  u.language = false;
  u.context = &context;
  u.stack_pointer = context.Esp;
  u.stack_top = settings_.main_stack_top;
  u.stack = std::move(stack);
  u.thread_id = settings_.main_thread_id;
  ReportUnhandled(u);
  ++reports_;
}

namespace {

// Never destroyed by the runtime: the watchdog is stopped by the reporter's own finalisation, which
// runs after every other static object of the program is gone, and a static destructor of its own
// would stop it earlier, out of that order.
struct Watchdogs {
  std::mutex lock;
  std::unique_ptr<TFreezeThread> running;
  // Told to stop from their own thread; freed once they have ended.
  std::vector<std::unique_ptr<TFreezeThread>> retired;
};
Watchdogs& W() {
  static auto* w = new Watchdogs;
  return *w;
}

}  // namespace

void StartFreezeWatchdog() {
  std::lock_guard<std::mutex> guard(W().lock);
  if (W().running) return;
  FreezeSettings s;
  s.seconds = [] { return HasCurrentReportOptions() ? CurrentReportOptions().FreezeSeconds() : 60; };
  s.message = [] {
    return HasCurrentReportOptions() ? CurrentReportOptions().FreezeMessage()
                                     : std::string("The application seems to be frozen.");
  };
  s.main_thread = MainThreadHandle();
  s.main_thread_id = MainThreadId();
  s.main_stack_top = MainStackTop();
  if (!s.main_thread) return;
  W().running = std::make_unique<TFreezeThread>(std::move(s));
  W().running->Start();
}

namespace {

std::vector<std::unique_ptr<TFreezeThread>> TakeWatchdogs() {
  std::lock_guard<std::mutex> guard(W().lock);
  std::vector<std::unique_ptr<TFreezeThread>> all = std::move(W().retired);
  W().retired.clear();
  if (W().running) all.push_back(std::move(W().running));
  return all;
}

}  // namespace

void KillFreezeWatchdog() {
  for (auto& w : TakeWatchdogs()) {
    w->Terminate();
    TerminateThread(w->Handle(), 1);
  }  // each is freed here; its thread has ended
}

void StopFreezeWatchdog() {
  std::vector<std::unique_ptr<TFreezeThread>> stopping;
  {
    std::lock_guard<std::mutex> guard(W().lock);
    if (W().running) W().running->Terminate();
    if (W().running && W().running->ThreadID() == GetCurrentThreadId()) {
      // A handler of this watchdog's own report: waiting here would wait for ourselves.
      W().retired.push_back(std::move(W().running));
      return;
    }
    if (W().running) stopping.push_back(std::move(W().running));
    auto& r = W().retired;
    for (auto it = r.begin(); it != r.end();) {
      if ((*it)->ThreadID() == GetCurrentThreadId()) {
        ++it;
        continue;
      }
      stopping.push_back(std::move(*it));
      it = r.erase(it);
    }
  }
  stopping.clear();  // waits for the threads, outside the lock
}

bool FreezeWatchdogRunning() noexcept {
  std::lock_guard<std::mutex> guard(W().lock);
  return W().running != nullptr;
}

}  // namespace sondrel
