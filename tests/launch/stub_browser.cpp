// A stand-in for a web browser: each start appends one line to "stub_browser.log" beside the program:
// the wall-clock time in milliseconds, the program's own file name, and its whole command line in
// hexadecimal (so that blanks, quotes and control bytes survive the log untouched).
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/file.h"

int main() {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  const std::string log = sondrel::ExtractFilePath(module) + "stub_browser.log";

  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  const unsigned long long ms =
      ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
  std::string line = std::to_string(ms) + " " + sondrel::ExtractFileName(module) + " ";
  static constexpr char kHex[] = "0123456789abcdef";
  for (const char* p = GetCommandLineA(); *p; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    line += kHex[c >> 4];
    line += kHex[c & 0x0f];
  }
  line += "\r\n";

  // Several stubs may start close together: retry while another one holds the log.
  for (int attempt = 0; attempt < 200; ++attempt) {
    HANDLE f =
        CreateFileA(log.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      const BOOL ok = WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
      CloseHandle(f);
      return ok && written == line.size() ? 0 : 2;
    }
    Sleep(10);
  }
  return 1;
}
