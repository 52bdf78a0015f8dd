// Start-up time: from process start to the main window shown and painted, for Sondrel and for a
// minimal one-window program built with the same flags, started alternately in one Wine session.
// "Painted" is the moment the program, its window visible, first waits for input with nothing left
// to handle (WaitForInputIdle): the window and all its controls have handled their WM_PAINT by then.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct FindState {
  DWORD pid;
  HWND found = nullptr;
};

BOOL CALLBACK FindVisible(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<FindState*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  if (pid != s->pid || !IsWindowVisible(h)) return TRUE;
  s->found = h;
  return FALSE;
}

std::string Folder() {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path);
  return s.substr(0, s.find_last_of('\\') + 1);
}

struct StartTimes {
  double visible = -1;  // the main window became visible (created, shown, not yet painted)
  double idle = -1;     // painted and idle
};

// One start: milliseconds to visible and to painted, negative when the window never came.
StartTimes TimeOneStart(const std::string& exe, const std::string& folder) {
  LARGE_INTEGER freq, t0, t1;
  QueryPerformanceFrequency(&freq);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "\"" + exe + "\"";
  QueryPerformanceCounter(&t0);
  StartTimes times;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi)) return times;
  auto since_start = [&] {
    QueryPerformanceCounter(&t1);
    return 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart);
  };
  FindState st{pi.dwProcessId, nullptr};
  const DWORD give_up = GetTickCount() + 20000;
  while (!st.found && GetTickCount() < give_up) {
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&st));
    if (!st.found) Sleep(1);
  }
  if (st.found) times.visible = since_start();
  DWORD_PTR answer = 0;
  // Idle, and its window answers a message: the program's loop is running with nothing left to do.
  if (st.found && WaitForInputIdle(pi.hProcess, 20000) == 0 &&
      SendMessageTimeoutA(st.found, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &answer))
    times.idle = since_start();
  if (st.found) PostMessageA(st.found, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(pi.hProcess, 15000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return times;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 25;  // start-up under Wine varies by half from run to run
  const std::string bin = Folder();
  // Sondrel runs from a folder of its own: its first start moves the default data files beside it
  // into the user's data folder, which must not take them from the build's program folder.
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "sondrel-bench\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  const std::string sondrel = folder + "Sondrel.exe";
  if (!CopyFileA((bin + "Sondrel.exe").c_str(), sondrel.c_str(), FALSE)) {
    std::printf("cannot copy Sondrel.exe to %s\n", sondrel.c_str());
    return 1;
  }
  const std::string minimal = bin + "minimal_window.exe";

  // One start of each first, untimed: the first start of a program pays for loading it from disk.
  TimeOneStart(sondrel, folder);
  TimeOneStart(minimal, bin);
  std::vector<double> a, b, a_visible, b_visible;
  for (int i = 0; i < runs; ++i) {
    const StartTimes s = TimeOneStart(sondrel, folder), m = TimeOneStart(minimal, bin);
    if (s.idle < 0 || m.idle < 0) {
      std::printf("run %d: a window did not appear\n", i);
      return 1;
    }
    a.push_back(s.idle);
    b.push_back(m.idle);
    a_visible.push_back(s.visible);
    b_visible.push_back(m.visible);
  }
  const double ms = Median(a), mm = Median(b);
  std::printf("start-up to main window painted, %d runs each, under Wine\n", runs);
  std::printf("  Sondrel         median %8.1f ms  (min %.1f, max %.1f)\n", ms, *std::min_element(a.begin(), a.end()),
              *std::max_element(a.begin(), a.end()));
  std::printf("  minimal window  median %8.1f ms  (min %.1f, max %.1f)\n", mm, *std::min_element(b.begin(), b.end()),
              *std::max_element(b.begin(), b.end()));
  std::printf("  ratio Sondrel / minimal: %.2f (aim: at most 1.30)\n", mm > 0 ? ms / mm : 0.0);
  // On a loaded machine the medians drift with the load; the fastest runs show the programs' own cost.
  const double min_s = *std::min_element(a.begin(), a.end()), min_m = *std::min_element(b.begin(), b.end());
  std::printf("  ratio of the fastest runs: %.2f\n", min_m > 0 ? min_s / min_m : 0.0);
  // Where the difference lies: before the window is on screen (process start, libraries, the reporter,
  // creating the windows) or after it (showing and painting them).
  std::printf("  to visible: Sondrel median %.1f ms, minimal %.1f ms; visible to painted and idle: %.1f ms, %.1f ms\n",
              Median(a_visible), Median(b_visible), ms - Median(a_visible), mm - Median(b_visible));
  return 0;
}
