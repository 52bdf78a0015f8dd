// A library with its own copy of the reporter linked in, loaded by a program that carries the
// reporter too: its exceptions must reach the program's reporter.
#include <windows.h>

#include <stdexcept>

#include "errorreport/capture/ExceptionReport.h"

extern "C" __declspec(dllexport) int RaiseInLibrary() {
  try {
    throw std::runtime_error("Raised in the library");
  } catch (...) {
    std::exception_ptr e = std::current_exception();
    return sondrel::ExceptionManager(&e, nullptr) ? 1 : 0;
  }
}
