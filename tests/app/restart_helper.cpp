// Stands for an instance of the program that the exception reporter restarts: it takes the program's
// single-instance slot with a window of its own, starts the program (argument 1) with the reporter's
// creation flags, lives on for the given milliseconds (argument 2) and is then ended from inside with
// exit code 1, without giving the slot back.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/CheckPrevious.h"
#include "base/cmdline.h"
#include "base/file.h"

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string exe = argv[1];
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(sondrel::TInstanceRecord), sondrel::InstanceBlockName(exe).c_str());
  if (!mapping) return 3;
  auto* record = static_cast<sondrel::TInstanceRecord*>(
      MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(sondrel::TInstanceRecord)));
  HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  if (!record || !window) return 4;
  record->Window = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(window));
  record->Count = 1;

  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string command = sondrel::QuoteArg(exe);
  const std::string folder = sondrel::ExtractFilePath(exe);
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr, folder.c_str(), &si, &pi))
    return 5;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  TerminateProcess(GetCurrentProcess(), 1);
  return 1;
}
