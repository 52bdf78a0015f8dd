#include "errorreport/capture/intercept_win.h"

#include <atomic>
#include <cstring>
#include <new>
#include <unwind.h>
#include <vector>

#include "errorreport/capture/external_exception.h"
#include "errorreport/capture/freeze_win.h"
#include "errorreport/delivery/report_options.h"
#include "errorreport/capture/thread_track_win.h"

namespace sondrel {

// Registers as "pushal" leaves them, lowest address first.
struct PushadFrame {
  DWORD edi, esi, ebp, esp, ebx, edx, ecx, eax;
};

extern "C" void SondrelCaptureThrow(const PushadFrame* frame) noexcept;

}  // namespace sondrel

extern "C" void __real___cxa_free_exception(void* object) noexcept;
extern "C" void __wrap___cxa_free_exception(void* object) noexcept;
extern "C" void* __real___cxa_begin_catch(void* header) noexcept;
extern "C" void* __wrap___cxa_begin_catch(void* header) noexcept;
extern "C" _Unwind_Reason_Code __real___gxx_personality_v0(int, _Unwind_Action, _Unwind_Exception_Class,
                                                           _Unwind_Exception*, _Unwind_Context*);

// The linker sends every call of the throw routine here (-Wl,--wrap=__cxa_throw). The registers are
// saved before any compiled code can change them, so the snapshot holds the thrower's own.
asm(R"(
  .text
  .globl ___wrap___cxa_throw
___wrap___cxa_throw:
  pushal
  movl %esp, %ebx
  andl $-16, %esp
  subl $12, %esp
  pushl %ebx
  call _SondrelCaptureThrow
  movl %ebx, %esp
  popal
  jmp ___real___cxa_throw
)");

namespace sondrel {
namespace {

struct PendingFault {
  bool set = false;
  bool stack_taken = false;  // the snapshot's stack was copied where the fault happened
  EXCEPTION_RECORD record{};
  CONTEXT context{};
  DWORD last_error = 0;  // the faulting code's, given back before the fault travels on
};

// Each thread's snapshot lives on the heap, reached through a fiber-local slot whose callback frees it
// when the thread ends. It cannot be a thread_local object: this runtime frees a thread's thread_local
// storage before it runs their destructors, so a destructor there writes into freed heap (seen as heap
// corruption when threads that had thrown ended while others allocated).
void WINAPI FreeSnapshot(void* snapshot) { delete static_cast<RaiseSnapshot*>(snapshot); }

DWORD SnapshotSlot() noexcept {
  static const DWORD slot = FlsAlloc(&FreeSnapshot);
  return slot;
}

// The calling thread's snapshot, or null when it has none (it never raised, or there was no memory).
// The lookup keeps the thread's last system error: it runs inside the runtime's throw, catch and free,
// where the program's code still expects its own.
RaiseSnapshot* PeekSnapshot() noexcept {
  const DWORD slot = SnapshotSlot();
  if (slot == FLS_OUT_OF_INDEXES) return nullptr;
  const KeepLastError keep;
  return static_cast<RaiseSnapshot*>(FlsGetValue(slot));
}

// The calling thread's snapshot, made at its first raise; null only without memory.
RaiseSnapshot* OwnSnapshot() noexcept {
  if (RaiseSnapshot* s = PeekSnapshot()) return s;
  const DWORD slot = SnapshotSlot();
  if (slot == FLS_OUT_OF_INDEXES) return nullptr;
  auto* s = new (std::nothrow) RaiseSnapshot;
  if (s && !FlsSetValue(slot, s)) {
    delete s;
    s = nullptr;
  }
  return s;
}

thread_local PendingFault t_fault;
thread_local bool t_capturing = false;

std::atomic<ReportSink> g_report{nullptr};
std::atomic<int> g_installed{0};
DWORD g_main_thread = 0;
HANDLE g_main_handle = nullptr;
std::uint32_t g_main_stack_top = 0;
std::uint32_t g_image_start = 0, g_image_end = 0;
PVOID g_vectored = nullptr;
std::terminate_handler g_old_terminate = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER g_old_filter = nullptr;


// Exception objects freed in the process, newest last: a snapshot whose object was freed after it was
// taken belongs to no live exception, even when a later object gets the same address. Each slot packs
// the free's serial number (high half) and the object's address (low half) into one atomic word.
constexpr std::uint32_t kFreedSlots = 64;
std::atomic<std::uint32_t> g_frees{0};
std::atomic<std::uint64_t> g_freed[kFreedSlots];

void NoteExceptionFreed(const void* object) noexcept {
  const std::uint32_t serial = g_frees.fetch_add(1) + 1;
  const auto address = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(object));
  g_freed[serial % kFreedSlots].store((std::uint64_t{serial} << 32) | address);
  RaiseSnapshot* s = PeekSnapshot();
  if (s && s->object == object) s->object = nullptr;
}

// True when an exception object at this address was freed after `before` frees had happened. When more
// frees than the ring holds happened since, the oldest are no longer known; the freeing thread's own
// snapshot is cleared at the free in any case.
bool FreedSince(const void* object, std::uint32_t before) noexcept {
  const auto address = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(object));
  for (const auto& slot : g_freed) {
    const std::uint64_t v = slot.load();
    const auto serial = static_cast<std::uint32_t>(v >> 32);
    if (static_cast<std::uint32_t>(v) == address && static_cast<std::int32_t>(serial - before) > 0) return true;
  }
  return false;
}

// Copies at most `limit` bytes of the calling thread's stack from sp up (never past top) into copy.
void CopyStack(std::shared_ptr<StackCopy>& copy, std::uint32_t sp, std::uint32_t top,
               std::uint32_t limit = kStackCopyLimit) noexcept {
  try {
    // A report that still reads the last copy keeps it; the buffer is reused otherwise.
    if (!copy || copy.use_count() > 1) copy = std::make_shared<StackCopy>();
  } catch (...) {
    copy.reset();
    return;  // no memory: the report walks the live stack instead
  }
  copy->base = sp;
  copy->bytes.clear();
  if (sp == 0 || top <= sp) return;
  const std::uint32_t n = std::min(top - sp, limit);
  // The range lies inside the calling thread's own committed stack.
  const auto* from = reinterpret_cast<const std::uint8_t*>(static_cast<uintptr_t>(sp));
  try {
    copy->bytes.assign(from, from + n);
  } catch (...) {
    copy->bytes.clear();
  }
}

// A throw does not copy the thread's whole used stack: most throws are caught a few frames up, and a
// copy that grows with the depth of the stack made a caught throw at 256 KB of stack cost six times
// what it costs without the reporter. What a report of the throw needs and cannot read live later is
// what the unwinding to its handler overwrites: the frames between the throw and the catching frame.
// So the throw copies a small fixed window (the stack dump from the thrower's stack pointer and the
// nearest frames, exactly as they were), and the search phase of the unwinding, when it has found the
// handler and before any cleanup runs, extends the copy up to the handler frame's stack position. The
// handler frame and everything above it stay intact while the handler runs, which is where every
// boundary reports, so the report reads them live. The cost is the distance to the handler, never the
// depth of the stack. (A bounded window alone would leave a hole between the window and a far handler;
// the extension has none.)
constexpr std::uint32_t kThrowWindow = 1024;

// Extends the calling thread's copy of the raise of `object` up to `end` (exclusive): the search phase
// found the handler whose frame begins there.
void KeepFramesBelowHandler(const void* object, std::uint32_t end) noexcept {
  const KeepLastError keep;  // before the thread-local lookups below, which reset it
  RaiseSnapshot* s = PeekSnapshot();
  if (!s || t_capturing || !s->object || s->object != object || !s->stack || !s->language) return;
  StackCopy& copy = *s->stack;
  if (copy.base != s->stack_pointer || copy.base == 0) return;
  const std::uint64_t limit = std::min<std::uint64_t>(s->stack_top, std::uint64_t{copy.base} + kStackCopyLimit);
  const std::uint64_t have = std::uint64_t{copy.base} + copy.bytes.size();
  const std::uint64_t want = std::min<std::uint64_t>(end, limit);
  if (want <= have) return;
  t_capturing = true;  // a throw of the allocation below leaves this snapshot alone
  try {
    // A report still reading the copy keeps its own (a rethrow while it runs): the rest goes to a new one.
    if (s->stack.use_count() > 1) s->stack = std::make_shared<StackCopy>(copy);
    const auto* from = reinterpret_cast<const std::uint8_t*>(static_cast<uintptr_t>(have));
    s->stack->bytes.insert(s->stack->bytes.end(), from, from + (want - have));
  } catch (...) {
    // Without memory the copy stays as it was; the report reads the rest live.
  }
  t_capturing = false;
}

bool InProgramImage(std::uint32_t address) { return address >= g_image_start && address < g_image_end; }

std::exception_ptr ExceptionFor(const EXCEPTION_RECORD& rec) {
  SystemExceptionFacts facts;
  facts.code = rec.ExceptionCode;
  facts.address = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(rec.ExceptionAddress));
  facts.parameter_count = rec.NumberParameters;
  for (DWORD i = 0; i < 2 && i < rec.NumberParameters; ++i)
    facts.parameters[i] = static_cast<std::uint32_t>(rec.ExceptionInformation[i]);
  return MakeExternalException(facts);
}

[[noreturn]] __attribute__((force_align_arg_pointer)) void ThrowPendingFault() {
  // Entered as if called from the faulting instruction (the vectored handler pushed its address + 1),
  // so the unwinder finds the faulting function's handlers. The snapshot is the fault's own context.
  t_fault.set = false;
  const std::exception_ptr e = ExceptionFor(t_fault.record);
  if (RaiseSnapshot* p = OwnSnapshot()) {
    RaiseSnapshot& s = *p;
    s.object = ExceptionObject(e);
    s.type = e.__cxa_exception_type();
    s.frees_before = g_frees.load();
    s.last_error = t_fault.last_error;
    s.language = false;
    s.address = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(t_fault.record.ExceptionAddress));
    s.context = t_fault.context;
    s.context.ContextFlags = CONTEXT_FULL;
    s.stack_pointer = s.context.Esp;
    s.stack_top = CurrentStackTop();
    if (!t_fault.stack_taken) CopyStack(s.stack, s.stack_pointer, s.stack_top);
  }
  t_fault.stack_taken = false;
  SetLastError(t_fault.last_error);
  std::rethrow_exception(e);
}

// A boundary's point of return for faults in foreign code: what __builtin_setjmp saved (frame
// pointer, resume address, stack pointer), the thread's exception-frame list head at that moment,
// and the boundary that was in force before.
struct ForeignFaultCatch {
  void* jump[5] = {};
  std::uint32_t frame_list = 0;
  ForeignFaultCatch* outer = nullptr;
};
thread_local ForeignFaultCatch* t_catch = nullptr;

std::uint32_t FrameListHead() {
  std::uint32_t head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}

// The fault goes back to the innermost boundary of this thread when that lies above it on the stack:
// the boundary's registers are restored and it throws the translated fault from there. Only faults in
// foreign code come here; the program's own are translated where they happen.
bool ReturnToCatchPoint(const EXCEPTION_RECORD& rec, CONTEXT& c, DWORD last_error) {
  ForeignFaultCatch* point = t_catch;
  if (!point) return false;
  const auto sp = static_cast<DWORD>(reinterpret_cast<uintptr_t>(point->jump[2]));
  if (sp <= c.Esp) return false;
  t_fault.record = rec;
  t_fault.context = c;
  t_fault.last_error = last_error;
  t_fault.set = true;
  // The abandoned frames are overwritten as soon as the boundary runs again: the stack of the fault
  // is copied now.
  if (RaiseSnapshot* s = OwnSnapshot()) {
    CopyStack(s->stack, c.Esp, CurrentStackTop());
    t_fault.stack_taken = true;
  }
  c.Ebp = static_cast<DWORD>(reinterpret_cast<uintptr_t>(point->jump[0]));
  c.Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(point->jump[1]));
  c.Esp = sp;
  return true;
}

// After a stack overflow the faulting thread has almost no stack: it only wakes a thread started at
// installation, which reports and then ends the faulting thread, and waits.
struct OverflowHandover {
  HANDLE go = nullptr;
  HANDLE thread = nullptr;
  std::atomic_flag busy = ATOMIC_FLAG_INIT;
  std::atomic<bool> stop{false};
  EXCEPTION_RECORD record{};
  CONTEXT context{};
  DWORD thread_id = 0;
  std::uint32_t stack_top = 0;
};
OverflowHandover g_overflow;

DWORD WINAPI OverflowReporter(void*) {
  for (;;) {
    WaitForSingleObject(g_overflow.go, INFINITE);
    if (g_overflow.stop) return 0;
    UnhandledException u;
    u.exception = ExceptionFor(g_overflow.record);
    u.address = g_overflow.context.Eip;
    u.language = false;
    u.context = &g_overflow.context;
    u.stack_pointer = g_overflow.context.Esp;
    u.stack_top = g_overflow.stack_top;
    u.thread_id = g_overflow.thread_id;
    if (ReportSink report = g_report.load()) report(u);
    if (g_overflow.thread_id == g_main_thread) ExitProcess(1);
    // The overflowed thread cannot run its own exit code; it waits in the handler and holds no lock.
    HANDLE t = OpenThread(THREAD_TERMINATE | SYNCHRONIZE, FALSE, g_overflow.thread_id);
    if (t) {
      TerminateThread(t, 1);
      WaitForSingleObject(t, 5000);
      CloseHandle(t);
    }
    ForgetThread(g_overflow.thread_id);
    g_overflow.busy.clear();
  }
}

LONG CALLBACK VectoredFault(EXCEPTION_POINTERS* ep) {
  const DWORD last_error = GetLastError();  // before any thread-local lookup resets it
  const EXCEPTION_RECORD* rec = ep->ExceptionRecord;
  if (!IsProcessorFault(rec->ExceptionCode) || (rec->ExceptionFlags & EXCEPTION_NONCONTINUABLE))
    return EXCEPTION_CONTINUE_SEARCH;
  if (rec->ExceptionCode == kStackOverflowCode) {
    if (g_overflow.busy.test_and_set()) return EXCEPTION_CONTINUE_SEARCH;
    g_overflow.record = *rec;
    g_overflow.context = *ep->ContextRecord;
    g_overflow.thread_id = GetCurrentThreadId();
    g_overflow.stack_top = CurrentStackTop();
    SetEvent(g_overflow.go);
    WaitForSingleObject(GetCurrentThread(), INFINITE);  // ended by the reporter
    return EXCEPTION_CONTINUE_SEARCH;
  }
  // Only the program's own code is built to unwind from any instruction; faults elsewhere are left to
  // the system's handlers (and end at the unhandled-exception filter when nothing takes them).
  if (!InProgramImage(ep->ContextRecord->Eip)) return EXCEPTION_CONTINUE_SEARCH;
  t_fault.record = *rec;
  t_fault.context = *ep->ContextRecord;
  t_fault.last_error = last_error;
  t_fault.set = true;
  CONTEXT* c = ep->ContextRecord;
  c->Esp -= 4;
  *reinterpret_cast<DWORD*>(static_cast<uintptr_t>(c->Esp)) = c->Eip + 1;
  c->Eip = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&ThrowPendingFault));
  return EXCEPTION_CONTINUE_EXECUTION;
}

std::atomic<const void*> g_last_reported{nullptr};

}  // namespace

bool ReportUnhandled(const UnhandledException& u) noexcept {
  g_last_reported = ExceptionObject(u.exception);
  ReportSink report = g_report.load();
  if (!report) return true;
  try {
    return report(u);
  } catch (...) {
    return true;  // the reporter's own failures never travel on
  }
}

namespace {

void OnTerminate() {
  const std::exception_ptr e = std::current_exception();
  if (e && ExceptionObject(e) != g_last_reported.load()) ReportCaughtException(e);
  EndThreadOrProgram();
}

LONG WINAPI OnUnhandled(EXCEPTION_POINTERS* ep) {
  const DWORD last_error = GetLastError();  // the faulting code's, before a thread-local lookup resets it
  const EXCEPTION_RECORD* rec = ep->ExceptionRecord;
  // A processor fault in foreign code that none of its own handlers took (system code may catch its
  // faults itself, so this is decided here, not at first sight) goes back to the boundary above it.
  if (IsProcessorFault(rec->ExceptionCode) && !(rec->ExceptionFlags & EXCEPTION_NONCONTINUABLE) &&
      ReturnToCatchPoint(*rec, *ep->ContextRecord, last_error))
    return EXCEPTION_CONTINUE_EXECUTION;
  UnhandledException u;
  u.exception = ExceptionFor(*rec);
  u.address = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(rec->ExceptionAddress));
  u.language = false;
  u.context = ep->ContextRecord;
  u.stack_pointer = ep->ContextRecord->Esp;
  u.stack_top = CurrentStackTop();
  u.thread_id = GetCurrentThreadId();
  ReportUnhandled(u);
  EndThreadOrProgram();
}

}  // namespace

extern "C" void SondrelCaptureThrow(const PushadFrame* f) noexcept {
  // The thrower's last system error travels with its exception: the code that catches it may read it.
  // Read before anything else: even a thread-local lookup resets it.
  const DWORD last_error = GetLastError();
  if (t_capturing) return;  // a throw while copying (out of memory): keep the outer snapshot
  RaiseSnapshot* p = OwnSnapshot();
  if (!p) {
    SetLastError(last_error);
    return;
  }
  t_capturing = true;
  RaiseSnapshot& s = *p;
  const DWORD return_address = *reinterpret_cast<const DWORD*>(static_cast<uintptr_t>(f->esp));
  s.object = *reinterpret_cast<void* const*>(static_cast<uintptr_t>(f->esp + 4));
  s.type = *reinterpret_cast<const std::type_info* const*>(static_cast<uintptr_t>(f->esp + 8));
  s.frees_before = g_frees.load();
  s.last_error = last_error;
  s.stack_top = CurrentStackTop();
  RtlCaptureContext(&s.context);
  s.context.Eax = f->eax;
  s.context.Ecx = f->ecx;
  s.context.Edx = f->edx;
  s.context.Ebx = f->ebx;
  s.context.Esi = f->esi;
  s.context.Edi = f->edi;
  s.context.Ebp = f->ebp;
  s.context.Esp = f->esp + 4;          // as the thrower sees it after the call
  s.context.Eip = return_address - 5;  // the call that raised
  s.language = true;
  s.address = return_address;
  s.context.ContextFlags = CONTEXT_FULL;
  s.stack_pointer = s.context.Esp;
  CopyStack(s.stack, s.stack_pointer, s.stack_top, kThrowWindow);
  t_capturing = false;
  SetLastError(last_error);
}

extern "C" void __wrap___cxa_free_exception(void* object) noexcept {
  NoteExceptionFreed(object);
  __real___cxa_free_exception(object);
}

// The run-time library's unwinding and thread-local lookups reset the thread's last system error on
// the way from the raise to the handler; the handler of the raised object gets the raiser's back.
extern "C" void* __wrap___cxa_begin_catch(void* header) noexcept {
  void* object = __real___cxa_begin_catch(header);
  const RaiseSnapshot* s = object ? PeekSnapshot() : nullptr;
  if (s && object == s->object) SetLastError(s->last_error);
  return object;
}

// The search phase of every language exception's unwinding passes here (-Wl,--wrap=__gxx_personality_v0):
// when a frame's handler takes the exception, the frames below it are kept before the cleanups and the
// handler overwrite them (see kThrowWindow). Only exceptions thrown as such are followed; a rethrown
// exception_ptr may be rethrown far from where it was caught, where the stack above its copy is another.
extern "C" _Unwind_Reason_Code __wrap___gxx_personality_v0(int version, _Unwind_Action actions,
                                                           _Unwind_Exception_Class exception_class,
                                                           _Unwind_Exception* header, _Unwind_Context* context) {
  const _Unwind_Reason_Code result =
      __real___gxx_personality_v0(version, actions, exception_class, header, context);
  // "GNUCC++" and 0: an exception object of this runtime, not a dependent one made by rethrow_exception.
  constexpr _Unwind_Exception_Class kLanguageObject = 0x474E5543432B2B00ULL;
  if (result == _URC_HANDLER_FOUND && (actions & _UA_SEARCH_PHASE) && exception_class == kLanguageObject) {
    // During the search the context's frame address is the stack position in the handler's frame at
    // the call that leads to the throw; the thrown object follows the unwinding header.
    sondrel::KeepFramesBelowHandler(header + 1, static_cast<std::uint32_t>(_Unwind_GetCFA(context)));
  }
  return result;
}

const void* ExceptionObject(const std::exception_ptr& e) noexcept {
  // This runtime's exception_ptr holds exactly the thrown object's address.
  static_assert(sizeof(std::exception_ptr) == sizeof(void*));
  void* object;
  std::memcpy(&object, static_cast<const void*>(&e), sizeof object);
  return object;
}

const RaiseSnapshot* FindRaiseSnapshot(const std::exception_ptr& e) noexcept {
  const void* object = ExceptionObject(e);
  const RaiseSnapshot* p = object ? PeekSnapshot() : nullptr;
  if (!p) return nullptr;
  const RaiseSnapshot& s = *p;
  if (s.object != object || !s.type) return nullptr;
  const std::type_info* type = e.__cxa_exception_type();
  if (!type || !(*type == *s.type)) return nullptr;
  return FreedSince(object, s.frees_before) ? nullptr : &s;
}

void ClearRaiseSnapshot() noexcept {
  RaiseSnapshot* p = PeekSnapshot();
  if (!p) return;
  RaiseSnapshot& s = *p;
  s.object = nullptr;
  s.type = nullptr;
  s.context.ContextFlags = 0;
  s.stack_pointer = 0;
}

bool FillFromRaiseSnapshot(const std::exception_ptr& e, UnhandledException& u) noexcept {
  const RaiseSnapshot* s = FindRaiseSnapshot(e);
  if (!s) return false;
  u.address = s->address;
  u.language = s->language;
  u.context = &s->context;
  u.stack_pointer = s->stack_pointer;
  u.stack_top = s->stack_top;
  u.stack = s->stack;
  return true;
}

void SetReportRoutine(ReportSink routine) noexcept { g_report = routine; }

bool ReportCaughtException(const std::exception_ptr& e) noexcept {
  const KeepLastError keep;  // the program goes on after the report with its own
  UnhandledException u;
  u.exception = e;
  u.thread_id = GetCurrentThreadId();
  if (!FillFromRaiseSnapshot(e, u)) {
    // The caller's frame, above the return address into it: this function's own frame is no part of
    // what went wrong.
    u.stack_pointer = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(__builtin_frame_address(0))) + 8;
    u.stack_top = CurrentStackTop();
  }
  return ReportUnhandled(u);
}

void RunCatchingForeignFaults(void (*call)(void*), void* context) {
  // Back at the resume point the registers the caller keeps in EBX, ESI and EDI hold whatever the
  // abandoned code left there: this function saves them itself, so that the unwinder restores them
  // for the caller from its own frame.
  asm volatile("" : : : "ebx", "esi", "edi", "memory");
  ForeignFaultCatch point;
  point.outer = t_catch;
  point.frame_list = FrameListHead();
  if (__builtin_setjmp(point.jump)) {
    // Back from a fault in foreign code. The exception frames that code registered lie in the
    // abandoned part of the stack.
    asm volatile("movl %0, %%fs:0" : : "r"(point.frame_list) : "memory");
    t_catch = point.outer;
    ThrowPendingFault();
  }
  t_catch = &point;
  struct Leave {
    ForeignFaultCatch* p;
    ~Leave() { t_catch = p->outer; }
  } leave{&point};
  call(context);
}

void CopyReadableStack(StackCopy& copy, std::uint32_t sp, std::uint32_t top) {
  copy.base = sp;
  copy.bytes.clear();
  if (top <= sp) return;
  const std::uint32_t want = std::min(top - sp, kStackCopyLimit);
  copy.bytes.resize(want);
  std::uint32_t got = 0;
  while (got < want) {
    const std::uint32_t at = sp + got;
    const std::uint32_t n = std::min(want - got, 4096 - (at & 4095));
    SIZE_T done = 0;
    if (!ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<void*>(static_cast<uintptr_t>(at)),
                           copy.bytes.data() + got, n, &done) ||
        done != n)
      break;
    got += n;
  }
  copy.bytes.resize(got);
}

DWORD MainThreadId() noexcept { return g_main_thread; }
HANDLE MainThreadHandle() noexcept { return g_main_handle; }
std::uint32_t MainStackTop() noexcept { return g_main_stack_top; }

void EndThreadOrProgram() noexcept {
  if (GetCurrentThreadId() == g_main_thread || g_main_thread == 0) ExitProcess(1);
  ForgetThread(GetCurrentThreadId());
  ExitThread(1);
}

void InstallExceptionHooks() {
  if (g_installed++ > 0) return;
  g_main_thread = GetCurrentThreadId();
  g_main_stack_top = CurrentStackTop();
  DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &g_main_handle,
                  THREAD_SUSPEND_RESUME | THREAD_GET_CONTEXT | THREAD_QUERY_INFORMATION | SYNCHRONIZE, FALSE, 0);
  HMODULE self = GetModuleHandleA(nullptr);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(self);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(reinterpret_cast<const char*>(self) + dos->e_lfanew);
  g_image_start = static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(self));
  g_image_end = g_image_start + nt->OptionalHeader.SizeOfImage;
  g_overflow.go = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  g_overflow.stop = false;
  g_overflow.thread = CreateThread(nullptr, 64 * 1024, &OverflowReporter, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION,
                                   nullptr);
  g_vectored = AddVectoredExceptionHandler(1, &VectoredFault);
  g_old_terminate = std::set_terminate(&OnTerminate);
  g_old_filter = SetUnhandledExceptionFilter(&OnUnhandled);
  InstallThreadHooks();
  SetFreezeWatchdogControl({&StartFreezeWatchdog, &StopFreezeWatchdog});
  if (HasCurrentReportOptions() && CurrentReportOptions().ReportingActive() && CurrentReportOptions().FreezeWatch())
    StartFreezeWatchdog();
}

namespace {

// True when this copy of the interception lives in a dynamic library rather than the program file.
bool InLibrary() {
  HMODULE own = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&InLibrary), &own);
  return own != GetModuleHandleA(nullptr);
}

}  // namespace

void RemoveExceptionHooks() {
  if (g_installed == 0 || --g_installed > 0) return;
  SetFreezeWatchdogControl({});
  // A library is finalised under the loader's lock, where no thread can end: waiting for our threads
  // there would wait for ever, so they are ended outright.
  const bool library = InLibrary();
  if (library) KillFreezeWatchdog();
  else StopFreezeWatchdog();
  RemoveThreadHooks();
  SetUnhandledExceptionFilter(g_old_filter);
  std::set_terminate(g_old_terminate);
  if (g_vectored) RemoveVectoredExceptionHandler(g_vectored);
  g_vectored = nullptr;
  g_overflow.stop = true;
  SetEvent(g_overflow.go);
  if (library) TerminateThread(g_overflow.thread, 1);
  WaitForSingleObject(g_overflow.thread, 5000);
  CloseHandle(g_overflow.thread);
  CloseHandle(g_overflow.go);
  if (g_main_handle) CloseHandle(g_main_handle);
  g_main_handle = nullptr;
}

}  // namespace sondrel
