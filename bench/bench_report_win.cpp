// Time from a fault to its report in the log (dialog and sending off), in a process with more than
// 20 modules, against a minimal unhandled-exception filter that writes one line to a file; both on
// the same fault context in the same run. Prints medians and the ratio.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/file.h"
#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/external_exception.h"
#include "errorreport/capture/report_system_win.h"

using namespace sondrel;
using Clock = std::chrono::steady_clock;

namespace {

std::string g_line_file;

// What a program without the reporter would do: one line to a file, then end.
LONG WINAPI MinimalFilter(EXCEPTION_POINTERS* info) {
  HANDLE f = CreateFileA(g_line_file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    char line[96];
    int n = std::snprintf(line, sizeof line, "Exception %08lX at %p\r\n", info->ExceptionRecord->ExceptionCode,
                          info->ExceptionRecord->ExceptionAddress);
    DWORD written = 0;
    WriteFile(f, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(f);
  }
  return EXCEPTION_EXECUTE_HANDLER;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

[[gnu::noinline]] void CaptureFault(CONTEXT& ctx, EXCEPTION_RECORD& rec) {
  RtlCaptureContext(&ctx);
  rec = {};
  rec.ExceptionCode = EXCEPTION_ACCESS_VIOLATION;
  rec.ExceptionAddress = reinterpret_cast<void*>(static_cast<uintptr_t>(ctx.Eip));
  rec.NumberParameters = 2;
  rec.ExceptionInformation[0] = 1;
  rec.ExceptionInformation[1] = 0;
}

}  // namespace

int main() {
  if (!ReporterActive()) {
    std::printf("the reporter is not active (no options block)\n");
    return 1;
  }
  for (const char* dll : {"ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "ws2_32.dll", "comdlg32.dll",
                          "winmm.dll", "crypt32.dll", "setupapi.dll", "wininet.dll", "urlmon.dll", "dbghelp.dll",
                          "iphlpapi.dll", "msimg32.dll", "winspool.drv", "rpcrt4.dll", "secur32.dll", "netapi32.dll"})
    LoadLibraryA(dll);
  std::vector<HMODULE> mods(512);
  DWORD needed = 0;
  EnumProcessModules(GetCurrentProcess(), mods.data(), static_cast<DWORD>(mods.size() * sizeof(HMODULE)), &needed);
  const size_t module_count = needed / sizeof(HMODULE);

  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string folder = std::string(temp) + "sondrel_bench_report\\";
  ForceDirectories(folder);
  const std::string log = folder + "bench.rpt";
  g_line_file = folder + "minimal.txt";
  TReportModuleOptionsEx& options = CurrentReportOptions();
  options.SetShowDialog(false);
  options.SetSendMode(TReportSendMode::rsNone);
  options.SetSaveLog(true);
  options.SetLogPath(log);

  CONTEXT ctx{};
  EXCEPTION_RECORD rec{};
  CaptureFault(ctx, rec);
  EXCEPTION_POINTERS pointers{&rec, &ctx};
  SystemExceptionFacts facts{rec.ExceptionCode, ctx.Eip, {1, 0}, 2};

  constexpr int kRuns = 15;
  std::vector<double> report_ms, minimal_ms;
  for (int i = 0; i < kRuns; ++i) {
    DeleteFileAt(log);
    TExceptNotifyParams known;
    known.Context = RegistersOf(ctx);
    known.StackPointer = ctx.Esp;
    auto t0 = Clock::now();
    ReportRoutine(MakeExternalException(facts), ctx.Eip, false, known);
    auto t1 = Clock::now();
    if (!FileExists(log)) {
      std::printf("no report was logged\n");
      return 1;
    }
    report_ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());

    auto t2 = Clock::now();
    MinimalFilter(&pointers);
    auto t3 = Clock::now();
    minimal_ms.push_back(std::chrono::duration<double, std::milli>(t3 - t2).count());
  }
  const double r = Median(report_ms), m = Median(minimal_ms);
  std::printf("modules in the process: %u\n", static_cast<unsigned>(module_count));
  // The first report also reads the program's line data and fills in its module record: the one a user sees.
  std::printf("first report (reads the line data): %.2f ms\n", report_ms.front());
  std::printf("fault to report logged (reporter): median %.2f ms over %d runs\n", r, kRuns);
  std::printf("minimal filter writing one line:  median %.3f ms over %d runs\n", m, kRuns);
  std::printf("ratio reporter / minimal: %.1f\n", m > 0 ? r / m : 0.0);
  return 0;
}
