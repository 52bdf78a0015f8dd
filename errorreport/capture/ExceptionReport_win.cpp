// The report manager under Windows: installation before WinMain, the exported entry, the report
// routine under the process-wide report lock, the worker thread the faulting thread waits for, the
// hand-over of handler calls, and the internal-error path.
#include <windows.h>

#include <atomic>
#include <memory>

#include "base/exception.h"
#include "base/file.h"
#include "base/handle_win.h"
#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/intercept_win.h"
#include "errorreport/capture/report_interception_win.h"
#include "errorreport/capture/report_system_win.h"
#include "errorreport/capture/system_info_win.h"
#include "errorreport/delivery/mail_client_win.h"
#include "errorreport/delivery/options_mapping.h"

namespace sondrel {
namespace {

constexpr const char* kSupportAddress = "support@sondrel.invalid";

struct Reporter {
  int install_count = 0;
  std::atomic<bool> active{false};
  bool forwarding = false;
  bool library = false;  // the reporter lives in a dynamic library
  bool initialisation = false;
  bool finalisation = false;
  HMODULE module = nullptr;
  std::string start_directory;
  CRITICAL_SECTION report_lock{};
  CRITICAL_SECTION callback_lock{};
  bool locks_ready = false;
  std::unique_ptr<TReportModuleOptionsEx> handling_options;
  TReportHandlerList handlers;
  ReportManagerState state;
  ReportServices services;
  std::unique_ptr<ReportModuleSource> modules;
  // No skip-next mark: it would swallow the second report of a failure that a safe-call frame turned
  // into an error code and its caller raised again. C++ has no such frames and nothing here converts an
  // exception at an interface boundary, so nothing could ever set it; and a mark kept in a named block
  // would let any other process of the session silence our next report.
  UniqueHandle main_thread;
  DWORD main_thread_id = 0;
  uint32_t main_stack_top = 0;
  // Hand-over of a handler call from the worker to the faulting thread.
  const std::function<void()>* pending_call = nullptr;
  UniqueHandle call_posted;  // auto-reset: a call waits in the slot
  UniqueHandle call_done;    // auto-reset: the slot was run and cleared
};

// One per module; built on first use so that its order against other static objects cannot matter.
Reporter& R() {
  static Reporter r;
  return r;
}

// A second report from the thread that is already reporting would wait for itself.
thread_local bool t_worker_busy = false;
// Set on a report's worker thread: the thread that waits for it holds the report lock, so a report
// from the worker itself would wait for ever; what fails there is an internal error instead.
thread_local bool t_report_worker = false;

HMODULE ThisModule() {
  HMODULE m = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&R), &m);
  return m;
}

// The upper end of the calling thread's stack: StackBase of the thread block, at fs:[4].
uint32_t ThreadStackTop() {
  uint32_t top;
  asm volatile("movl %%fs:4, %0" : "=r"(top));
  return top;
}

using ExceptionManagerFn = bool (*)(const std::exception_ptr*, const void*) noexcept;

// The program file's own entry, when this copy of the reporter lives in another module and the
// program carries a reporter itself.
ExceptionManagerFn ForwardTarget() {
  Reporter& r = R();
  if (!r.forwarding) return nullptr;
  return reinterpret_cast<ExceptionManagerFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(nullptr), "ExceptionManager")));
}

// ---- internal errors ----

void InternalError(int step, uint32_t address, const std::exception_ptr& e) noexcept {
  try {
    std::string msg = e ? ExceptionMessage(e) : std::string();
    if (msg.empty()) msg = "General internal error.";
    OutputDebugStringA(InternalErrorDebugLine(step, address, msg).c_str());
    std::vector<uint8_t> dump(32);
    if (!ReadOwnMemory(address, dump.data(), dump.size())) dump.clear();
    // Beside the program, wherever the regular log lives.
    const std::string file = ChangeFileExt(ModuleFileName(nullptr), ".log");
    try {
      WriteFileAtomic(file, InternalErrorText(OperatingSystemName(ReadOsVersion()), InternalErrorDump(dump), step,
                                              address, msg));
    } catch (...) {
    }
    const std::string text = "Error: '" + msg +
                             "'\r\n\r\nThis is an internal ErrorReport bug.\r\nDo you want to send the bug "
                             "information to ErrorReport author?";
    if (MessageBoxA(nullptr, text.c_str(), "Probably internal bug",
                    MB_YESNO | MB_ICONSTOP | MB_TASKMODAL | MB_TOPMOST | MB_SETFOREGROUND) != IDYES)
      return;
    const auto& mail = R().services.mail_file;
    const char* subject = "ErrorReport 4.6 critical bug.";
    if (mail ? mail(file, subject) : MapiSend(kSupportAddress, subject, "", {file}, nullptr)) return;
    const std::string info = "The mail client could not be reached.\r\nPlease send the file \"" + file + "\" to " +
                             kSupportAddress + " by hand.";
    MessageBoxA(nullptr, info.c_str(), "Information", MB_OK | MB_ICONINFORMATION | MB_TASKMODAL | MB_TOPMOST);
  } catch (...) {
  }
}

// ---- the worker and the waiting faulting thread ----

void RunInFaultingThread(const std::function<void()>& call) {
  Reporter& r = R();
  EnterCriticalSection(&r.callback_lock);
  r.pending_call = &call;
  LeaveCriticalSection(&r.callback_lock);
  SetEvent(r.call_posted.get());
  WaitForSingleObject(r.call_done.get(), INFINITE);
}

// Runs a handler call the worker left in the slot; the slot is cleared whatever the call does.
void RunPendingCall() {
  Reporter& r = R();
  EnterCriticalSection(&r.callback_lock);
  const std::function<void()>* call = r.pending_call;
  LeaveCriticalSection(&r.callback_lock);
  if (!call) return;
  try {
    CatchForeignFaults([call] { (*call)(); });
  } catch (...) {
  }
  EnterCriticalSection(&r.callback_lock);
  r.pending_call = nullptr;
  LeaveCriticalSection(&r.callback_lock);
  SetEvent(r.call_done.get());
}

bool RunWorker(const ReportInput& in, bool own_thread) noexcept {
  Reporter& r = R();
  std::function<void(const std::function<void()>&)> handover;
  if (own_thread) handover = RunInFaultingThread;
  Win32ReportSystem sys(*r.modules, r.services, handover, r.start_directory);
  sys.SetErrorRecorder([&sys, &r](TReportErrorCode code, const std::string& text) {
    ReportWorker::RecordLastError(sys, r.state, code, text);
  });
  ReportWorker worker(sys, r.state);
  try {
    // A fault inside a system library called by the report comes back here as well.
    bool result = true;
    CatchForeignFaults([&] { result = worker.Run(in); });
    return result;
  } catch (...) {
    std::exception_ptr e = std::current_exception();
    if (!IsAbort(e)) InternalError(worker.Step(), in.address, e);
  }
  return true;
}

struct WorkerJob {
  ReportInput in;
  bool result = true;
};

DWORD WINAPI TExceptionThread(void* p) noexcept {
  auto* job = static_cast<WorkerJob*>(p);
  t_report_worker = true;
  job->result = RunWorker(job->in, true);
  return 0;
}

bool IsPaintMessage(UINT m) {
  switch (m) {
    case WM_SETREDRAW:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_PAINTICON:
    case WM_ICONERASEBKGND:
    case WM_DISPLAYCHANGE:
    case WM_NCPAINT:
    case WM_PRINT:
    case WM_PRINTCLIENT:
    case 0x8002:
    case 0x8003:
      return true;
    default:
      return false;
  }
}

// While the report runs the main thread keeps its windows painted and nothing else: input and other
// messages would run program code in the middle of a fault.
void DrainWindowMessages() {
  MSG msg;
  bool quit = false;
  int exit_code = 0;
  for (int i = 0; i < 11 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); ++i) {
    if (IsPaintMessage(msg.message)) {
      DispatchMessageA(&msg);
    } else if (msg.message == WM_CHAR || msg.message == WM_LBUTTONDOWN || msg.message == WM_RBUTTONDOWN ||
               msg.message == WM_MBUTTONDOWN) {
      MessageBeep(0);
    } else if (msg.message == WM_QUIT) {
      quit = true;  // the end of the message loop must survive the report
      exit_code = static_cast<int>(msg.wParam);
    }
  }
  if (quit) PostQuitMessage(exit_code);
}

bool RunWorkerInThread(const ReportInput& in) {
  Reporter& r = R();
  WorkerJob job{in, true};
  DWORD id = 0;
  UniqueHandle thread(CreateThread(nullptr, 0, TExceptionThread, &job, 0, &id));
  if (!thread) return RunWorker(in, false);
  const bool main = GetCurrentThreadId() == r.main_thread_id;
  HANDLE waits[2] = {thread.get(), r.call_posted.get()};
  for (;;) {
    const DWORD w = main ? MsgWaitForMultipleObjects(2, waits, FALSE, 10, QS_ALLINPUT)
                         : WaitForMultipleObjects(2, waits, FALSE, 10);
    if (w == WAIT_OBJECT_0) break;
    if (main) DrainWindowMessages();
    RunPendingCall();
  }
  return job.result;
}

// ---- installation ----

void Install() noexcept {
  Reporter& r = R();
  if (r.install_count++ > 0) return;
  try {
    r.module = ThisModule();
    HMODULE exe = GetModuleHandleA(nullptr);
    r.library = r.module != exe;
    // A copy of the reporter inside a library hands its exceptions to the program's own reporter,
    // when the program carries one.
    r.forwarding = r.library && GetProcAddress(exe, "ExceptionManager") != nullptr && ProgramHasOptionsBlock();
    char dir[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, dir);
    r.start_directory = dir;
    // Other modules of the process learn of this module's run-time option changes through it.
    CreateSubsystemOptionsMapping();
    r.initialisation = true;
    r.handlers.Clear();
    InstallInterception(1);

    r.modules = CreateReportModuleSource(r.module);
    // (For the program's own reporter the source is only made when the program has a block.)
    if (!r.modules || (r.library && !ProgramHasOptionsBlock())) {
      // Without an options block there is no debug data and nothing to go by: stay out of the way.
      ReleaseReportModuleSource();
      r.modules.reset();
      r.initialisation = false;
      return;
    }
    r.main_stack_top = ThreadStackTop();
    r.handling_options = std::make_unique<TReportModuleOptionsEx>(std::string(), false);
    r.state.handling_options = r.handling_options.get();
    r.state.handlers = &r.handlers;
    r.state.start_date = NowDateText();
    InstallInterception(2);
    r.state.exceptions_reported = 0;
    InitializeCriticalSection(&r.report_lock);
    InitializeCriticalSection(&r.callback_lock);
    r.call_posted.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    r.call_done.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    r.locks_ready = true;
    r.active = true;
    InstallInterception(3);
    InstallInterception(4);
    HANDLE dup = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &dup, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    r.main_thread.reset(dup);
    r.main_thread_id = GetCurrentThreadId();
    // A program's units are all initialised once WinMain runs; only a library is still loading here.
    r.initialisation = r.library;
  } catch (...) {
    r.active = false;
  }
}

void Remove() noexcept {
  Reporter& r = R();
  if (--r.install_count > 0) return;
  r.finalisation = true;
  CloseSubsystemOptionsMapping();
  if (!r.active) return;
  RemoveInterception();
  // A report still running in another thread keeps the lock; wait for it before the lists go.
  EnterCriticalSection(&r.report_lock);
  r.active = false;
  r.main_thread.reset();
  ReleaseReportModuleSource();
  r.modules.reset();
  r.handlers.Clear();
  LeaveCriticalSection(&r.report_lock);
  // The critical sections stay: a thread that is still running may try to report on its way out.
}

struct ReporterInstallation {
  ReporterInstallation() { Install(); }
  ~ReporterInstallation() { Remove(); }
};
// Before every other static object of the program, so that their faults are reported too.
__attribute__((init_priority(101))) ReporterInstallation g_installation;

}  // namespace

// ---- public entry points ----

bool ReportRoutine(std::exception_ptr object, uint32_t address, bool language_exception,
                   const TExceptNotifyParams& known) noexcept {
  Reporter& r = R();
  if (!r.active || !r.locks_ready || t_report_worker) return true;
  // The faulting code may look at its last system error once the report is over.
  const KeepLastError keep;
  EnterCriticalSection(&r.report_lock);
  if (t_worker_busy) {
    LeaveCriticalSection(&r.report_lock);
    return true;
  }
  t_worker_busy = true;
  bool result = true;
  try {
    if (r.active && CurrentReportOptions().ReportingActive()) {
      ReportInput in;
      in.object = std::move(object);
      in.address = address;
      in.language_exception = language_exception;
      in.params = known;
      // The watchdog and the overflow reporter report for another thread and say which.
      if (!in.params.ThreadId) in.params.ThreadId = GetCurrentThreadId();
      const FocusedControl focus = ReadFocusedControl();
      in.params.FocusedClass = focus.class_name;
      in.params.FocusedText = focus.text;
      if (!in.params.StackTop) in.params.StackTop = ThreadStackTop();
      if (!in.params.StackPointer)
        in.params.StackPointer = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
      const bool direct = r.library && (r.initialisation || r.finalisation);
      result = direct ? RunWorker(in, false) : RunWorkerInThread(in);
    }
  } catch (...) {
    result = true;
  }
  r.state.published = nullptr;
  // The report is over: its raise snapshot must not stand for a later exception.
  ClearRaiseSnapshot();
  t_worker_busy = false;
  LeaveCriticalSection(&r.report_lock);
  return result;
}

namespace {

// The entries' common part. caller_sp is the caller's stack position after the call into the entry:
// without a snapshot of the raise, the stack is walked from there, so that the reporter's own frames are
// not part of the call stack.
bool ManagerEntry(const std::exception_ptr& e, const void* address, uint32_t caller_sp, DWORD last_error) noexcept {
  const KeepLastError keep(last_error);
  if (IsAbort(e)) return true;
  UnhandledException u;
  u.exception = e;
  u.thread_id = GetCurrentThreadId();
  // A boundary (an event handler's, a thread's top level) reports the exception where it was raised:
  // the throw, or the faulting instruction of a translated processor fault.
  if (!FillFromRaiseSnapshot(e, u)) {
    // A translated processor fault is no language exception: its address is the faulting instruction.
    u.language = e != nullptr;
    try {
      if (e) std::rethrow_exception(e);
    } catch (const Exception& x) {
      u.language = !x.InheritsFrom("EExternalException");
    } catch (...) {
    }
    u.address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address));
    u.stack_pointer = caller_sp;
    u.stack_top = ThreadStackTop();
  }
  return ReportRoutine(e, u.address, u.language, NotifyParamsOf(u));
}

// Just above the return address into the caller: the call into the reporter is not scanned (it would
// add the reporter's entry as a row), and the exception address, the call site in the caller, heads the
// call stack.
uint32_t CallerStackPosition(void* frame) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(frame)) + 8; }

}  // namespace

// Both entries read the caller's last system error first (any lookup on the way may reset it) and give
// it back on return.
extern "C" __declspec(dllexport) bool ExceptionManager(const std::exception_ptr* object, const void* address) noexcept {
  const DWORD last_error = GetLastError();
  if (ExceptionManagerFn forward = ForwardTarget()) {
    SetLastError(last_error);
    return forward(object, address);
  }
  const std::exception_ptr e = object ? *object : std::exception_ptr();
  // Without an address the caller's own position stands for it, so that the report names a module.
  return ManagerEntry(e, address ? address : __builtin_return_address(0),
                      CallerStackPosition(__builtin_frame_address(0)), last_error);
}

bool ReportException(std::exception_ptr object, const void* address) noexcept {
  const DWORD last_error = GetLastError();
  if (ExceptionManagerFn forward = ForwardTarget()) {
    SetLastError(last_error);
    return forward(&object, address ? address : __builtin_return_address(0));
  }
  return ManagerEntry(object, address ? address : __builtin_return_address(0),
                      CallerStackPosition(__builtin_frame_address(0)), last_error);
}

bool ReporterActive() noexcept { return R().active; }
TReportHandlerList& ReportHandlers() { return R().handlers; }
const TReportExceptionRecord* CurrentExceptionRecord() noexcept { return R().state.published; }
uint32_t ExceptionsReported() noexcept { return R().state.exceptions_reported; }
TReportModuleOptions* HandlingOptions() noexcept { return R().handling_options.get(); }

TReportErrorCode LastReportError(std::string* text) noexcept {
  Reporter& r = R();
  if (text) *text = r.state.last_error_text;
  return r.state.last_error;
}

void SetReportServices(ReportServices services) { R().services = std::move(services); }

}  // namespace sondrel
