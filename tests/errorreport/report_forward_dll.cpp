// A library with its own copy of the reporter linked in, loaded by a program that carries the
// reporter too: its exceptions must reach the program's reporter.
#include <windows.h>

#include <stdexcept>

#include "errorreport/capture/ExceptionReport.h"
#include "errorreport/capture/freeze_win.h"

extern "C" __declspec(dllexport) int RaiseInLibrary() {
  try {
    throw std::runtime_error("Raised in the library");
  } catch (...) {
    std::exception_ptr e = std::current_exception();
    return sondrel::ExceptionManager(&e, nullptr) ? 1 : 0;
  }
}

// Switches the library's own freeze watch on: its finalisation must not wait for the watchdog.
extern "C" __declspec(dllexport) int WatchInLibrary() {
  sondrel::CurrentReportOptions().SetFreezeWatch(true);
  return sondrel::FreezeWatchdogRunning() ? 1 : 0;
}
