#include "base/ole_win.h"

#include <objbase.h>

#include <cstdio>

namespace sondrel {
namespace {

std::string OleErrorText(HRESULT code, const std::string& call) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08lX", static_cast<unsigned long>(code));
  std::string text = call + " failed.  Code: 0x" + hex + ".";
  if (std::string system = SysErrorMessage(static_cast<unsigned long>(code)); !system.empty()) text += "\r\n" + system;
  return text;
}

}  // namespace

EOleSysError::EOleSysError(HRESULT code, const std::string& call) : Exception(OleErrorText(code, call)), code_(code) {}

void OleCheck(HRESULT code, const char* call) {
  if (FAILED(code)) throw EOleSysError(code, call);
}

void InitializeComForThread() noexcept {
  // S_FALSE (already initialised) and RPC_E_CHANGED_MODE (initialised multi-threaded) both leave the
  // thread usable for the shell objects; neither is balanced by an uninitialisation, on purpose.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
}

}  // namespace sondrel
