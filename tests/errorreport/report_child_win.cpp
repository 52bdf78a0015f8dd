// A console program that faults on purpose, one way per case, with the reporter installed. Usage:
//   report_child <case> <log file>      or, as a WinCGI program, report_child <profile> <content> <output>
// It prints what it learns (results of ExceptionManager, what handlers saw) so that the test can
// check the course, and the reporter writes the log file the test reads.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "base/exception.h"
#include "base/file.h"
#include "errorreport/capture/CodeHook_win.h"
#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/freeze_win.h"
#include "errorreport/capture/report_screenshot_win.h"
#include "errorreport/capture/report_system_win.h"
#include "errorreport/delivery/options_mapping.h"
#include "errorreport/delivery/web_output_win.h"
#include "skin/forms_win.h"

using namespace sondrel;

namespace {

volatile int g_zero = 0;
volatile int* volatile g_null = nullptr;

// The faulting functions stay out of line, so that the call stack names them.
[[gnu::noinline]] void ThrowUncaught() { throw std::runtime_error("Uncaught C++ failure"); }
[[gnu::noinline]] void FaultAccessViolation() { *g_null = 42; }
[[gnu::noinline]] int FaultDivideByZero() { return 100 / g_zero; }
[[gnu::noinline]] void ThrowFromHandler() { throw std::runtime_error("Raised in the handler"); }
[[gnu::noinline]] void ThrowInt() { throw 42; }
[[gnu::noinline]] void ThrowInThread() { throw std::runtime_error("Raised in the thread"); }

// Writes over the stack below its caller, as deep code called by a destructor does.
[[gnu::noinline]] void Scribble() {
  volatile char pad[12 * 1024];
  for (auto& c : pad) c = 0;
}
struct ScribbleOnUnwind {
  ~ScribbleOnUnwind() { Scribble(); }
};
// A throw under `levels` frames of 1 KB, each of whose cleanups overwrites the frames below it while the
// exception travels up to the window's boundary.
[[gnu::noinline]] void ThrowFromDepth(int levels) {
  const ScribbleOnUnwind scribble;
  volatile char frame[1024];
  frame[0] = 0;
  if (levels == 0) throw std::runtime_error("Raised deep in the handler");
  ThrowFromDepth(levels - 1);
  (void)frame[0];
}

// The ways an event handler fails, one window message each.
enum : UINT { kThrowInline = WM_APP + 1, kForeignFault, kAccessViolation, kThrowCall, kThrowInt, kThrowDeep };

// The C runtime's own strlen, called where the compiler cannot replace it: a fault inside a system
// library.
size_t SystemStrlen(const char* s) {
  using Fn = size_t(__cdecl*)(const char*);
  static const auto fn =
      reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("msvcrt.dll"), "strlen")));
  return fn(s);
}

class FaultyForm : public TForm {
 public:
  FaultyForm() : TForm("Faulty", 200, 100, false) {}

 protected:
  LRESULT OnMessage(UINT m, WPARAM w, LPARAM l) override {
    if (m == kThrowInline) throw std::logic_error("Handler failed in the window");
    if (m == kAccessViolation) FaultAccessViolation();
    if (m == kThrowCall) ThrowFromHandler();
    if (m == kThrowInt) ThrowInt();
    if (m == kThrowDeep) ThrowFromDepth(8);
    if (m == kForeignFault) {
      // A fault the system handles itself stays its own business.
      std::printf("probe answered=%d\n", IsBadReadPtr(nullptr, 4) ? 1 : 0);
      return static_cast<LRESULT>(SystemStrlen(nullptr));
    }
    return TForm::OnMessage(m, w, l);
  }
};

void RunWindowCase(UINT message = kThrowInline) {
  TApplication app(GetModuleHandleA(nullptr));
  app.SetTitle("Report child");
  FaultyForm form;
  SendMessageA(form.Handle(), message, 0, 0);
  std::printf("went on\n");
}

// A thread whose top level hands its exception to the manager; the report's record names the thread.
[[gnu::noinline]] void StartReportingThread() {
  DWORD reported_by = 0, id = 0;
  TReportHandler h;
  h.OnReport = [&reported_by](TReportExceptionRecord& rec, bool&) { reported_by = rec.ThreadId; };
  ReportHandlers().Add(h);
  std::thread t([&id] {
    id = GetCurrentThreadId();
    try {
      ThrowInThread();
    } catch (...) {
      ReportException(std::current_exception());
    }
  });
  t.join();
  std::printf("record names the thread=%d\n", reported_by == id && id != 0);
}

// The main window stops answering; the watchdog reports it with the main thread's registers.
void RunFreezeCase(TReportModuleOptionsEx& options) {
  std::atomic<DWORD> reported_by{0};
  TReportHandler h;
  h.OnReport = [&reported_by](TReportExceptionRecord& rec, bool&) { reported_by = rec.ThreadId; };
  ReportHandlers().Add(h);
  // A plain top-level window of the main thread, busy below: the watchdog's probe goes unanswered.
  HWND window = CreateWindowA("STATIC", "Frozen child", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  for (int i = 0; i < 20; ++i) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    Sleep(10);
  }
  options.SetFreezeSeconds(1);
  options.SetFreezeWatch(true);
  // Busy, not asleep: the instruction pointer stays in this program's code.
  const DWORD end = GetTickCount() + 6000;
  volatile unsigned spins = 0;  // stored each round, so the loop is not optimised away
  while (!reported_by && static_cast<LONG>(GetTickCount() - end) < 0) spins = spins + 1;
  const bool watching = FreezeWatchdogRunning();
  options.SetFreezeWatch(false);
  std::printf("watched=%d record names the main thread=%d\n", watching, reported_by == GetCurrentThreadId());
  DestroyWindow(window);
}

// The last system error of the faulting code survives the interception and the report.
[[gnu::noinline]] void RunLastErrorCase() {
  SetLastError(4321);
  try {
    ThrowFromHandler();
  } catch (const std::exception&) {
    std::printf("kept after a throw=%lu\n", GetLastError());
  }
  SetLastError(4322);
  ReportException(std::make_exception_ptr(std::runtime_error("Reported with an error code set")));
  std::printf("kept after a report=%lu\n", GetLastError());
}

// Handles the form's messages until done() holds.
template <class Done>
void PumpUntil(TApplication& app, Done done) {
  while (!done()) {
    app.ProcessMessages();
    Sleep(5);
  }
}

// The module names the report's worker asks for, through this program's import of the procedure; while
// `g_pausing` holds, each of them waits until the reader has read the options once: a read in the
// middle of the worker's change of its module list.
using ModuleFileNameFn = DWORD(WINAPI*)(HMODULE, LPSTR, DWORD);
ModuleFileNameFn g_module_file_name = nullptr;
std::atomic<bool> g_pausing{false};
std::atomic<DWORD> g_reader_thread{0};
std::atomic<int> g_reads_inside{0};
HANDLE g_read_wanted = CreateEventA(nullptr, FALSE, FALSE, nullptr);
HANDLE g_read_done = CreateEventA(nullptr, FALSE, FALSE, nullptr);

DWORD WINAPI PausingModuleFileName(HMODULE m, LPSTR buffer, DWORD size) {
  if (g_pausing && GetCurrentThreadId() != g_reader_thread &&
      SignalObjectAndWait(g_read_wanted, g_read_done, 5000, FALSE) == WAIT_OBJECT_0)
    ++g_reads_inside;
  return g_module_file_name(m, buffer, size);
}

// A report after a library went: the worker's refresh drops the library's record from the middle of
// its list (low in it: its preferred address is held, so it is loaded low), with a read of the options
// at every module it looks at.
void ReportAfterALibraryWent() {
  HMODULE lib = LoadLibraryA("apiset_import.dll");
  if (!lib) return;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(lib) +
                                                             reinterpret_cast<const IMAGE_DOS_HEADER*>(lib)->e_lfanew);
  const SIZE_T size = nt->OptionalHeader.SizeOfImage;
  FreeLibrary(lib);
  void* held = VirtualAlloc(lib, size, MEM_RESERVE, PAGE_NOACCESS);
  lib = LoadLibraryA("apiset_import.dll");
  ReportException(std::make_exception_ptr(std::runtime_error("Before the library went")));
  FreeLibrary(lib);
  if (held) VirtualFree(held, 0, MEM_RELEASE);
  void* real = nullptr;
  if (!ApiHookByName({""}, "kernel32.dll", true, &real, reinterpret_cast<void*>(&PausingModuleFileName),
                     "GetModuleFileNameA"))
    return;
  g_module_file_name = reinterpret_cast<ModuleFileNameFn>(real);
  g_pausing = true;
  ReportException(std::make_exception_ptr(std::runtime_error("After the library went")));
  g_pausing = false;
}

std::string LibraryMappingState(HMODULE m) {
  auto payload = ReadModuleOptionsMapping(reinterpret_cast<uintptr_t>(m));
  return payload ? std::to_string(payload->empty() ? -1 : (*payload)[0]) : std::string("none");
}

void Print(const char* what, bool value) { std::printf("%s=%d\n", what, value ? 1 : 0); }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string which = argv[1];
  std::string log = argc > 2 ? argv[2] : "";
  // A WinCGI run: the server's profile comes first, then the content and the output file.
  if (FileExists(which)) {
    which = "web";
    log = ExtractFilePath(argv[1]) + "web.rpt";
  }
  if (log.empty()) return 2;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (which == "kinds" || which == "web")
    std::printf("web=%d gui=%d cgi=%d wincgi=%d\n", IsWebApplication(), IsGuiApplication(), IsCgiApplication(),
                IsWinCgiApplication());
  if (which == "kinds") return 0;
  if (!ReporterActive()) {
    std::printf("reporter inactive\n");
    return 3;
  }
  if (which == "mapping") {
    // The library carries no block of its own, so nothing publishes its options: the mapping its
    // reporter made at installation is the one found, with nothing published yet; its finalisation
    // closes it.
    HMODULE lib = LoadLibraryA("report_forward.dll");
    std::printf("library mapping=%s", lib ? LibraryMappingState(lib).c_str() : "no library");
    // The library's reporter runs a freeze watchdog of its own; unloading it must not hang.
    auto watch = reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(lib, "WatchInLibrary")));
    std::printf(" watching=%d", watch ? watch() : -1);
    FreeLibrary(lib);
    std::printf(" after unload=%s\n", LibraryMappingState(lib).c_str());
  }
  TReportModuleOptionsEx& options = CurrentReportOptions();
  options.SetLogPath(log);

  if (which == "cpp") ThrowUncaught();
  if (which == "web") ReportException(std::make_exception_ptr(std::runtime_error("Bad <b>query</b> & more")));
  if (which == "av") FaultAccessViolation();
  if (which == "div") std::printf("%d\n", FaultDivideByZero());
  if (which == "abort") Print("abort", ReportException(std::make_exception_ptr(EAbort("Silent"))));
  if (which == "filter-silent" || which == "filter-message") {
    options.AddFilter("EConvertError", which == "filter-message" ? "Please check the number." : "");
    Print("filtered", ReportException(std::make_exception_ptr(EConvertError("'x' is not a number"))));
  }
  if (which == "window") RunWindowCase();
  if (which == "form-av") RunWindowCase(kAccessViolation);
  if (which == "form-cpp") RunWindowCase(kThrowCall);
  if (which == "form-int") RunWindowCase(kThrowInt);
  if (which == "form-deep") RunWindowCase(kThrowDeep);
  if (which == "thread") StartReportingThread();
  if (which == "freeze") RunFreezeCase(options);
  if (which == "lasterror") RunLastErrorCase();
  if (which == "foreign-fault") RunWindowCase(kForeignFault);
  if (which == "file-time") {
    // The program file is rewritten between two reports: the options changed at run time (the log
    // path above) stay in force.
    ReportException(std::make_exception_ptr(std::runtime_error("Before the change")));
    HANDLE f = CreateFileA(ModuleFileName(nullptr).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME t{0x12345678, 0x01D00000};
    std::printf("time changed=%d\n", f != INVALID_HANDLE_VALUE && SetFileTime(f, nullptr, nullptr, &t));
    CloseHandle(f);
    ReportException(std::make_exception_ptr(std::runtime_error("After the change")));
    std::printf("same options=%d\n", &CurrentReportOptions() == &options);
  }
  if (which == "worker-fault") {
    // A system library faults on the report's worker thread.
    ReportServices services;
    services.is_web_program = [] { return SystemStrlen(nullptr) > 0; };
    SetReportServices(services);
    Print("internal", ReportException(std::make_exception_ptr(std::runtime_error("Outer failure"))));
  }
  if (which == "screenshot-fail") {
    options.SetShowDialog(false);
    options.SetAttachScreenshot(true);
    options.SetSendMode(TReportSendMode::rsMailClient);
    ReportServices services;
    services.send = [](const std::string&, const std::string& shot, TReportErrorCode&) {
      std::printf("sent shot=[%s]\n", shot.c_str());
    };
    SetReportServices(services);
    // The picture cannot be written: its folder does not exist.
    SetEnvironmentVariableA("TMP", "Z:\\no such folder\\");
    SetEnvironmentVariableA("TEMP", "Z:\\no such folder\\");
    ReportException(std::make_exception_ptr(std::runtime_error("Without a picture")));
  }
  if (which == "freeze-off" || which == "freeze-reporting-off" || which == "options-race") {
    TApplication app(GetModuleHandleA(nullptr));
    FaultyForm form;
    app.SetMainForm(&form);
    form.Show();
    const bool race = which == "options-race";
    options.SetFreezeSeconds(race ? 60 : 1);
    options.SetFreezeWatch(true);
    if (!race) {
      // A handler of the freeze report switches the watch, or reporting, off: it runs on the watchdog's
      // thread.
      const bool reporting = which == "freeze-reporting-off";
      TReportHandler h;
      h.OnReport = [reporting](TReportExceptionRecord&, bool&) {
        if (reporting)
          CurrentReportOptions().SetReportingActive(false);
        else
          CurrentReportOptions().SetFreezeWatch(false);
      };
      ReportHandlers().Add(h);
      PumpUntil(app, [t = GetTickCount()] { return GetTickCount() - t > 300; });
      Sleep(2500);
      PumpUntil(app, [] { return !FreezeWatchdogRunning(); });
      std::printf("watch off=%d\n", !FreezeWatchdogRunning());
      if (reporting) {
        // Reporting on again (the watch off): the next failure is logged.
        options.SetFreezeWatch(false);
        options.SetReportingActive(true);
        ReportException(std::make_exception_ptr(std::runtime_error("Reported again")));
      }
    } else {
      // The watchdog and another thread read the options at every turn while eight threads report.
      std::atomic<bool> stop{false};
      std::atomic<int> other{0}, reads{0};
      std::thread reader([&] {
        g_reader_thread = GetCurrentThreadId();
        while (!stop) {
          const bool wanted = WaitForSingleObject(g_read_wanted, 0) == WAIT_OBJECT_0;
          TReportModuleOptionsEx& now = CurrentReportOptions();
          if (&now != &options || now.LogPath() != log) ++other;
          ++reads;
          if (wanted) SetEvent(g_read_done);
        }
      });
      ReportAfterALibraryWent();
      std::printf("reads inside the refresh=%d\n", g_reads_inside > 0);
      std::vector<std::thread> threads;
      std::atomic<int> finished{0};
      for (int i = 0; i < 8; ++i)
        threads.emplace_back([i, &finished] {
          ReportException(std::make_exception_ptr(std::runtime_error("Thread " + std::to_string(i) + " failed")));
          ++finished;
        });
      PumpUntil(app, [&] { return finished == 8; });
      for (auto& t : threads) t.join();
      stop = true;
      reader.join();
      std::printf("options seen other=%d read=%d\n", other.load(), reads.load() > 0);
      options.SetFreezeWatch(false);
    }
  }
  if (which == "unhandled") {
    TReportHandler h;
    h.OnReport = [](TReportExceptionRecord& rec, bool& handled) {
      std::printf("handler saw report=%d\n", rec.ReportText.find("Handler failed") != std::string::npos);
      handled = false;
    };
    ReportHandlers().Add(h);
    RunWindowCase();
  }
  if (which == "nested") {
    TReportHandler h;
    h.OnReport = [](TReportExceptionRecord&, bool&) {
      Print("nested", ReportException(std::make_exception_ptr(std::runtime_error("Raised while reporting"))));
    };
    ReportHandlers().Add(h);
    Print("outer", ReportException(std::make_exception_ptr(std::runtime_error("Outer failure"))));
  }
  if (which == "threads") {
    std::atomic<int> inside{0}, most{0}, reports{0}, foreign{0};
    TReportHandler h;
    h.OnReport = [&](TReportExceptionRecord& rec, bool&) {
      // Handlers run in the faulting thread, not in the report's worker thread.
      if (GetCurrentThreadId() != rec.ThreadId) ++foreign;
      int now = ++inside;
      int seen = most.load();
      while (now > seen && !most.compare_exchange_weak(seen, now)) {
      }
      Sleep(20);
      --inside;
      ++reports;
    };
    ReportHandlers().Add(h);
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
      threads.emplace_back([i, go] {
        WaitForSingleObject(go, INFINITE);
        ReportException(std::make_exception_ptr(std::runtime_error("Thread " + std::to_string(i) + " failed")));
      });
    // Meanwhile short threads raise, catch and end while another allocates: each ending thread gives its
    // raise snapshot back once, and nothing writes into memory that is already someone else's.
    std::atomic<bool> stop{false};
    std::thread churn([&stop] {
      std::vector<std::unique_ptr<char[]>> held;
      while (!stop) {
        held.emplace_back(new char[800]);
        std::memset(held.back().get(), 0x5A, 800);
        if (held.size() > 64) held.clear();
      }
    });
    SetEvent(go);
    int ended = 0;
    for (; ended < 200; ++ended)
      std::thread([] {
        try {
          throw std::runtime_error("Caught at once");
        } catch (const std::exception&) {
        }
      }).join();
    for (auto& t : threads) t.join();
    stop = true;
    churn.join();
    std::printf("reports=%d most at once=%d handlers elsewhere=%d ended=%d\n", reports.load(), most.load(),
                foreign.load(), ended);
  }
  if (which == "forward") {
    HMODULE lib = LoadLibraryA("report_forward.dll");
    auto raise = lib ? reinterpret_cast<int (*)()>(reinterpret_cast<void*>(GetProcAddress(lib, "RaiseInLibrary")))
                     : nullptr;
    TReportHandler h;
    h.OnReport = [](TReportExceptionRecord&, bool&) { std::printf("reported by the program\n"); };
    ReportHandlers().Add(h);
    if (raise) std::printf("library result=%d\n", raise());
  }
  if (which == "internal") {
    // A part of the reporter that fails inside the report: the report becomes an internal error.
    ReportServices services;
    services.is_web_program = []() -> bool { throw std::runtime_error("Broken web test"); };
    SetReportServices(services);
    Print("internal", ReportException(std::make_exception_ptr(std::runtime_error("Outer failure"))));
  }
  if (which == "screenshot") {
    const std::string copy = ExtractFilePath(log) + "Screenshot-copy.png";
    options.SetShowDialog(false);
    options.SetAttachScreenshot(true);
    options.SetSendMode(TReportSendMode::rsMailClient);
    ReportServices services;
    services.send = [copy](const std::string&, const std::string& shot, TReportErrorCode&) {
      std::printf("screenshot file=%s\n", shot.c_str());
      CopyFileTo(shot, copy);
    };
    SetReportServices(services);
    // Something on the screen besides the empty desktop.
    TApplication app(GetModuleHandleA(nullptr));
    FaultyForm form;
    form.Show();
    for (int i = 0; i < 20; ++i) {
      app.ProcessMessages();
      Sleep(10);
    }
    ReportException(std::make_exception_ptr(std::runtime_error("With a picture")));
    std::printf("screenshot deleted=%d\n", !FileExists(ScreenshotPath()));
  }
  std::printf("done\n");
  return 0;
}
