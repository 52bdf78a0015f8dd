// A child program that raises on purpose, one way per command-line word, with the interception
// installed and a report routine that prints one line per report: the exception's class, whether it
// is a language exception, the thread, the procedure holding the context's instruction pointer, and
// the known procedures whose return addresses lie on the reported stack and on the creator's stack.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "errorreport/capture/freeze_win.h"
#include "errorreport/capture/intercept_win.h"
#include "errorreport/capture/thread_track_win.h"

using namespace sondrel;

#define PROC __attribute__((noinline, noipa))

namespace {

volatile int g_zero = 0;
int* volatile g_null = nullptr;

PROC void Thrower() {
  asm volatile("");
  throw std::runtime_error("thrown on purpose");
}
PROC void CallsThrower() {
  Thrower();
  asm volatile("");
}
PROC void Faulter() {
  *g_null = 1;
  asm volatile("");
}
PROC int Divider() {
  const int r = 100 / g_zero;
  asm volatile("");
  return r;
}
PROC int Recurse(int n) {
  volatile char pad[256];
  pad[0] = static_cast<char>(n);
  const int r = (n >= 0x7FFFFFF0 - g_zero ? 0 : Recurse(n + 1)) + pad[0];
  asm volatile("");
  return r;
}
PROC DWORD WINAPI ThreadBody(void*) {
  CallsThrower();
  return 0;
}
PROC DWORD WINAPI FaultBody(void*) {
  Faulter();
  return 0;
}
volatile DWORD g_overflowing_thread = 0;
PROC DWORD WINAPI OverflowBody(void*) {
  g_overflowing_thread = GetCurrentThreadId();
  return static_cast<DWORD>(Recurse(0));
}
PROC void Blocker(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<LONG>(GetTickCount() - end) < 0) Sleep(10);
  asm volatile("");
}
void* volatile g_sink;
PROC void HeapBlocker(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<LONG>(GetTickCount() - end) < 0) {
    for (int i = 0; i < 1000; ++i) {
      g_sink = std::malloc(static_cast<std::size_t>(16 + i));
      std::free(g_sink);
      g_sink = HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(16 + i));
      HeapFree(GetProcessHeap(), 0, g_sink);
    }
  }
  asm volatile("");
}
// Spends nearly all its time inside the reporter's thread-list lock: with many threads on the list each
// look-up holds it for a whole scan, so the watchdog almost always stops this thread inside it.
PROC void ListBlocker(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  int tracked = 0;
  while (static_cast<LONG>(GetTickCount() - end) < 0)
    for (int i = 0; i < 1000; ++i) tracked += IsTrackedThread(0) ? 1 : 0;
  g_sink = reinterpret_cast<void*>(static_cast<uintptr_t>(tracked));
  asm volatile("");
}
class Worker : public TThread {
 protected:
  void Execute() override { CallsThrower(); }
};
PROC void StartsWorker() {
  Worker w;
  w.Start();
  w.WaitFor();
  std::printf("FATAL=%s\n", w.FatalException() ? ExceptionMessage(w.FatalException()).c_str() : "none");
}
PROC void StartsStdThread() {
  std::thread t([] {
    std::printf("TRACKED=%d\n", IsTrackedThread(GetCurrentThreadId()) ? 1 : 0);
    std::fflush(stdout);
    CallsThrower();
  });
  t.join();
}

struct Known {
  const char* name;
  const void* address;
};
const Known kKnown[] = {{"Thrower", reinterpret_cast<const void*>(&Thrower)},
                        {"CallsThrower", reinterpret_cast<const void*>(&CallsThrower)},
                        {"Faulter", reinterpret_cast<const void*>(&Faulter)},
                        {"Divider", reinterpret_cast<const void*>(&Divider)},
                        {"Recurse", reinterpret_cast<const void*>(&Recurse)},
                        {"ThreadBody", reinterpret_cast<const void*>(&ThreadBody)},
                        {"FaultBody", reinterpret_cast<const void*>(&FaultBody)},
                        {"OverflowBody", reinterpret_cast<const void*>(&OverflowBody)},
                        {"StartsWorker", reinterpret_cast<const void*>(&StartsWorker)},
                        {"StartsStdThread", reinterpret_cast<const void*>(&StartsStdThread)},
                        {"Blocker", reinterpret_cast<const void*>(&Blocker)},
                        {"HeapBlocker", reinterpret_cast<const void*>(&HeapBlocker)},
                        {"ListBlocker", reinterpret_cast<const void*>(&ListBlocker)}};

// The known procedure that holds address: the nearest start below it, no more than 0x300 bytes away
// (these procedures are small).
const char* ProcedureAt(std::uint32_t a) {
  const Known* best = nullptr;
  for (const Known& k : kKnown) {
    const auto start = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(k.address));
    if (start <= a && a - start < 0x300 &&
        (!best || start > static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(best->address))))
      best = &k;
  }
  return best ? best->name : nullptr;
}

std::string ProceduresOn(const std::uint8_t* bytes, std::size_t size) {
  std::vector<std::string> seen;
  for (std::size_t i = 0; i + 4 <= size; i += 4) {
    std::uint32_t v;
    std::memcpy(&v, bytes + i, 4);
    // A return address lies just after a call; the call itself is inside the procedure.
    if (const char* name = ProcedureAt(v - 1)) {
      bool again = false;
      for (const auto& s : seen) again = again || s == name;
      if (!again) seen.push_back(name);
    }
  }
  std::string out;
  for (const auto& s : seen) out += (out.empty() ? "" : ",") + s;
  return out;
}

bool PrintReport(const UnhandledException& u) {
  std::string stack;
  if (u.stack) {
    stack = ProceduresOn(u.stack->bytes.data(), u.stack->bytes.size());
  } else if (u.stack_pointer) {
    std::vector<std::uint8_t> live(256 * 1024);
    SIZE_T got = 0;
    const std::uint32_t top = u.stack_top ? u.stack_top : u.stack_pointer + 4096;
    const std::size_t want = std::min<std::size_t>(live.size(), top - u.stack_pointer);
    ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<void*>(static_cast<uintptr_t>(u.stack_pointer)),
                      live.data(), want, &got);
    stack = ProceduresOn(live.data(), got);
  }
  StackCopy creator;
  std::string creator_names = CreatorStackOf(u.thread_id, creator)
                                  ? ProceduresOn(creator.bytes.data(), creator.bytes.size())
                                  : std::string("none");
  const char* eip = u.context ? ProcedureAt(u.context->Eip) : nullptr;
  std::printf("REPORT class=%s lang=%d thread=%s eip=%s stack=%s creator=%s\n",
              ExceptionClassName(u.exception).c_str(), u.language ? 1 : 0,
              u.thread_id == MainThreadId() ? "main" : "other", eip ? eip : "-", stack.c_str(),
              creator_names.c_str());
  // The overflow is reported from another thread; the report names the one that overflowed.
  if (g_overflowing_thread) std::printf("NAMES_THE_OVERFLOWING_THREAD=%d\n", u.thread_id == g_overflowing_thread);
  std::fflush(stdout);
  return false;
}

// What a window procedure's boundary does: catch everything and hand it on.
template <class F>
void Boundary(F f) {
  try {
    f();
  } catch (...) {
    ReportCaughtException(std::current_exception());
  }
}

LRESULT CALLBACK WindowProc(HWND h, UINT m, WPARAM w, LPARAM l) noexcept {
  try {
    if (m == WM_USER) Faulter();
    if (m == WM_USER + 1) return 42;
  } catch (...) {
    ReportCaughtException(std::current_exception());
    return 0;
  }
  return DefWindowProcA(h, m, w, l);
}

void Pump(DWORD ms) {
  const DWORD end = GetTickCount() + ms;
  while (static_cast<LONG>(GetTickCount() - end) < 0) {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    Sleep(10);
  }
}

HWND MakeWindow(DWORD style) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "InterceptChild";
  RegisterClassA(&wc);
  return CreateWindowA("InterceptChild", "intercept child", style, 0, 0, 200, 100, nullptr, nullptr, wc.hInstance,
                       nullptr);
}

// A watchdog over the main thread with FreezeSeconds 2.
std::unique_ptr<TFreezeThread> StartWatchdog() {
  FreezeSettings s;
  s.seconds = [] { return 2; };
  s.message = [] { return std::string("frozen on purpose"); };
  s.main_thread = MainThreadHandle();
  s.main_thread_id = MainThreadId();
  s.main_stack_top = MainStackTop();
  auto w = std::make_unique<TFreezeThread>(std::move(s));
  w->Start();
  return w;
}

void RunThread(LPTHREAD_START_ROUTINE body, SIZE_T stack = 0) {
  HANDLE t = CreateThread(nullptr, stack, body, nullptr, stack ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0, nullptr);
  WaitForSingleObject(t, 30000);
  DWORD code = 0;
  GetExitCodeThread(t, &code);
  CloseHandle(t);
  std::printf("THREAD_EXIT=%lu\n", code);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  InstallExceptionHooks();
  SetReportRoutine(&PrintReport);
  if (mode == "caught") {
    try {
      CallsThrower();
    } catch (const std::exception& e) {
      std::printf("CAUGHT=%s\n", e.what());
    }
  } else if (mode == "thread_top") {
    RunThread(&ThreadBody);
  } else if (mode == "runs_at_once") {
    HANDLE ran = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE t = CreateThread(nullptr, 0, [](void* e) WINAPI -> DWORD { return SetEvent(e) ? 0 : 1; }, ran, 0, nullptr);
    std::printf("RAN=%d\n", WaitForSingleObject(ran, 10000) == WAIT_OBJECT_0 ? 1 : 0);
    WaitForSingleObject(t, 10000);
  } else if (mode == "tthread") {
    StartsWorker();
  } else if (mode == "stdthread") {
    StartsStdThread();
  } else if (mode == "fault_main") {
    Boundary([] { Faulter(); });
    Boundary([] { Divider(); });
  } else if (mode == "fault_thread") {
    RunThread(&FaultBody);
  } else if (mode == "window") {
    HWND w = MakeWindow(0);
    SendMessageA(w, WM_USER, 0, 0);
    std::printf("ANSWERED=%d\n", static_cast<int>(SendMessageA(w, WM_USER + 1, 0, 0)));
    DestroyWindow(w);
  } else if (mode == "overflow") {
    RunThread(&OverflowBody, 256 * 1024);
  } else if (mode == "freeze" || mode == "freeze_heap" || mode == "freeze_list") {
    // Threads that wait on the list, created suspended through the hook, make its scans long.
    std::vector<HANDLE> waiting;
    if (mode == "freeze_list")
      for (int i = 0; i < 200; ++i)
        waiting.push_back(
            CreateThread(nullptr, 0, [](void*) WINAPI -> DWORD { return 0; }, nullptr, CREATE_SUSPENDED, nullptr));
    HWND w = MakeWindow(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    auto watchdog = StartWatchdog();
    Pump(1000);
    if (mode == "freeze") {
      Blocker(3000);  // one report at 2 s; counting starts again after it
      Pump(1000);
      Blocker(1500);  // the answers in between reset the count: no report
    } else if (mode == "freeze_heap") {
      HeapBlocker(3000);  // frozen inside the heap: the report must not wait for the heap lock
    } else {
      ListBlocker(3000);  // frozen inside the thread list's lock: nor for that one
    }
    Pump(500);
    std::printf("REPORTS=%d\n", watchdog->ReportsMade());
    watchdog.reset();
    DestroyWindow(w);
    for (HANDLE t : waiting) {
      ResumeThread(t);
      WaitForSingleObject(t, 10000);
      CloseHandle(t);
    }
  } else if (mode == "resumed_after_removal") {
    // A thread created suspended while the hooks were in, resumed after they were removed.
    HANDLE ran = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE t = CreateThread(nullptr, 0, [](void* e) WINAPI -> DWORD { return SetEvent(e) ? 7 : 1; }, ran,
                            CREATE_SUSPENDED, nullptr);
    RemoveExceptionHooks();
    // Whatever the removal freed is taken again at once, and scribbled over.
    std::vector<void*> reuse;
    for (int i = 0; i < 4000; ++i) {
      const std::size_t n = 16 + static_cast<std::size_t>(i % 16) * 4;
      reuse.push_back(std::memset(std::malloc(n), 0xCC, n));
    }
    ResumeThread(t);
    DWORD code = 0;
    const bool ended = WaitForSingleObject(t, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(t, &code);
    std::printf("RESUMED ran=%d code=%lu\n", ended && WaitForSingleObject(ran, 0) == WAIT_OBJECT_0, code);
    for (void* p : reuse) std::free(p);
  } else if (mode == "uncaught") {
    CallsThrower();
  } else if (mode == "stale") {
    // A caught and freed exception's snapshot must not stand for a later object at the same address,
    // nor for an object of another type that the snapshot's address now holds.
    const void* first = nullptr;
    try {
      throw std::bad_alloc();  // no message on the heap: the next object of its size takes its place
    } catch (...) {
      first = ExceptionObject(std::current_exception());
    }
    const std::exception_ptr later = std::make_exception_ptr(std::bad_alloc());
    std::printf("SAME_ADDRESS=%d MATCHED=%d\n", ExceptionObject(later) == first, FindRaiseSnapshot(later) != nullptr);
    try {
      throw std::runtime_error("live");
    } catch (...) {
      const std::exception_ptr live = std::current_exception();
      const bool found = FindRaiseSnapshot(live) != nullptr;
      ClearRaiseSnapshot();
      std::printf("LIVE_MATCHED=%d AFTER_CLEAR=%d\n", found, FindRaiseSnapshot(live) != nullptr);
    }
  }
  std::printf("DONE\n");
  std::fflush(stdout);
  RemoveExceptionHooks();
  return 0;
}
