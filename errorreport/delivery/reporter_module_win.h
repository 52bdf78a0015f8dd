#pragma once
// The module that holds the reporter: the program, or the library the reporter is linked into; its
// resources hold the reporter's dialog templates and pictures.
#include <windows.h>

namespace sondrel {

HMODULE ModuleHoldingReporter() noexcept;

}  // namespace sondrel
