// A stand-in for a mail client's "mailto:" handler: it appends its command line (in hexadecimal, so
// that every byte survives) to "mail_stub.log" beside itself and shows its window "Mail stub" until it
// is closed, or for at most 30 s.
#include <windows.h>

#include <string>

namespace {

LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_DESTROY || m == WM_TIMER) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

}  // namespace

int main() {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string log(module);
  log = log.substr(0, log.find_last_of('\\') + 1) + "mail_stub.log";
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line;
  for (const char* p = GetCommandLineA(); *p; ++p) {
    const auto c = static_cast<unsigned char>(*p);
    line += kHex[c >> 4];
    line += kHex[c & 0x0f];
  }
  line += "\r\n";
  HANDLE f = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(f, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(f);
  }
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "MailStub";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, "MailStub", "Mail stub", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300, 200, nullptr,
                           nullptr, wc.hInstance, nullptr);
  SetTimer(w, 1, 30000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
