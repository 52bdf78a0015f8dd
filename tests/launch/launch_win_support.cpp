#include "tests/launch/launch_win_support.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>

#include <stdexcept>

#include "base/cmdline.h"
#include "base/file.h"
#include "launch/default_browser.h"
#include "tests/support/process_win.h"
#include "tests/support/registry_win.h"

namespace sondrel::test {
namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  std::wstring w(s.size(), L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(),
                                    static_cast<int>(w.size()));
  w.resize(static_cast<size_t>(n));
  return w;
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  const int n =
      WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

}  // namespace

SavedRegValue::SavedRegValue(HKEY root, std::string key, std::string name)
    : root_(root), key_(std::move(key)), name_(std::move(name)), old_(ReadRegString(root_, key_, name_)) {}

SavedRegValue::~SavedRegValue() {
  try {
    if (old_) {
      WriteRegString(root_, key_, name_, *old_);
      return;
    }
    HKEY h = nullptr;
    if (RegOpenKeyExA(root_, key_.c_str(), 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
      RegDeleteValueA(h, name_.empty() ? nullptr : name_.c_str());
      RegCloseKey(h);
    }
  } catch (...) {
    // A destructor must not throw; the next test run writes the value afresh anyway.
  }
}

StubDefaultBrowser::StubDefaultBrowser()
    : http_command_(HKEY_CLASSES_ROOT, kHttpOpenCommandKey, ""), user_choice_(HKEY_CURRENT_USER, kUserChoiceKey, "ProgId") {
  DeleteFileAt(StubLogPath());
  WriteRegString(HKEY_CLASSES_ROOT, kHttpOpenCommandKey, "", "\"" + ProgramFolder() + "stub_browser.exe\" -url \"%1\"");
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kUserChoiceKey, 0, KEY_SET_VALUE, &h) == ERROR_SUCCESS) {
    RegDeleteValueA(h, "ProgId");
    RegCloseKey(h);
  }
}

std::string StubLogPath() {
  return ProgramFolder() + "stub_browser.log";
}

std::vector<StubStart> WaitForStubStarts(size_t count, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  std::vector<StubStart> starts;
  for (;;) {
    starts.clear();
    for (const std::string& line : SplitLines(ReadFileBytes(StubLogPath()).value_or(""))) {
      StringList f = Split(line, ' ');
      if (f.size() != 3) continue;
      starts.push_back({std::stoull(f[0]), f[1], FromHex(f[2])});
    }
    if (starts.size() >= count || GetTickCount() - start > timeout_ms) return starts;
    Sleep(50);
  }
}

StringList SystemArgs(const std::string& command_line) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(Widen(command_line).c_str(), &argc);
  if (!argv) throw std::runtime_error("CommandLineToArgvW failed");
  StringList args;
  for (int i = 1; i < argc; ++i) args.push_back(Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

void RunScriptHost(const std::string& script_path) {
  ChildResult r = RunChild("wscript.exe " + QuoteArg(script_path), 60000);
  if (r.timed_out) throw std::runtime_error("the script host did not end: " + r.output);
}

LoopbackHttpServer::LoopbackHttpServer() {
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) throw std::runtime_error("WSAStartup failed");
  InitializeCriticalSection(&lock_);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int len = sizeof addr;
  if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(s, 16) != 0 || getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error("cannot listen on loopback");
  listener_ = s;
  port_ = ntohs(addr.sin_port);
  thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

DWORD WINAPI LoopbackHttpServer::Run(void* self) {
  static_cast<LoopbackHttpServer*>(self)->Serve();
  return 0;
}

LoopbackHttpServer::~LoopbackHttpServer() {
  closesocket(static_cast<SOCKET>(listener_));  // ends the accept loop
  WaitForSingleObject(thread_, 5000);
  CloseHandle(thread_);
  DeleteCriticalSection(&lock_);
  WSACleanup();
}

void LoopbackHttpServer::Serve() {
  for (;;) {
    SOCKET c = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (c == INVALID_SOCKET) return;
    std::string request;
    char buf[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      const int n = recv(c, buf, sizeof buf, 0);
      if (n <= 0) break;
      request.append(buf, static_cast<size_t>(n));
    }
    // "GET <path> HTTP/1.1"
    const size_t first = request.find(' ');
    const size_t second = first == std::string::npos ? first : request.find(' ', first + 1);
    if (second != std::string::npos) {
      EnterCriticalSection(&lock_);
      paths_.push_back(request.substr(first + 1, second - first - 1));
      LeaveCriticalSection(&lock_);
    }
    static constexpr char kReply[] =
        "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 20\r\nConnection: close\r\n\r\n"
        "<html>found</html>\r\n";
    send(c, kReply, sizeof kReply - 1, 0);
    shutdown(c, SD_SEND);
    closesocket(c);
  }
}

StringList LoopbackHttpServer::Paths(const std::string& prefix) {
  StringList matching;
  EnterCriticalSection(&lock_);
  for (const std::string& p : paths_)
    if (p.compare(0, prefix.size(), prefix) == 0) matching.push_back(p);
  LeaveCriticalSection(&lock_);
  return matching;
}

StringList LoopbackHttpServer::WaitForPaths(const std::string& prefix, size_t count, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    StringList got = Paths(prefix);
    if (got.size() >= count || GetTickCount() - start > timeout_ms) return got;
    Sleep(100);
  }
}

namespace {

std::vector<DWORD> ProcessIds(const std::string& exe_name) {
  std::vector<DWORD> ids;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return ids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = Process32First(snap, &entry); ok; ok = Process32Next(snap, &entry))
    if (SameText(entry.szExeFile, exe_name)) ids.push_back(entry.th32ProcessID);
  CloseHandle(snap);
  return ids;
}

BOOL CALLBACK CloseWindowOfProcess(HWND window, LPARAM process_id) {
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(process_id)) PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

NewProcessReaper::NewProcessReaper(std::string exe_name)
    : exe_name_(std::move(exe_name)), before_(ProcessIds(exe_name_)) {}

NewProcessReaper::~NewProcessReaper() {
  for (DWORD id : ProcessIds(exe_name_)) {
    if (std::find(before_.begin(), before_.end(), id) != before_.end()) continue;
    HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (!p) continue;
    // Closing the windows lets a COM server withdraw its class registration on the way out; a killed
    // one stays registered with the session's COM services, and the next script that asks for the
    // object waits on the dead process instead of starting a new one.
    EnumWindows(CloseWindowOfProcess, static_cast<LPARAM>(id));
    if (WaitForSingleObject(p, 20000) != WAIT_OBJECT_0) {
      TerminateProcess(p, 0);
      WaitForSingleObject(p, 5000);
    }
    CloseHandle(p);
  }
}

}  // namespace sondrel::test
