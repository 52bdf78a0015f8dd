#include "tests/support/process_win.h"

#include <stdexcept>
#include <vector>

#include "base/file.h"
#include "base/handle_win.h"

namespace sondrel::test {

ChildResult RunChild(const std::string& command_line, DWORD timeout_ms, const std::string& folder) {
  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE read_raw = nullptr, write_raw = nullptr;
  if (!CreatePipe(&read_raw, &write_raw, &sa, 0)) throw std::runtime_error("CreatePipe failed");
  UniqueHandle read_end(read_raw), write_end(write_raw);
  SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end.get();
  si.hStdError = write_end.get();
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::string cmd = command_line;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(),
                      &si, &pi))
    throw std::runtime_error("CreateProcess failed for: " + command_line);
  UniqueHandle process(pi.hProcess), thread(pi.hThread);
  write_end.reset();  // the child holds the only write end now, so the pipe ends with it

  ChildResult r;
  const DWORD start = GetTickCount();
  char buf[4096];
  for (;;) {
    DWORD avail = 0;
    if (PeekNamedPipe(read_end.get(), nullptr, 0, nullptr, &avail, nullptr) && avail > 0) {
      DWORD n = 0;
      if (ReadFile(read_end.get(), buf, sizeof buf, &n, nullptr) && n) r.output.append(buf, n);
      continue;
    }
    if (WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0) {
      // Drain what is left after the end.
      DWORD n = 0;
      while (PeekNamedPipe(read_end.get(), nullptr, 0, nullptr, &avail, nullptr) && avail > 0 &&
             ReadFile(read_end.get(), buf, sizeof buf, &n, nullptr) && n)
        r.output.append(buf, n);
      break;
    }
    if (GetTickCount() - start > timeout_ms) {
      TerminateProcess(process.get(), 255);
      WaitForSingleObject(process.get(), 5000);
      r.timed_out = true;
      break;
    }
  }
  GetExitCodeProcess(process.get(), &r.exit_code);
  return r;
}

Child::Child(const std::string& command_line, const std::string& folder,
             const std::function<void(DWORD main_thread_id)>& before_start) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  std::string cmd = command_line;
  const DWORD flags = before_start ? CREATE_SUSPENDED : 0;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, flags, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &info_))
    throw std::runtime_error("CreateProcess failed for: " + command_line);
  if (!before_start) return;
  before_start(info_.dwThreadId);
  ResumeThread(info_.hThread);
}

Child::~Child() {
  if (Running()) {
    TerminateProcess(info_.hProcess, 255);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

bool Child::Wait(DWORD timeout_ms, DWORD* exit_code) {
  if (WaitForSingleObject(info_.hProcess, timeout_ms) != WAIT_OBJECT_0) return false;
  if (exit_code) GetExitCodeProcess(info_.hProcess, exit_code);
  return true;
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return ExtractFilePath(std::string(path, n));
}

bool HasReportOptionsBlock(const std::string& exe) {
  HMODULE m = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return false;
  const bool found = FindResourceA(m, "ERDATA", MAKEINTRESOURCEA(10)) != nullptr;
  FreeLibrary(m);
  return found;
}

}  // namespace sondrel::test
