// Start-up time: from process start to the main window shown and painted, for Sondrel and for its
// baselines (minimal_window_win.cpp), started alternately in one Wine session. The aim is measured
// against the empty window; the other two say how much of the difference the common controls' start
// and Wine's cost of the same windows account for, and so how much is left for Sondrel's own work.
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
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si, &pi))
    return times;
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
  const int runs =
      argc > 1 ? std::max(3, std::atoi(argv[1])) : 25;  // start-up under Wine varies by half from run to run
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
  struct Program {
    const char* name;
    std::string exe, folder;
    std::vector<double> idle, visible;
  };
  // Sondrel first, then its baselines: the aim's empty window, and two steps from it towards Sondrel.
  std::vector<Program> programs{{"Sondrel", sondrel, folder, {}, {}},
                                {"minimal window", bin + "minimal_window.exe", bin, {}, {}},
                                {"+ common controls", bin + "controls_window.exe", bin, {}, {}},
                                {"+ the same windows", bin + "same_windows.exe", bin, {}, {}}};

  // One start of each first, untimed: the first start of a program pays for loading it from disk.
  for (Program& p : programs) TimeOneStart(p.exe, p.folder);
  for (int i = 0; i < runs; ++i) {
    for (Program& p : programs) {
      const StartTimes t = TimeOneStart(p.exe, p.folder);
      if (t.idle < 0) {
        std::printf("run %d: the window of %s did not appear\n", i, p.name);
        return 1;
      }
      p.idle.push_back(t.idle);
      p.visible.push_back(t.visible);
    }
  }
  std::printf("start-up to main window painted, %d runs each, alternating, under Wine\n", runs);
  for (const Program& p : programs)
    std::printf(
        "  %-20s median %8.1f ms  (min %.1f, max %.1f); to visible %.1f ms, visible to idle %.1f ms\n",
        p.name, Median(p.idle), *std::min_element(p.idle.begin(), p.idle.end()),
        *std::max_element(p.idle.begin(), p.idle.end()), Median(p.visible),
        Median(p.idle) - Median(p.visible));
  const auto ratio = [&](size_t a, size_t b) {
    const double m = Median(programs[b].idle);
    return m > 0 ? Median(programs[a].idle) / m : 0.0;
  };
  // On a loaded machine the medians drift with the load; the fastest runs show the programs' own cost.
  const auto fastest = [&](size_t i) {
    return *std::min_element(programs[i].idle.begin(), programs[i].idle.end());
  };
  std::printf("  ratio Sondrel / minimal: %.2f (aim: at most 1.30); of the fastest runs: %.2f\n", ratio(0, 1),
              fastest(0) / fastest(1));
  // Where the difference lies: the common controls' start, Wine's cost of the same windows, and what
  // is left for Sondrel's own work (data files, reporter, framework, drawing its pictures).
  std::printf(
      "  common controls / minimal: %.2f; same windows / minimal: %.2f; Sondrel / same windows: %.2f\n",
      ratio(2, 1), ratio(3, 1), ratio(0, 3));
  return 0;
}
