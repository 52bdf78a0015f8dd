#pragma once
// Helpers for the Windows launch tests: a registry value put back after the test, the stub browser's
// log, command lines split by the system's own parser, and the real script host.
#include <winsock2.h>
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "base/text.h"

namespace sondrel::test {

// Remembers a string value (or its absence) and puts it back on destruction.
class SavedRegValue {
 public:
  SavedRegValue(HKEY root, std::string key, std::string name);
  ~SavedRegValue();
  SavedRegValue(const SavedRegValue&) = delete;
  SavedRegValue& operator=(const SavedRegValue&) = delete;

 private:
  HKEY root_;
  std::string key_, name_;
  std::optional<std::string> old_;
};

// Registers the stub browser beside the test programs as the prefix's default browser and empties its
// log, for the object's life; the prefix's registration is put back afterwards.
class StubDefaultBrowser {
 public:
  StubDefaultBrowser();

 private:
  SavedRegValue http_command_;
  SavedRegValue user_choice_;
};

struct StubStart {
  unsigned long long ms = 0;
  std::string program;       // the stub's file name
  std::string command_line;  // as the stub received it
};

std::string StubLogPath();

// Waits until the log holds `count` starts (or the time is up) and returns those read.
std::vector<StubStart> WaitForStubStarts(size_t count, DWORD timeout_ms);
// The arguments after the program name, as CommandLineToArgvW splits the line, back in ANSI.
StringList SystemArgs(const std::string& command_line);
// Runs a script file with the real script host and waits for it to end.
void RunScriptHost(const std::string& script_path);

// A web server on a free loopback port that answers every request with a small page and records the
// path of each request line.
class LoopbackHttpServer {
 public:
  LoopbackHttpServer();
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;
  unsigned short Port() const { return port_; }
  // Waits until `count` requests whose path starts with prefix arrived (or the time is up); returns them.
  StringList WaitForPaths(const std::string& prefix, size_t count, DWORD timeout_ms);

 private:
  static DWORD WINAPI Run(void* self);
  void Serve();
  StringList Paths(const std::string& prefix);
  uintptr_t listener_;
  unsigned short port_ = 0;
  CRITICAL_SECTION lock_;
  StringList paths_;
  HANDLE thread_ = nullptr;
};

// Ends the processes of this program name that were not running when the guard was made (a browser
// window the script host opened): closes their windows and waits, and kills only one that stays.
class NewProcessReaper {
 public:
  explicit NewProcessReaper(std::string exe_name);
  ~NewProcessReaper();
  NewProcessReaper(const NewProcessReaper&) = delete;
  NewProcessReaper& operator=(const NewProcessReaper&) = delete;

 private:
  std::string exe_name_;
  std::vector<DWORD> before_;
};

}  // namespace sondrel::test
