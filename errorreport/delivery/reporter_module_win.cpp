#include "errorreport/delivery/reporter_module_win.h"

namespace sondrel {

HMODULE ModuleHoldingReporter() noexcept {
  HMODULE m = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ModuleHoldingReporter), &m);
  return m;
}

}  // namespace sondrel
