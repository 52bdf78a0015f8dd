#pragma once
// Test helper: child processes with their output and exit code.
#include <windows.h>

#include <functional>
#include <string>

namespace sondrel::test {

struct ChildResult {
  DWORD exit_code = 0;
  std::string output;  // standard output and standard error together
  bool timed_out = false;
};

// Runs a command line, collects its output until it ends, or kills it after timeout_ms.
ChildResult RunChild(const std::string& command_line, DWORD timeout_ms = 30000, const std::string& folder = "");

// A started child that keeps running until Wait or the destructor (which kills it if still running).
class Child {
 public:
  // before_start, when given, runs with the main thread's identifier while the process is held before
  // its first instruction (to set a hook on that thread, say).
  explicit Child(const std::string& command_line, const std::string& folder = "",
                 const std::function<void(DWORD main_thread_id)>& before_start = {});
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  DWORD Pid() const { return info_.dwProcessId; }
  HANDLE Process() const { return info_.hProcess; }
  // Waits for the end; false on timeout. exit_code gets the process's exit code.
  bool Wait(DWORD timeout_ms, DWORD* exit_code = nullptr);
  bool Running() const { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

 private:
  PROCESS_INFORMATION info_{};
};

// The folder that holds the test programs and Sondrel.exe, with a trailing backslash.
std::string ProgramFolder();

// Whether a program file carries the exception reporter's options block as a resource (without it the
// reporter stays out of the program).
bool HasReportOptionsBlock(const std::string& exe);

}  // namespace sondrel::test
