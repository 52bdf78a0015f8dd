#include <windows.h>

#include "base/exception.h"

namespace sondrel {

std::string SysErrorMessage(unsigned long code) {
  char buf[1024];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                           nullptr, code, 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ')) --n;
  return std::string(buf, n);
}

void RaiseLastOSError() {
  // A call can fail without setting a code (a window creation refused by a hook on creation is one):
  // the system's text for 0 is "The operation completed successfully", which no failure may read as.
  const DWORD code = GetLastError();
  if (code == 0) throw EOSError(0, "A call to an OS function failed");
  RaiseOSError(code);
}

}  // namespace sondrel
