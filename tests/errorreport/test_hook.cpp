// Code and import patching of the running test program, its own procedures and system ones.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "errorreport/capture/CodeHook_win.h"
#include "errorreport/capture/process_memory_win.h"

// Procedures with hand-picked first instructions: a short conditional jump and a call inside the bytes
// the jump overwrites, and two import-thunk forms.
asm(R"(
  .text
  .globl _BranchFirst@4
_BranchFirst@4:
  mov 4(%esp), %ecx
  test %ecx, %ecx
  je 1f
  mov $1, %eax
  ret $4
1:
  mov $2, %eax
  ret $4

  .globl _CallFirst
_CallFirst:
  call _FortyOne
  add $1, %eax
  ret
_FortyOne:
  mov $41, %eax
  ret

  .globl _ThunkToTarget
_ThunkToTarget:
  jmp *_target_slot
  .byte 0x8B, 0xC0
  .globl _NopThunkToTarget
_NopThunkToTarget:
  jmp *_target_slot
  nop
  nop
)");

extern "C" {
int __stdcall BranchFirst(int);
int CallFirst();
int ThunkToTarget(int);
int NopThunkToTarget(int);
void* target_slot;
}

namespace sondrel {
namespace {

using IntFn = int (*)(int);

__attribute__((noinline)) int Twice(int x) {
  asm volatile("");
  return 2 * x + (x > 1000 ? x / 7 : 0);
}
__attribute__((noinline)) int Target(int x) {
  asm volatile("");
  return x + 100 + (x > 1000 ? x % 3 : 0);
}
__attribute__((noinline)) int Factorial(int n) {
  asm volatile("");
  static int (*volatile self)(int) = &Factorial;  // a real call at every level, never a loop
  return n <= 1 ? 1 : n * self(n - 1);
}

std::vector<std::uint8_t> Bytes(const void* p, std::size_t n = 16) {
  const auto* b = static_cast<const std::uint8_t*>(p);
  return {b, b + n};
}

// Each test ends with everything undone, so that the next starts from the original code.
class HookTest : public ::testing::Test {
 protected:
  void SetUp() override { CodeHookInitialize(); }
  void TearDown() override { CodeHookFinalize(); }
};

IntFn twice_stub;
std::atomic<int> replacement_calls{0};
int TwicePlusOne(int x) {
  ++replacement_calls;
  return twice_stub(x) + 1;
}

TEST_F(HookTest, PatchedProcedureReachesReplacementAndStubRunsOriginal) {
  const auto before = Bytes(reinterpret_cast<void*>(&Twice));
  replacement_calls = 0;
  twice_stub = reinterpret_cast<IntFn>(CodePatch(reinterpret_cast<void*>(&Twice),
                                                 reinterpret_cast<void*>(&TwicePlusOne), "Twice"));
  ASSERT_NE(twice_stub, nullptr);
  volatile IntFn f = &Twice;
  EXPECT_EQ(f(5), 11);
  EXPECT_EQ(replacement_calls, 1);
  EXPECT_EQ(twice_stub(5), 10);  // the own code, once, without the replacement
  EXPECT_EQ(replacement_calls, 1);
  EXPECT_EQ(*reinterpret_cast<std::uint8_t*>(&Twice), 0xE9);  // the jump is still in place
  EXPECT_EQ(f(6), 13);
  RemoveCodePatch(reinterpret_cast<void*>(twice_stub));
  EXPECT_EQ(Bytes(reinterpret_cast<void*>(&Twice)), before);
  EXPECT_EQ(f(5), 10);
}

IntFn factorial_stub;
std::atomic<int> factorial_calls{0};
int CountingFactorial(int n) {
  ++factorial_calls;
  return factorial_stub(n);
}

TEST_F(HookTest, RecursionThroughTheStubReturnsCorrectly) {
  factorial_calls = 0;
  factorial_stub = reinterpret_cast<IntFn>(CodePatch(reinterpret_cast<void*>(&Factorial),
                                                     reinterpret_cast<void*>(&CountingFactorial), "Factorial"));
  volatile IntFn f = &Factorial;
  EXPECT_EQ(f(10), 3628800);
  EXPECT_EQ(factorial_calls, 10);  // every level went through the replacement and back
}

TEST_F(HookTest, TwoThreadsCallThroughOneStubAtOnce) {
  twice_stub = reinterpret_cast<IntFn>(CodePatch(reinterpret_cast<void*>(&Twice),
                                                 reinterpret_cast<void*>(&TwicePlusOne), "Twice"));
  std::atomic<int> wrong{0};
  auto work = [&wrong](int base) {
    volatile IntFn f = &Twice;
    for (int i = 0; i < 200000; ++i) {
      const int x = base + (i & 255);
      if (f(x) != 2 * x + 1) ++wrong;
    }
  };
  std::thread a(work, 0), b(work, 300);
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
}

int BranchReplacement(int) { return 7; }
int CallFirstReplacement() { return 0; }

TEST_F(HookTest, MovedBranchAndCallKeepTheirTargets) {
  using StdFn = int(__stdcall*)(int);
  auto branch_stub = reinterpret_cast<StdFn>(CodePatch(reinterpret_cast<void*>(&BranchFirst),
                                                       reinterpret_cast<void*>(&BranchReplacement), "BranchFirst"));
  EXPECT_EQ(branch_stub(0), 2);
  EXPECT_EQ(branch_stub(5), 1);
  auto call_stub = reinterpret_cast<int (*)()>(
      CodePatch(reinterpret_cast<void*>(&CallFirst), reinterpret_cast<void*>(&CallFirstReplacement), "CallFirst"));
  EXPECT_EQ(call_stub(), 42);
  volatile auto f = &CallFirst;
  EXPECT_EQ(f(), 0);
}

int TargetReplacement(int) { return -1; }

TEST_F(HookTest, ImportThunksPatchTheImportedProcedure) {
  target_slot = reinterpret_cast<void*>(&Target);
  for (void* thunk : {reinterpret_cast<void*>(&ThunkToTarget), reinterpret_cast<void*>(&NopThunkToTarget)}) {
    const auto thunk_before = Bytes(thunk, 8);
    auto stub = reinterpret_cast<IntFn>(CodePatch(thunk, reinterpret_cast<void*>(&TargetReplacement), "Thunk"));
    EXPECT_EQ(Bytes(thunk, 8), thunk_before);  // the thunk itself is untouched
    EXPECT_EQ(*reinterpret_cast<std::uint8_t*>(&Target), 0xE9);
    volatile IntFn f = &Target;
    EXPECT_EQ(f(1), -1);
    EXPECT_EQ(ThunkToTarget(1), -1);
    EXPECT_EQ(stub(1), 101);
    RemoveCodePatch(reinterpret_cast<void*>(stub));
    EXPECT_EQ(f(1), 101);
  }
}

TEST_F(HookTest, SystemProceduresKeepWorkingThroughTheirStubs) {
  // MulDiv and lstrlenA have whatever prologue the system's compiler gave them.
  using MulDivFn = int(WINAPI*)(int, int, int);
  static MulDivFn muldiv_stub;
  muldiv_stub = reinterpret_cast<MulDivFn>(CodePatch(reinterpret_cast<void*>(&MulDiv),
                                                     reinterpret_cast<void*>(+[](int a, int b, int c) WINAPI {
                                                       return muldiv_stub(a, b, c) + 1;
                                                     }),
                                                     "kernel32.MulDiv"));
  EXPECT_EQ(MulDiv(10, 6, 3), 21);
  EXPECT_EQ(muldiv_stub(10, 6, 3), 20);
  using LenFn = int(WINAPI*)(LPCSTR);
  static LenFn len_stub;
  len_stub = reinterpret_cast<LenFn>(CodePatch(reinterpret_cast<void*>(&lstrlenA),
                                               reinterpret_cast<void*>(+[](LPCSTR s) WINAPI { return len_stub(s) * 10; }),
                                               "kernel32.lstrlenA"));
  EXPECT_EQ(lstrlenA("abcd"), 40);
  EXPECT_EQ(len_stub("abcd"), 4);
}

TEST_F(HookTest, FailuresRaiseTheirClassesAndChangeNothing) {
  try {
    CodePatch(nullptr, reinterpret_cast<void*>(&Target), "Nothing");
    FAIL();
  } catch (const EProcNull& e) {
    EXPECT_STREQ(e.what(), "Cannot hook a null procedure (\"Nothing\").");
  }
  // Unreadable memory cannot be patched.
  try {
    CodePatch(reinterpret_cast<void*>(0x10), reinterpret_cast<void*>(&Target), "Low");
    FAIL();
  } catch (const EHookingError& e) {
    EXPECT_STREQ(e.what(), "Cannot hook the procedure \"Low\".");
  }
}

DWORD WINAPI FakeTickCount() { return 12345; }
__attribute__((noinline)) DWORD TickThroughImport() { return GetTickCount(); }

TEST_F(HookTest, ImportPatchRewritesTheProgramsSlots) {
  HMODULE self = GetModuleHandleA(nullptr);
  void* real = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount"));
  void* previous = ImportPatch(self, real, reinterpret_cast<void*>(&FakeTickCount), false, false, "GetTickCount");
  EXPECT_EQ(previous, real);
  EXPECT_EQ(TickThroughImport(), 12345u);
  CodeHookFinalize();
  CodeHookInitialize();
  EXPECT_NE(TickThroughImport(), 12345u);
}

TEST_F(HookTest, ModuleWithoutTheImportReturnsNoneWhenQuiet) {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  void* real = reinterpret_cast<void*>(&GetTickCount);
  EXPECT_EQ(ImportPatch(ntdll, real, reinterpret_cast<void*>(&FakeTickCount), false, true, "x"), nullptr);
  try {
    ImportPatch(ntdll, real, reinterpret_cast<void*>(&FakeTickCount), false, false, "kernel32.dll.GetTickCount");
    FAIL();
  } catch (const EHookingError& e) {
    EXPECT_STREQ(e.what(), "Cannot hook the procedure \"kernel32.dll.GetTickCount\".");
  }
}

TEST_F(HookTest, ApiHookByNameReportsPreviousAlways) {
  void* previous = nullptr;
  EXPECT_TRUE(ApiHookByName({"", "no-such-module.dll"}, "kernel32.dll", true, &previous,
                            reinterpret_cast<void*>(&FakeTickCount), "GetTickCount"));
  EXPECT_EQ(previous, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount")));
  EXPECT_EQ(TickThroughImport(), 12345u);
  previous = reinterpret_cast<void*>(1);
  EXPECT_FALSE(ApiHookByName({""}, "kernel32.dll", true, &previous, reinterpret_cast<void*>(&FakeTickCount),
                             "NoSuchProcedure"));
  EXPECT_EQ(previous, nullptr);
}

std::atomic<int> created{0};
using CreateThreadFn = decltype(&CreateThread);
CreateThreadFn real_create_thread;
HANDLE WINAPI CountingCreateThread(LPSECURITY_ATTRIBUTES a, SIZE_T s, LPTHREAD_START_ROUTINE f, LPVOID p, DWORD fl,
                                   LPDWORD id) {
  ++created;
  return real_create_thread(a, s, f, p, fl, id);
}

TEST_F(HookTest, TheRuntimesOwnImportOfCreateThreadSeesStdThread) {
  void* previous = nullptr;
  created = 0;
  ApiHookByName({"", "msvcrt.dll"}, "kernel32.dll", true, &previous, reinterpret_cast<void*>(&CountingCreateThread),
                "CreateThread");
  real_create_thread = reinterpret_cast<CreateThreadFn>(previous);
  std::thread([] {}).join();
  EXPECT_GE(created, 1);
}

// The slot of a library that imports CreateThread under an API-set name holds kernelbase's
// procedure, not kernel32's export; it is found all the same, and put back at finalisation.
TEST_F(HookTest, SlotsImportedThroughAnApiSetNameAreFoundByTheProcedureTheyReach) {
  HMODULE lib = LoadLibraryA("apiset_import.dll");
  ASSERT_NE(lib, nullptr);
  auto slot = reinterpret_cast<void* (*)()>(reinterpret_cast<void*>(GetProcAddress(lib, "ImportedCreateThread")));
  auto start = reinterpret_cast<HANDLE (*)(LPTHREAD_START_ROUTINE, void*)>(
      reinterpret_cast<void*>(GetProcAddress(lib, "StartThroughImport")));
  ASSERT_TRUE(slot && start);
  void* bound = slot();
  ASSERT_NE(bound, reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateThread")))
      << "the library's slot should hold another address than kernel32's export";
  void* previous = nullptr;
  created = 0;
  EXPECT_TRUE(ApiHookByName({"apiset_import.dll"}, "kernel32.dll", false, &previous,
                            reinterpret_cast<void*>(&CountingCreateThread), "CreateThread"));
  real_create_thread = reinterpret_cast<CreateThreadFn>(previous);
  EXPECT_EQ(slot(), reinterpret_cast<void*>(&CountingCreateThread));
  HANDLE t = start([](void*) WINAPI -> DWORD { return 0; }, nullptr);
  ASSERT_NE(t, nullptr);
  WaitForSingleObject(t, 10000);
  CloseHandle(t);
  EXPECT_EQ(created, 1);
  CodeHookFinalize();
  EXPECT_EQ(slot(), bound);
  CodeHookInitialize();  // for the fixture's own finalisation
}

TEST(HookFinalisation, RestoresEveryByteAndSlot) {
  HMODULE self = GetModuleHandleA(nullptr);
  ProcessMemory memory;
  void* tick = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetTickCount"));
  const auto slots = FindImportSlots(memory, static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(self)),
                                     static_cast<std::uint32_t>(reinterpret_cast<uintptr_t>(tick)));
  ASSERT_FALSE(slots.empty());
  const auto twice = Bytes(reinterpret_cast<void*>(&Twice));
  const auto target = Bytes(reinterpret_cast<void*>(&Target));
  const auto muldiv = Bytes(reinterpret_cast<void*>(&MulDiv));

  CodeHookInitialize();
  CodeHookInitialize();  // a second user: nothing is undone until both have finished
  CodePatch(reinterpret_cast<void*>(&Twice), reinterpret_cast<void*>(&TwicePlusOne), "Twice");
  CodePatch(reinterpret_cast<void*>(&Twice), reinterpret_cast<void*>(&Target), "Twice again");
  CodePatch(reinterpret_cast<void*>(&Target), reinterpret_cast<void*>(&TargetReplacement), "Target");
  CodePatch(reinterpret_cast<void*>(&MulDiv), reinterpret_cast<void*>(&Target), "MulDiv");
  ImportPatch(self, tick, reinterpret_cast<void*>(&FakeTickCount), false, false, "GetTickCount");
  CodeHookFinalize();
  EXPECT_NE(Bytes(reinterpret_cast<void*>(&Twice)), twice);
  CodeHookFinalize();

  EXPECT_EQ(Bytes(reinterpret_cast<void*>(&Twice)), twice);
  EXPECT_EQ(Bytes(reinterpret_cast<void*>(&Target)), target);
  EXPECT_EQ(Bytes(reinterpret_cast<void*>(&MulDiv)), muldiv);
  for (std::uint32_t slot : slots)
    EXPECT_EQ(*reinterpret_cast<void**>(static_cast<uintptr_t>(slot)), tick);
}

}  // namespace
}  // namespace sondrel
