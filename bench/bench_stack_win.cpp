// What building a report's call stack and module list costs, against the platform's own debugging
// library on the same thread in the same run: a 1 MB stack scanned with every row resolved, against
// StackWalk64 with SymFromAddr and SymGetLineFromAddr64 for every frame; and a refresh of a list of
// more than 20 modules (listing, and listing with every module's exports read), against the debugging
// library's own module load. Prints medians and ratios; timings are reports, never checks.
#include <windows.h>
#include <dbghelp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "errorreport/capture/module_source_win.h"
#include "errorreport/capture/pe_image.h"
#include "errorreport/capture/stack_scan.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace sondrel;

double MedianMillis(int runs, const std::function<void()>& work) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    const auto start = Clock::now();
    work();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}


// The build embeds the bench program's line data; should it be missing, the program module gets data
// as dense as a real build's: one range per 6 bytes of code, a new procedure every 40 ranges.
class BenchSource : public ProcessModuleSource {
 public:
  ModuleBlock ReadBlock(uint32_t handle, const std::string& path, TReportModuleOptions& options) override {
    ModuleBlock block = ProcessModuleSource::ReadBlock(handle, path, options);
    if (handle != ProgramModule() || !block.debug_data.empty()) return block;
    std::printf("(no embedded line data: synthetic data for the program)\n");
    ImageView image(Memory(), handle);
    const auto code_base = image.read<uint32_t>(image.read<uint32_t>(60).value_or(0) + 24 + 20).value_or(0x1000);
    const auto code_size = image.read<uint32_t>(image.read<uint32_t>(60).value_or(0) + 24 + 4).value_or(0);
    DebugDataWriter w;
    int line = 1;
    for (uint32_t at = 0, n = 0; at + 6 <= code_size; at += 6, ++n) {
      line = n % 40 == 0 ? static_cast<int>(n % 700) + 1 : line + 1;
      w.AddRange({code_base + at, 6, "unit" + std::to_string(n / 4000) + ".cpp", line, "bench::TClass",
                  "Proc" + std::to_string(n / 40)});
    }
    block.found = true;
    block.debug_data = w.Build();
    return block;
  }
};

struct Deep {
  TReportModulesList* modules;
  size_t rows = 0, frames = 0;
  double ours_ms = 0, dbghelp_ms = 0, scan_ms = 0;
  size_t scan_rows = 0;
};

// Measured at the bottom of a deep recursion that fills about 1 MB of stack.
__attribute__((noinline)) void Measure(Deep& d) {
  uint32_t sp = 0, top = 0;
  asm volatile("movl %%esp, %0" : "=r"(sp));
  asm volatile("movl %%fs:4, %0" : "=r"(top));
  d.ours_ms = MedianMillis(9, [&] { d.rows = d.modules->BuildStack(std::nullopt, sp, top).Count(); });
  ProcessMemory memory;
  d.scan_ms = MedianMillis(9, [&] {
    memory.Forget();
    d.scan_rows = ScanStackForCalls(memory, sp, top).size();
  });

  HANDLE process = GetCurrentProcess(), thread = GetCurrentThread();
  d.dbghelp_ms = MedianMillis(9, [&] {
    // The registers of this point, taken directly: the system's context capture leaves Eip empty here.
    CONTEXT context{};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
    uint32_t eip = 0, esp = 0, ebp = 0;
    asm volatile("call 1f\n1: popl %0" : "=r"(eip));
    asm volatile("movl %%esp, %0\n\tmovl %%ebp, %1" : "=r"(esp), "=r"(ebp));
    context.Eip = eip;
    context.Esp = esp;
    context.Ebp = ebp;
    STACKFRAME64 frame{};
    frame.AddrPC.Offset = context.Eip;
    frame.AddrPC.Mode = AddrModeFlat;
    frame.AddrFrame.Offset = context.Ebp;
    frame.AddrFrame.Mode = AddrModeFlat;
    frame.AddrStack.Offset = context.Esp;
    frame.AddrStack.Mode = AddrModeFlat;
    alignas(SYMBOL_INFO) char buffer[sizeof(SYMBOL_INFO) + 256];
    size_t frames = 0;
    while (StackWalk64(IMAGE_FILE_MACHINE_I386, process, thread, &frame, &context, nullptr, SymFunctionTableAccess64,
                       SymGetModuleBase64, nullptr) &&
           frame.AddrPC.Offset != 0 && frames < 100000) {
      auto* symbol = reinterpret_cast<SYMBOL_INFO*>(buffer);
      symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
      symbol->MaxNameLen = 255;
      DWORD64 displacement = 0;
      SymFromAddr(process, frame.AddrPC.Offset, &displacement, symbol);
      IMAGEHLP_LINE64 line{};
      line.SizeOfStruct = sizeof line;
      DWORD column = 0;
      SymGetLineFromAddr64(process, frame.AddrPC.Offset, &column, &line);
      ++frames;
    }
    d.frames = frames;
  });
}

__attribute__((noinline)) void Recurse(Deep& d, int depth) {
  volatile char pad[4000];
  pad[0] = static_cast<char>(depth);
  if (depth > 0)
    Recurse(d, depth - 1);
  else
    Measure(d);
  asm volatile("" ::: "memory");
  (void)pad[0];
}

DWORD WINAPI StackThread(void* p) {
  Recurse(*static_cast<Deep*>(p), 260);  // 260 frames of about 4 KB: just over 1 MB
  return 0;
}

}  // namespace

int main() {
  for (const char* dll : {"user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
                          "comctl32.dll", "comdlg32.dll", "ws2_32.dll", "wininet.dll", "version.dll", "psapi.dll",
                          "shlwapi.dll", "winmm.dll", "crypt32.dll", "rpcrt4.dll", "imm32.dll", "setupapi.dll",
                          "iphlpapi.dll", "mapi32.dll", "hhctrl.ocx"})
    LoadLibraryA(dll);

  BenchSource source;
  TReportModulesList modules(source);
  modules.Refresh();
  const size_t module_count = modules.Count();

  const double sym_init_ms = MedianMillis(5, [] {
    SymInitialize(GetCurrentProcess(), nullptr, TRUE);
    SymCleanup(GetCurrentProcess());
  });
  SymSetOptions(SYMOPT_LOAD_LINES | SYMOPT_DEFERRED_LOADS | SYMOPT_UNDNAME);
  SymInitialize(GetCurrentProcess(), nullptr, TRUE);

  const double list_ms = MedianMillis(9, [&] {
    TReportModulesList fresh(source);
    fresh.Refresh();
  });
  const double full_ms = MedianMillis(5, [&] {
    TReportModulesList fresh(source);
    fresh.Refresh();
    for (size_t i = 0; i < fresh.Count(); ++i) fresh.FindModule(fresh[i].handle);
  });
  // Where the full refresh goes: exports, options blocks, version resources, per pass over all modules.
  std::vector<uint32_t> handles;
  for (size_t i = 0; i < modules.Count(); ++i) handles.push_back(modules[i].handle);
  size_t export_count = 0;
  const double exports_ms = MedianMillis(5, [&] {
    export_count = 0;
    source.BeginPass();
    for (uint32_t h : handles) export_count += ImageView(source.Memory(), h).Exports().size();
  });
  const double blocks_ms = MedianMillis(5, [&] {
    for (size_t i = 0; i < modules.Count(); ++i) {
      TReportModuleOptionsEx options(modules[i].path, false);
      source.ProcessModuleSource::ReadBlock(modules[i].handle, modules[i].path, options);
    }
  });
  const double versions_ms = MedianMillis(5, [&] {
    for (size_t i = 0; i < modules.Count(); ++i) source.VersionOf(modules[i].path);
  });
  // Analyse every module once, as the reporter has after its first report.
  for (size_t i = 0; i < modules.Count(); ++i) modules.FindModule(modules[i].handle);

  Deep deep{&modules};
  HANDLE thread = CreateThread(nullptr, 4 << 20, StackThread, &deep, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  SymCleanup(GetCurrentProcess());

  if (auto program = modules.FindModule(source.ProgramModule()); program && program->debug)
    std::printf("program line data: %zu bytes, %zu units\n", program->debug->bytes().size(),
                program->debug->unit_count());
  std::printf("stack: 1 MB scan + resolution     %9.3f ms median (%zu rows)\n", deep.ours_ms, deep.rows);
  std::printf("stack: StackWalk64+SymFromAddr+Line %9.3f ms median (%zu frames)\n", deep.dbghelp_ms, deep.frames);
  std::printf("stack: scan alone                   %9.3f ms median (%zu addresses)\n", deep.scan_ms, deep.scan_rows);
  std::printf("stack: ratio ours/dbghelp          %9.2f\n", deep.ours_ms / deep.dbghelp_ms);
  std::printf("modules: refresh, list only        %9.3f ms median (%zu modules)\n", list_ms, module_count);
  std::printf("modules: refresh + exports read    %9.3f ms median\n", full_ms);
  std::printf("modules: of which exports          %9.3f ms (%zu exports), blocks %.3f ms, versions %.3f ms\n",
              exports_ms, export_count, blocks_ms, versions_ms);
  std::printf("modules: SymInitialize(invade)+Cleanup %6.3f ms median\n", sym_init_ms);
  std::printf("modules: ratio full/SymInitialize  %9.2f\n", full_ms / sym_init_ms);
  return 0;
}
