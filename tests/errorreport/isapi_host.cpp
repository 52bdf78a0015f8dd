// A web server's side of an ISAPI extension, without a reporter of its own: it loads isapi_child.dll,
// has it report outside a request, then hands it one request whose callbacks print what the
// extension answers:
//   outside=<last error>
//   status=<dwHttpStatusCode> request=<ServerSupportFunction request> line=<status>
//   header=<length>\n<header bytes>
//   page=<length>\n<page bytes>
//   outside=<last error>        (the request has ended: its block is no longer there)
#include <windows.h>
#include <httpext.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

namespace {

BOOL WINAPI ServerSupport(HCONN, DWORD request, LPVOID buffer, LPDWORD, LPDWORD type) {
  const char* header = reinterpret_cast<const char*>(type);
  std::printf("request=%lu line=%s\nheader=%u\n%s\n", request, static_cast<const char*>(buffer),
              static_cast<unsigned>(lstrlenA(header)), header);
  return TRUE;
}

BOOL WINAPI WriteClient(HCONN, LPVOID buffer, LPDWORD length, DWORD) {
  std::printf("page=%lu\n", *length);
  std::fwrite(buffer, 1, *length, stdout);
  std::printf("\n");
  return TRUE;
}

void Outside(HMODULE lib) {
  auto outside = reinterpret_cast<void(WINAPI*)(char*, DWORD)>(
      reinterpret_cast<void*>(GetProcAddress(lib, "ReportOutsideRequest")));
  char text[512] = {};
  if (outside) outside(text, sizeof text);
  std::printf("outside=%s\n", text);
}

}  // namespace

int main() {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  _setmode(_fileno(stdout), _O_BINARY);
  HMODULE lib = LoadLibraryA("isapi_child.dll");
  auto proc = reinterpret_cast<PFN_HTTPEXTENSIONPROC>(
      reinterpret_cast<void*>(GetProcAddress(lib, "HttpExtensionProc")));
  if (!proc) return 2;
  Outside(lib);
  EXTENSION_CONTROL_BLOCK ecb{};
  ecb.cbSize = sizeof ecb;
  ecb.ConnID = reinterpret_cast<HCONN>(1);
  ecb.ServerSupportFunction = ServerSupport;
  ecb.WriteClient = WriteClient;
  const DWORD result = proc(&ecb);
  std::printf("status=%lu result=%lu\n", ecb.dwHttpStatusCode, result);
  Outside(lib);
  FreeLibrary(lib);
  return 0;
}
