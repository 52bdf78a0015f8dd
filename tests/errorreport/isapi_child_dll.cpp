// An ISAPI extension with the reporter linked in: its request procedure fails, and the reporter
// answers the request with the report page through the server's callbacks. Outside a request there
// is no request block to answer.
#include <windows.h>
#include <httpext.h>

#include <stdexcept>
#include <string>

#include "errorreport/capture/ExceptionReport.h"

namespace {

void Fail() { sondrel::ReportException(std::make_exception_ptr(std::runtime_error("Bad <b>query</b> & more"))); }

}  // namespace

extern "C" __declspec(dllexport) BOOL WINAPI GetExtensionVersion(HSE_VERSION_INFO* v) {
  v->dwExtensionVersion = HSE_VERSION;
  lstrcpynA(v->lpszExtensionDesc, "Sondrel test extension", HSE_MAX_EXT_DLL_NAME_LEN);
  return TRUE;
}

extern "C" __declspec(dllexport) DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK*) {
  Fail();
  return HSE_STATUS_SUCCESS;
}

// Reports outside any request; copies the reporter's last error into text (size bytes).
extern "C" __declspec(dllexport) void WINAPI ReportOutsideRequest(char* text, DWORD size) {
  Fail();
  std::string last;
  sondrel::LastReportError(&last);
  lstrcpynA(text, last.c_str(), static_cast<int>(size));
}
