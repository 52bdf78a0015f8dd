// Stands in for the HTML Help library: registered in its place, it records to "help_recorder.log"
// beside itself when it is loaded, each call of its two entry points, and whether it was freed by the
// program (FreeLibrary) or only at process end.
#include <windows.h>

#include <string>

namespace {

HMODULE self = nullptr;

void Record(const std::string& line) {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(self, path, MAX_PATH);
  std::string log(path);
  log = log.substr(0, log.find_last_of('\\') + 1) + "help_recorder.log";
  HANDLE f = CreateFileA(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(f);
}

std::string Caller(HWND h) {
  if (!h) return "none";
  return h == GetDesktopWindow() ? "desktop" : "window";
}

std::string Call(const char* entry, HWND caller, const std::string& file, UINT command, DWORD_PTR data) {
  return std::string(entry) + " " + Caller(caller) + " " + std::to_string(command) + " " + std::to_string(data) +
         " " + file;
}

}  // namespace

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpA(HWND caller, LPCSTR file, UINT command, DWORD_PTR data) {
  Record(Call("HtmlHelpA", caller, file ? file : "(null)", command, data));
  return nullptr;
}

extern "C" __declspec(dllexport) HWND WINAPI HtmlHelpW(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data) {
  char narrow[MAX_PATH * 2] = "(null)";
  if (file) WideCharToMultiByte(CP_ACP, 0, file, -1, narrow, sizeof narrow, nullptr, nullptr);
  Record(Call("HtmlHelpW", caller, narrow, command, data));
  return nullptr;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    self = instance;
    Record("loaded");
  } else if (reason == DLL_PROCESS_DETACH) {
    // A null reserved pointer means FreeLibrary; otherwise the process is ending.
    Record(reserved ? "unloaded at process end" : "freed");
  }
  return TRUE;
}
