#pragma once
// The freeze watchdog: a thread that probes the program's main window and, when it has not answered
// for FreezeSeconds, reports an EFrozenApplication with the main thread's registers and stack.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "errorreport/capture/freeze.h"
#include "errorreport/capture/thread_track_win.h"

namespace sondrel {

// What the watchdog needs; the two functions are read at every probe, so option changes apply at once.
struct FreezeSettings {
  std::function<std::int32_t()> seconds;
  std::function<std::string()> message;
  HANDLE main_thread = nullptr;  // with suspend and context access; not owned
  DWORD main_thread_id = 0;
  std::uint32_t main_stack_top = 0;
};

class TFreezeThread : public TThread {
 public:
  explicit TFreezeThread(FreezeSettings settings) : settings_(std::move(settings)) {}
  ~TFreezeThread() override;
  // Number of freeze reports made (for tests and the log).
  int ReportsMade() const noexcept { return reports_; }

 protected:
  void Execute() override;

 private:
  HWND FindMainWindow() const;
  void ReportFreeze();
  FreezeSettings settings_;
  std::atomic<int> reports_{0};
};

// Started and stopped by the reporting and freeze switches of the reporter's options (registered
// with them by InstallExceptionHooks): the watchdog runs while both are on.
void StartFreezeWatchdog();
void StopFreezeWatchdog();
bool FreezeWatchdogRunning() noexcept;

}  // namespace sondrel
