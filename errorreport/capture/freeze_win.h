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

// The framework names its main window here (null while it has none). The main window of a program
// built on the framework is owned by the hidden application window, so no search of the top-level
// windows finds it; once the framework has called this, the watchdog watches only the window named
// here. Without a framework it looks for an unowned top-level window of the process.
void SetFrameworkMainWindow(HWND window) noexcept;

// Started and stopped by the reporting and freeze switches of the reporter's options (registered
// with them by InstallExceptionHooks): the watchdog runs while both are on.
void StartFreezeWatchdog();
// Tells the watchdog to stop and waits for it; called on the watchdog's own thread (a report handler
// of a freeze report switching the watch off) it only tells it, and the thread ends once that report
// is over.
void StopFreezeWatchdog();
// Ends the watchdog outright (exit code 1) without waiting for it to finish a turn: for a reporter
// inside a library, which is finalised where no thread can end.
void KillFreezeWatchdog();
bool FreezeWatchdogRunning() noexcept;

}  // namespace sondrel
