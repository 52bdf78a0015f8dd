#include "tests/launch/launch_win_support.h"

#include <shellapi.h>

#include <stdexcept>

#include "base/cmdline.h"
#include "base/file.h"
#include "tests/support/process_win.h"
#include "tests/support/registry_win.h"

namespace sondrel::test {
namespace {

std::wstring Widen(const std::string& s) {
  if (s.empty()) return {};
  std::wstring w(s.size(), L'\0');
  const int n = MultiByteToWideChar(CP_ACP, 0, s.data(), static_cast<int>(s.size()), w.data(), static_cast<int>(w.size()));
  w.resize(static_cast<size_t>(n));
  return w;
}

std::string Narrow(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
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

std::string StubLogPath() { return ProgramFolder() + "stub_browser.log"; }

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

}  // namespace sondrel::test
