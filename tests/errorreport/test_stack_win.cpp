// The call stack and module list on real code and real modules under the system.
#include <windows.h>
#include <dbghelp.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "base/file.h"
#include "base/text.h"
#include "errorreport/capture/module_source_win.h"
#include "errorreport/capture/report_text.h"
#include "stack_chain_win.h"

namespace sondrel::test {

__attribute__((noinline)) int CaptureStackHere(ChainCapture& c) {
  uint32_t sp = 0;
  asm volatile("movl %%esp, %0" : "=r"(sp));
  uint32_t top = 0;  // the thread block's StackBase; read directly, the header's reader trips a warning
  asm volatile("movl %%fs:4, %0" : "=r"(top));
  c.rows = c.modules->BuildStack(std::nullopt, sp, top);
  asm volatile("" ::: "memory");
  return static_cast<int>(c.rows.Count());
}

namespace {

uint32_t Addr(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }
template <class F>
uint32_t FnAddr(F* f) {
  return Addr(reinterpret_cast<const void*>(f));
}

// The program's own debug data when the build embedded it; otherwise line data made here from the
// program's DWARF lines as the platform's debugging library reads them, for the three chain procedures,
// through the same encoder the build tool uses.
class TestSource : public ProcessModuleSource {
 public:
  ModuleBlock ReadBlock(uint32_t handle, const std::string& path, TReportModuleOptions& options) override {
    ModuleBlock block = ProcessModuleSource::ReadBlock(handle, path, options);
    if (handle != ProgramModule() || !block.debug_data.empty()) return block;
    embedded = false;
    HANDLE process = GetCurrentProcess();
    SymSetOptions(SYMOPT_LOAD_LINES);
    if (!SymInitialize(process, nullptr, FALSE)) return block;
    if (!SymLoadModuleEx(process, nullptr, path.c_str(), nullptr, handle, 0, nullptr, 0)) {
      SymCleanup(process);
      return block;
    }
    std::vector<DebugProcedure> procs;
    std::vector<DebugLineRow> rows;
    const std::pair<uint32_t, const char*> chain[] = {
        {FnAddr(&ChainOuter), "ChainOuter"}, {FnAddr(&ChainMiddle), "ChainMiddle"}, {FnAddr(&ChainInner), "ChainInner"}};
    for (auto [entry, name] : chain) {
      alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + 256] = {};
      auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
      symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
      symbol->MaxNameLen = 255;
      DWORD64 displacement = 0;
      if (!SymFromAddr(process, entry, &displacement, symbol) || symbol->Size == 0) continue;
      const auto size = static_cast<uint32_t>(symbol->Size);
      // Free functions: no class, the namespace stays in the procedure's name (as the build's tool writes).
      procs.push_back({entry - handle, size, "", "", std::string("sondrel::test::") + name});
      int last = -1;
      for (uint32_t a = entry; a < entry + size; ++a) {
        IMAGEHLP_LINE64 line{};
        line.SizeOfStruct = sizeof line;
        DWORD column = 0;
        if (!SymGetLineFromAddr64(process, a, &column, &line) || static_cast<int>(line.LineNumber) == last) continue;
        last = static_cast<int>(line.LineNumber);
        rows.push_back({a - handle, ExtractFileName(line.FileName), last});
      }
      rows.push_back({entry + size - handle, "", 0});  // the end of the procedure's sequence
    }
    SymCleanup(process);
    lines = rows.size();
    block.found = true;
    block.debug_data = EncodeDebugData(procs, rows);
    return block;
  }
  bool embedded = true;
  size_t lines = 0;
};

TEST(StackWin, ChainOfThreeFunctionsResolvesToFilesAndLines) {
  TestSource source;
  TReportModulesList modules(source);
  ChainCapture capture;
  capture.modules = &modules;
  ASSERT_GT(ChainOuter(capture), 0);
  std::printf("debug data: %s\n", source.embedded ? "embedded by the build" : "made by the test from DWARF lines");
  if (!source.embedded) {
    ASSERT_GT(source.lines, 3u);
  }

  struct Want {
    const char* procedure;
    const char* unit;
    int line;
    uint32_t entry;
  } wants[] = {{"sondrel::test::ChainInner", "stack_chain_c_win.cpp", kChainInnerCallLine, FnAddr(&ChainInner)},
               {"sondrel::test::ChainMiddle", "stack_chain_b_win.cpp", kChainMiddleCallLine, FnAddr(&ChainMiddle)},
               {"sondrel::test::ChainOuter", "stack_chain_a_win.cpp", kChainOuterCallLine, FnAddr(&ChainOuter)}};
  // The call-site rows of the three procedures, innermost first (entry rows of direct calls come
  // before them and are skipped here).
  size_t from = 0;
  for (const Want& w : wants) {
    size_t i = from;
    for (; i < capture.rows.Count(); ++i) {
      const auto& r = capture.rows[i];
      if (r.procedure_name == w.procedure && r.address != w.entry) break;
    }
    ASSERT_LT(i, capture.rows.Count()) << w.procedure << " not found after row " << from;
    const TReportDebugInfo& row = capture.rows[i];
    EXPECT_EQ(row.kind, 4) << w.procedure;
    EXPECT_EQ(row.unit_name, w.unit);
    EXPECT_EQ(row.class_name, "");  // free functions have no class
    EXPECT_EQ(row.line, w.line) << w.procedure;
    ASSERT_TRUE(row.module);
    EXPECT_EQ(row.module->handle, Addr(GetModuleHandleA(nullptr)));
    from = i + 1;
  }
  // The hook installer's lookup by qualified name finds the same procedures in the line data.
  EXPECT_EQ(modules.FindProcedureByName("sondrel::test::ChainMiddle"), FnAddr(&ChainMiddle));
  EXPECT_FALSE(modules.FindProcedureByName("sondrel::test::chainmiddle"));
  // The direct call into ChainInner also gave ChainInner's entry just before the call site in ChainMiddle.
  bool entry_row = false;
  for (size_t i = 0; i + 1 < capture.rows.Count(); ++i)
    entry_row |= capture.rows[i].address == FnAddr(&ChainInner) &&
                 capture.rows[i + 1].procedure_name == "sondrel::test::ChainMiddle";
  EXPECT_TRUE(entry_row);
}

TEST(StackWin, SystemLibraryAddressResolvesThroughItsExports) {
  ProcessModuleSource source;
  TReportModulesList modules(source);
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  for (const char* name : {"RtlAllocateHeap", "NtClose", "RtlInitAnsiString"}) {
    const uint32_t entry = FnAddr(GetProcAddress(ntdll, name));
    ASSERT_NE(entry, 0u) << name;
    TReportDebugInfo row = modules.ResolveAddress(entry + 1);
    ASSERT_TRUE(row.module) << name;
    EXPECT_TRUE(SameText(row.module->Name(), "ntdll.dll"));
    EXPECT_TRUE(row.kind == 2 || row.kind == 3) << name << " kind " << int(row.kind);
    // Several names may share an entry: the one found names the same code.
    EXPECT_EQ(FnAddr(GetProcAddress(ntdll, row.procedure_name.c_str())), entry) << name << " -> " << row.procedure_name;
  }
  EXPECT_EQ(modules.ResolveAddress(0x10).kind, 0);
}

TEST(StackWin, ModuleListHoldsProgramAndSystemLibrariesSortedWithVersions) {
  ProcessModuleSource source;
  TReportModulesList modules(source);
  modules.Refresh();
  ASSERT_GE(modules.Count(), 3u);
  for (size_t i = 1; i < modules.Count(); ++i) EXPECT_LT(modules[i - 1].handle, modules[i].handle);
  auto program = modules.FindModule(Addr(GetModuleHandleA(nullptr)));
  ASSERT_TRUE(program);
  EXPECT_EQ(program->version, "1.2.3.4");
  EXPECT_EQ(program->description, "Stack test program");
  EXPECT_EQ(program->kind, 1);
  EXPECT_GT(program->file_size, 0u);
  EXPECT_NE(program->file_time, 0u);
  ASSERT_TRUE(program->options);
  for (const char* dll : {"ntdll.dll", "kernel32.dll"}) {
    auto m = modules.FindModule(Addr(GetModuleHandleA(dll)));
    ASSERT_TRUE(m) << dll;
    EXPECT_TRUE(SameText(m->Name(), dll)) << m->path;
    EXPECT_FALSE(m->version.empty()) << dll;
    EXPECT_EQ(m->kind, 3) << dll;
    EXPECT_GT(m->functions.Count(), 100u) << dll;
  }
  // Both enumeration paths see the same modules.
  auto psapi = EnumerateModulesWithPsapi(), toolhelp = EnumerateModulesWithToolHelp();
  ASSERT_TRUE(psapi && toolhelp);
  std::sort(psapi->begin(), psapi->end());
  std::sort(toolhelp->begin(), toolhelp->end());
  EXPECT_EQ(*psapi, *toolhelp);
}

TEST(StackWin, LoadedLibraryShowsEmptyVersionAndLeavesTheListWhenUnloaded) {
  ProcessModuleSource source;
  TReportModulesList modules(source);
  HMODULE lib = LoadLibraryA("stack_fixture.dll");
  ASSERT_TRUE(lib);
  modules.Refresh();
  auto m = modules.FindModule(Addr(lib));
  ASSERT_TRUE(m);
  EXPECT_EQ(m->version, "");  // its resource says 0.0.0.0
  EXPECT_EQ(m->description, "Stack fixture library");
  EXPECT_EQ(m->kind, 3);
  const auto add = FnAddr(GetProcAddress(lib, "StackFixtureAdd"));
  auto row = modules.ResolveAddress(add);
  EXPECT_EQ(row.kind, 2);
  EXPECT_EQ(row.procedure_name, "StackFixtureAdd");
  // The Path column: the folder without its final backslash.
  const std::string folder = ModuleFolderText(m->path);
  EXPECT_EQ(folder + "\\" + m->Name(), m->path);
  EXPECT_NE(folder.back(), '\\');
  FreeLibrary(lib);
  modules.Refresh();
  for (size_t i = 0; i < modules.Count(); ++i) EXPECT_FALSE(SameText(modules[i].Name(), "stack_fixture.dll"));
  EXPECT_TRUE(m->path.size() > 0);  // a row that still holds the record keeps it readable
}

TEST(StackWin, DriveRootKeepsItsBackslashInThePathColumn) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string from = ExtractFilePath(self) + "stack_fixture.dll";
  const std::string root = "C:\\stack_fixture_root.dll";
  ASSERT_TRUE(CopyFileA(from.c_str(), root.c_str(), FALSE));
  HMODULE lib = LoadLibraryA(root.c_str());
  ASSERT_TRUE(lib);
  ProcessModuleSource source;
  TReportModulesList modules(source);
  modules.Refresh();
  auto m = modules.FindModule(Addr(lib));
  ASSERT_TRUE(m);
  EXPECT_TRUE(SameText(m->path, root)) << m->path;
  EXPECT_EQ(ModuleFolderText(m->path), "C:\\");
  FreeLibrary(lib);
  DeleteFileA(root.c_str());
}

TEST(StackWin, MemoryReaderFailsInsteadOfFaulting) {
  ProcessMemory memory;
  int local = 42;
  EXPECT_TRUE(memory.Readable(Addr(&local), sizeof local));
  int copy = 0;
  EXPECT_TRUE(memory.Read(Addr(&local), &copy, sizeof copy));
  EXPECT_EQ(copy, 42);
  EXPECT_FALSE(memory.Readable(0, 4));
  EXPECT_FALSE(memory.Read(0, &copy, 4));
  // A page that is given back after the readable test: the read fails, nothing faults. (Decommitted,
  // not released, so that no other allocation can take its place in between.)
  char* pages = static_cast<char*>(VirtualAlloc(nullptr, 0x2000, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_TRUE(pages);
  EXPECT_TRUE(memory.Readable(Addr(pages), 0x2000));
  EXPECT_EQ(memory.AllocationBase(Addr(pages) + 0x1800), Addr(pages));
  ASSERT_TRUE(VirtualFree(pages + 0x1000, 0x1000, MEM_DECOMMIT));
  EXPECT_TRUE(memory.Read(Addr(pages) + 0xFFC, &copy, 4));
  // Whether these succeed depends on the system (Wine reads zeros); what counts is that they return.
  (void)memory.Read(Addr(pages) + 0xFFE, &copy, 4);
  (void)memory.Read(Addr(pages) + 0x1000, &copy, 4);
  memory.Forget();
  EXPECT_FALSE(memory.Readable(Addr(pages), 0x2000));
  EXPECT_TRUE(memory.Readable(Addr(pages), 0x1000));
  EXPECT_EQ(memory.AllocationBase(Addr(pages) + 0x1000), 0u);
  VirtualFree(pages, 0, MEM_RELEASE);
  // A guard page is not readable; a range running from a readable page into it is not either.
  char* guarded = static_cast<char*>(VirtualAlloc(nullptr, 0x2000, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(guarded + 0x1000, 0x1000, PAGE_READWRITE | PAGE_GUARD, &old));
  EXPECT_TRUE(memory.Readable(Addr(guarded), 0x1000));
  EXPECT_FALSE(memory.Readable(Addr(guarded) + 0xFFC, 8));
  VirtualFree(guarded, 0, MEM_RELEASE);
}

}  // namespace
}  // namespace sondrel::test
